#include "encoder/library/library_run.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>

#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/job/pcm_feed.h"
#include "encoder/job/progress.h"
#include "encoder/library/image_cue.h"
#include "encoder/library/library_album.h"
#include "encoder/library/library_tree.h"
#include "encoder/library/pcm_stream.h"
#include "encoder/library/source_tags.h"
#include "encoder/tags/id3.h"
#include "platform/fs/fs.h"

namespace orvane::library {

namespace {

using encoder::JobKind;
using encoder::JobOutcome;
using encoder::JobResult;
using tags::TagField;

JobKind KindOf(Target t) {
    switch (t) {
        case Target::Flac:
            return JobKind::EncodeFlac;
        case Target::Opus:
            return JobKind::EncodeOpus;
        case Target::Wma:
            return JobKind::EncodeWma;
        default:
            return JobKind::EncodeMp3;
    }
}

std::string TargetName(Target t) {
    return t == Target::Wav ? std::string("WAVE") : encoder::KindEntry(KindOf(t)).name;
}

PcmTarget TargetOf(const LibraryOptions& o) {
    PcmTarget p;
    switch (o.target) {
        case Target::Mp3:
            // The rates MPEG audio holds (Layers 1 and 2 not the three lowest): the child
            // encoder would resample any other to the nearest of them, more slowly.
            p.rates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
            if (o.base.settings.layerIndex != 2)
                p.rates.erase(p.rates.begin(), p.rates.begin() + 3);
            [[fallthrough]];
        case Target::Wma:
            // What the MP3 and WMA encoders take from a WAVE file.
            p.maxChannels = 2;
            p.lowestRate = static_cast<int>(encoder::kLowestSampleRate);
            p.highestRate = static_cast<int>(encoder::kHighestSampleRate);
            p.fixedBits = 16;
            break;
        case Target::Flac:
            p.highestRate = 655350;
            break;
        case Target::Opus:
            // Opus codes 48 kHz floats; the job's own resampler would take several times as
            // long.
            p.rates = {48000};
            p.floats = true;
            break;
        case Target::Wav:
            break;
    }
    return p;
}

bool Lossy(Target t) { return t == Target::Mp3 || t == Target::Opus || t == Target::Wma; }

void Le(unsigned char* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A WAVE header for the layout: the plain PCM format for 16-bit mono and stereo, else the
// extensible one with the valid bits and the speaker mask. With room for 64-bit sizes (a JUNK
// chunk that becomes the ds64 chunk) and data beyond the 32-bit sizes, an RF64 header; without
// that room, a data chunk of size 0, which the jobs' readers take as data to the end of the
// file (all ones would be taken at its word: 4 GiB).
std::string WaveHeader(const PcmLayout& l, std::int64_t dataBytes, bool room64) {
    const bool plain = l.channels <= 2 && l.bits == 16;
    const int fmtSize = plain ? 16 : 40;
    const std::size_t extra = room64 ? 36 : 0;
    std::string h(20 + extra + static_cast<std::size_t>(fmtSize) + 8, '\0');
    auto* p = reinterpret_cast<unsigned char*>(h.data());
    const std::uint64_t pad = static_cast<std::uint64_t>(dataBytes) & 1;
    const std::uint64_t riffSize = h.size() - 8 + static_cast<std::uint64_t>(dataBytes) + pad;
    const bool big = riffSize > 0xFFFFFFFFull;
    const int block = l.channels * (l.bits / 8);
    std::memcpy(p, big && room64 ? "RF64" : "RIFF", 4);
    Le(p + 4, big ? 0xFFFFFFFFull : riffSize, 4);
    std::memcpy(p + 8, "WAVE", 4);
    unsigned char* f = p + 12;
    if (room64) {
        std::memcpy(f, big ? "ds64" : "JUNK", 4);
        Le(f + 4, 28, 4);
        if (big) {
            Le(f + 8, riffSize, 8);
            Le(f + 16, static_cast<std::uint64_t>(dataBytes), 8);
            Le(f + 24, static_cast<std::uint64_t>(dataBytes) / static_cast<std::uint64_t>(block),
               8);
        }
        f += extra;
    }
    std::memcpy(f, "fmt ", 4);
    Le(f + 4, static_cast<std::uint64_t>(fmtSize), 4);
    Le(f + 8, plain ? encoder::kWaveFormatPcm : encoder::kWaveFormatExtensible, 2);
    Le(f + 10, static_cast<std::uint64_t>(l.channels), 2);
    Le(f + 12, static_cast<std::uint64_t>(l.sampleRate), 4);
    Le(f + 16, static_cast<std::uint64_t>(l.sampleRate) * static_cast<std::uint64_t>(block), 4);
    Le(f + 20, static_cast<std::uint64_t>(block), 2);
    Le(f + 22, static_cast<std::uint64_t>(l.bits), 2);
    if (!plain) {
        static const unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        Le(f + 24, 22, 2);
        Le(f + 26, static_cast<std::uint64_t>(l.bits), 2);
        Le(f + 28, l.channelMask, 4);
        std::memcpy(f + 32, kPcmGuid, 16);
    }
    f += 8 + fmtSize;
    std::memcpy(f, "data", 4);
    // RF64 says the size in ds64; a data chunk of size 0 runs to the end of the file.
    Le(f + 4, big ? (room64 ? 0xFFFFFFFFull : 0) : static_cast<std::uint64_t>(dataBytes), 4);
    return h;
}

bool MakeFolders(const std::string& folder) {
    std::size_t at = 1;
    while (at <= folder.size()) {
        at = folder.find('/', at);
        if (at == std::string::npos) at = folder.size();
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        ++at;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// One file's job, run without a window: its log and its outcome are kept.
class QuietObserver : public encoder::JobObserver {
public:
    void JobSetText(encoder::JobText which, const std::string& text) override {
        if (which != encoder::JobText::Log) return;
        std::lock_guard lock(mutex_);
        log_ = text;
    }
    void JobSetRange(encoder::JobBar, int, int) override {}
    void JobSetPos(encoder::JobBar, int) override {}
    void JobSetCounter(encoder::JobCounter, int) override {}
    int JobMessage(const std::string&, const std::string&, unsigned flags) override {
        return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
    }
    void JobFinished(const JobOutcome&) override {}
    void JobClose(int) override {}

private:
    std::mutex mutex_;
    std::string log_;
};

// What the progress line of plimo-job --library shows, shared by the files' jobs.
class Console {
public:
    Console(std::ostream& out, bool terminal, int total, std::int64_t totalBytes)
        : out_(out),
          terminal_(terminal),
          total_(total),
          totalBytes_(totalBytes),
          start_(std::chrono::steady_clock::now()) {}

    void Begin(const std::string& rel, std::int64_t bytes) {
        std::lock_guard lock(mutex_);
        running_[rel] = {bytes, 0.0};
        Draw(false);
    }
    // The part of the file done (0..1) and the audio seconds added.
    void Advance(const std::string& rel, double fraction, double seconds) {
        std::lock_guard lock(mutex_);
        running_[rel].second = std::clamp(fraction, 0.0, 1.0);
        audioSeconds_ += seconds;
        Draw(false);
    }
    // A file is over; line: what a plain listing says of it, shown on a terminal only when
    // loud (a failure, a lossy-to-lossy conversion).
    void End(const std::string& rel, std::int64_t bytes, const std::string& line, bool loud) {
        std::lock_guard lock(mutex_);
        running_.erase(rel);
        ++done_;
        doneBytes_ += bytes;
        if (terminal_) {
            if (loud) out_ << "\r\x1b[K" << line << "\n";
            Draw(true);
        } else {
            out_ << line << "\n" << std::flush;
        }
    }
    // A line of its own (between files' lines), shown on a terminal only when loud.
    void Say(const std::string& line, bool loud) {
        std::lock_guard lock(mutex_);
        if (terminal_) {
            if (!loud) return;
            out_ << "\r\x1b[K" << line << "\n";
            Draw(true);
        } else {
            out_ << line << "\n" << std::flush;
        }
    }
    void Close() {
        std::lock_guard lock(mutex_);
        if (terminal_ && drawn_) out_ << "\n" << std::flush;
    }
    double AudioSeconds() const { return audioSeconds_; }
    double Elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    void Draw(bool force) {
        if (!terminal_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        drawn_ = true;
        const double elapsed = Elapsed();
        double doneBytes = static_cast<double>(doneBytes_);
        std::string names;
        for (const auto& [rel, state] : running_) {
            doneBytes += static_cast<double>(state.first) * state.second;
            const std::size_t slash = rel.rfind('/');
            names += (names.empty() ? "" : ", ") +
                     rel.substr(slash == std::string::npos ? 0 : slash + 1);
        }
        if (names.size() > 60) names = names.substr(0, 57) + "...";
        char line[256];
        const double left =
            doneBytes > 0 ? elapsed * (static_cast<double>(totalBytes_) - doneBytes) / doneBytes
                          : 0;
        std::snprintf(line, sizeof line, "[%d/%d] %s audio, %.1fx real time, %s left", done_,
                      total_, Clock(audioSeconds_).c_str(),
                      elapsed > 0 ? audioSeconds_ / elapsed : 0.0,
                      doneBytes > 0 ? Clock(left).c_str() : "--:--:--");
        out_ << "\r\x1b[K" << line << (names.empty() ? "" : "  ") << names << std::flush;
    }

    std::mutex mutex_;
    std::ostream& out_;
    bool terminal_;
    int total_, done_ = 0;
    std::int64_t totalBytes_, doneBytes_ = 0;
    double audioSeconds_ = 0;
    std::map<std::string, std::pair<std::int64_t, double>> running_;
    std::chrono::steady_clock::time_point start_, lastDraw_{};
    bool drawn_ = false;
};

// The format's job that a file's job runs, reached by a cancel from any thread.
class InnerJob {
public:
    // Waits for the started runner; a cancel, before or meanwhile, reaches it.
    void Wait(encoder::JobRunner& inner) {
        {
            std::lock_guard lock(mutex_);
            if (cancelled_) inner.RequestCancel();
            inner_ = &inner;
        }
        inner.Wait();
        std::lock_guard lock(mutex_);
        inner_ = nullptr;
    }
    void Cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (inner_) inner_->RequestCancel();
    }

private:
    std::mutex mutex_;
    encoder::JobRunner* inner_ = nullptr;
    bool cancelled_ = false;
};

// One file's progress: its bar in the batch's window, plimo-job's progress line (when there is
// one), and the cancel of the file's job.
class Progress {
public:
    Progress(encoder::JobRunner& runner, Console* console, InnerJob& inner)
        : runner_(runner),
          console_(console),
          inner_(inner),
          start_(std::chrono::steady_clock::now()) {}
    // The part of the file done (0..1) and the audio seconds added; false once the file's job
    // is cancelled. The window's bar and times follow each percent.
    bool Advance(const std::string& rel, double fraction, double seconds) {
        if (console_) console_->Advance(rel, fraction, seconds);
        fraction = std::clamp(fraction, 0.0, 1.0);
        const int pos = static_cast<int>(fraction * 100);
        if (pos != shown_) {
            runner_.SetPos(encoder::JobBar::CurrentFile, shown_ = pos);
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
            runner_.SetText(encoder::JobText::Elapsed,
                            encoder::ElapsedText(static_cast<std::int64_t>(elapsed)));
            if (fraction > 0)
                runner_.SetText(encoder::JobText::Remaining,
                                encoder::ElapsedText(static_cast<std::int64_t>(
                                    elapsed * (1 - fraction) / fraction)));
        }
        return !runner_.CancelRequested();
    }
    // Waits for the format's job, which a cancel of the file's job ends as well.
    void Wait(encoder::JobRunner& formatJob) { inner_.Wait(formatJob); }
    bool Cancelled() const { return runner_.CancelRequested(); }

private:
    encoder::JobRunner& runner_;
    Console* console_;
    InnerJob& inner_;
    std::chrono::steady_clock::time_point start_;
    int shown_ = -1;
};

encoder::Id3Tag RecordOf(const tags::TrackTags& t) {
    encoder::Id3Tag r;
    r.SetMarker();
    r.SetTitle(t.Get(TagField::Title));
    r.SetArtist(t.Get(TagField::Artist));
    r.SetAlbum(t.Get(TagField::Album));
    r.SetYear(t.Get(TagField::Year).substr(0, 4));
    r.SetComment(t.Get(TagField::Comment));
    r.SetGenre(t.Has(TagField::Genre) ? encoder::GenreCodeOf(t.Get(TagField::Genre))
                                      : encoder::kNoGenre);
    return r;
}

std::atomic<unsigned> scratchNumber{0};

std::string ScratchName(const std::string& output, const std::string& ext) {
    const std::size_t slash = output.rfind('/');
    return output.substr(0, slash + 1) + ".~" + output.substr(slash + 1) + "." +
           std::to_string(::getpid()) + "-" + std::to_string(++scratchNumber) + ext;
}

// Removes from folder the scratch files of runs that were killed outright: named by
// ScratchName, their process gone, left alone for a minute. The writers' own temporary files
// are swept as well.
void SweepScratch(const std::string& folder) {
    fs::SweepStaleTemps(folder);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const time_t now = ::time(nullptr);
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name.rfind(".~", 0) != 0) continue;
        const std::size_t dot = name.rfind('.');
        const std::size_t dash = name.rfind('-', dot);
        const std::size_t pidDot = dash == std::string::npos ? dash : name.rfind('.', dash);
        if (dot == std::string::npos || pidDot == std::string::npos || pidDot < 2) continue;
        const std::string pid = name.substr(pidDot + 1, dash - pidDot - 1);
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const long number = std::strtol(pid.c_str(), nullptr, 10);
        if (number <= 0 || (::kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH)) continue;
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && now - info.st_mtime >= 60)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

constexpr const char* kNoSamples = "its audio stream holds no samples";

// The stream's frames, as many at a time as asked for: what a chunk holds beyond a track's
// end waits for the next track. Sample is the layout's: float for a float layout, else int32.
class FrameReader {
public:
    explicit FrameReader(PcmStream& stream) : stream_(stream) {}
    // Up to maxFrames frames (any number when negative) at data, valid until the next call;
    // 0 at the end, -1 with error.
    template <typename Sample>
    long Read(const Sample*& data, long maxFrames, std::string& error) {
        std::vector<Sample>& pending = Pending<Sample>();
        const std::size_t channels = static_cast<std::size_t>(stream_.Layout().channels);
        if (at_ >= pending.size()) {
            at_ = 0;
            if (stream_.Read(pending, error) < 0) return -1;
            if (pending.empty()) return 0;
        }
        std::size_t frames = (pending.size() - at_) / channels;
        if (maxFrames >= 0) frames = std::min(frames, static_cast<std::size_t>(maxFrames));
        data = pending.data() + at_;
        at_ += frames * channels;
        return static_cast<long>(frames);
    }

private:
    template <typename Sample>
    std::vector<Sample>& Pending() {
        if constexpr (std::is_same_v<Sample, float>)
            return floats_;
        else
            return integers_;
    }

    PcmStream& stream_;
    std::vector<std::int32_t> integers_;
    std::vector<float> floats_;
    std::size_t at_ = 0;
};

// A file the run alone reads, once, right after it was written: it is neither synced nor
// renamed (the scratch holder removes it however the run ends).
class ScratchWrite {
public:
    ~ScratchWrite() {
        if (fd_ >= 0) ::close(fd_);
    }
    fs::Status Open(const std::string& path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        return fd_ >= 0 ? fs::Status{} : Failed(path);
    }
    fs::Status Write(const void* data, std::size_t bytes) {
        if (!fs::WriteAll(fd_, data, bytes)) return Failed("the scratch file");
        size_ += static_cast<std::int64_t>(bytes);
        return {};
    }
    fs::Status WriteAt(std::int64_t offset, const void* data, std::size_t bytes) {
        return fs::WriteAll(fd_, data, bytes, static_cast<off_t>(offset))
                   ? fs::Status{}
                   : Failed("the scratch file");
    }
    fs::Status Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? fs::Status{} : Failed("the scratch file");
    }
    std::int64_t size() const { return size_; }

private:
    static fs::Status Failed(const std::string& what) {
        fs::Status st;
        st.kind = fs::Status::Kind::Failed;
        st.code = errno;
        st.message = "Cannot write " + what + ": " + std::strerror(errno);
        return st;
    }
    int fd_ = -1;
    std::int64_t size_ = 0;
};

// One output's samples as they pass to it: counted by the progress and, with a ledger, measured
// for the folder's album.
class TrackPass {
public:
    TrackPass(const PcmLayout& l, Progress& progress, const std::string& rel, double expected,
              loudness::GainLedger* ledger)
        : layout_(l), progress_(progress), rel_(rel), expected_(expected), ledger_(ledger) {
        if (ledger_ && !ledger_->BeginTrack(l.channels, static_cast<unsigned long>(l.sampleRate)))
            ledger_ = nullptr;
    }
    // False once the file's job is cancelled.
    bool Passed(const std::int32_t* samples, long frames) {
        if (ledger_) ledger_->Add(samples, static_cast<std::size_t>(frames), layout_.bits);
        return Counted(frames);
    }
    bool Passed(const float* samples, long frames) {
        if (ledger_) ledger_->Add(samples, static_cast<std::size_t>(frames));
        return Counted(frames);
    }
    std::int64_t passed() const { return passed_; }
    Progress& progress() const { return progress_; }

private:
    bool Counted(long frames) {
        passed_ += frames;
        return progress_.Advance(rel_, expected_ > 0 ? passed_ / expected_ : 0,
                                 static_cast<double>(frames) / layout_.sampleRate);
    }

    const PcmLayout& layout_;
    Progress& progress_;
    const std::string& rel_;
    double expected_;  // the frames the progress counts on (0: unknown)
    loudness::GainLedger* ledger_;
    std::int64_t passed_ = 0;
};

// Of the first `frames` frames of reader (all when negative), up to `most` of those that have
// not passed yet, at out: the frames given, 0 at the end, -1 with error.
template <typename Sample>
long NextFrames(FrameReader& reader, std::int64_t frames, const TrackPass& pass, const Sample*& out,
                std::string& error, long most = 1 << 20) {
    const std::int64_t written = pass.passed();
    if (frames >= 0 && written >= frames) return 0;
    return reader.Read(
        out, frames < 0 ? most : static_cast<long>(std::min<std::int64_t>(frames - written, most)),
        error);
}

// Streams up to `frames` frames (all that are left when negative) into out as a WAVE file;
// empty when it was written whole.
template <typename File>
std::string WriteWave(FrameReader& reader, const PcmLayout& l, std::int64_t frames, bool room64,
                      File& out, TrackPass& pass) {
    const int sampleBytes = l.bits / 8;
    const std::string empty = WaveHeader(l, 0, room64);
    if (fs::Status st = out.Write(empty.data(), empty.size()); !st) return "Error: " + st.message;
    const std::int64_t header = out.size();
    const std::int32_t* samples = nullptr;
    std::vector<unsigned char> bytes;
    std::string error;
    for (;;) {
        const long got = NextFrames(reader, frames, pass, samples, error);
        if (got < 0) return "Error: " + error;
        if (got == 0) break;
        const std::size_t n = static_cast<std::size_t>(got) * static_cast<std::size_t>(l.channels);
        bytes.resize(n * static_cast<std::size_t>(sampleBytes));
        unsigned char* p = bytes.data();
        for (std::size_t i = 0; i < n; ++i) {
            Le(p, static_cast<std::uint32_t>(samples[i]), sampleBytes);
            p += sampleBytes;
        }
        if (fs::Status st = out.Write(bytes.data(), bytes.size()); !st)
            return "Error: " + st.message;
        if (!pass.Passed(samples, got)) return "Error: cancelled";
    }
    if (pass.passed() == 0) return "Error: " + std::string(kNoSamples);
    const std::int64_t dataBytes = out.size() - header;
    if (dataBytes & 1)
        if (fs::Status st = out.Write("", 1); !st) return "Error: " + st.message;
    const std::string h = WaveHeader(l, dataBytes, room64);
    if (fs::Status st = out.WriteAt(0, h.data(), h.size()); !st) return "Error: " + st.message;
    return {};
}

// Up to `frames` frames of the reader (all that are left when negative) handed to a job as it
// asks for them: a chunk of the decoder's output at a time, no file between.
class StreamFeed : public encoder::PcmFeed {
public:
    StreamFeed(FrameReader& reader, const PcmLayout& l, std::int64_t frames, double expected,
               TrackPass& pass)
        : reader_(reader), layout_(l), frames_(frames), expected_(expected), pass_(pass) {}

    wave::PcmWave Format() const override {
        wave::PcmWave w;
        w.channels = layout_.channels;
        w.sampleRate = static_cast<std::uint32_t>(layout_.sampleRate);
        w.bits = layout_.bits;
        w.frames = static_cast<std::int64_t>(frames_ >= 0 ? frames_ : expected_);
        return w;
    }
    long Read(std::size_t frames, std::vector<std::int32_t>& out, std::string& error) override {
        const std::int32_t* samples = nullptr;
        const long got = Next(frames, samples, error);
        if (got > 0)
            out.assign(samples, samples + got * layout_.channels);
        else
            out.clear();
        return got;
    }
    bool Floats() const override { return layout_.floats; }
    long ReadFloats(std::size_t frames, const float*& samples, std::string& error) override {
        return Next(frames, samples, error);
    }

private:
    // Up to `frames` frames at samples, counted as passed.
    template <typename Sample>
    long Next(std::size_t frames, const Sample*& samples, std::string& error) {
        if (layout_.floats != std::is_same_v<Sample, float>) {
            error = layout_.floats ? "the samples are floating-point" : "the samples are integers";
            return -1;
        }
        const long most = static_cast<long>(std::min<std::size_t>(frames, 1 << 20));
        const long got = NextFrames(reader_, frames_, pass_, samples, error, most);
        if (got < 0) return -1;
        if (got == 0) {
            if (pass_.passed() > 0) return 0;
            error = kNoSamples;
            return -1;
        }
        if (!pass_.Passed(samples, got)) {
            error = "cancelled";
            return -1;
        }
        return got;
    }

    FrameReader& reader_;
    const PcmLayout& layout_;
    std::int64_t frames_;
    double expected_;
    TrackPass& pass_;
};

// The file's output written by the format's job from the WAVE file of layout, or from feed
// when not null; empty when it was.
std::string RunFormatJob(const LibraryOptions& o, const PcmLayout& layout, const std::string& wave,
                         const std::string& output, const tags::TrackTags& t, Progress& progress,
                         std::shared_ptr<encoder::PcmFeed> feed = nullptr) {
    encoder::JobRequest req = o.base;
    req.kind = KindOf(o.target);
    req.feed = std::move(feed);
    // Without a mode chosen, the encoder would make two channels of one.
    if (o.target == Target::Mp3 && !o.modeChosen && layout.channels == 1) req.settings.mode = 3;
    req.input = wave;
    req.output = output;
    req.batch = false;
    req.parallelJobs = 1;
    req.paced = false;
    req.item = {};
    const bool tagged = !t.Empty() || t.FrontPicture();
    req.singleFileTag = tagged;
    req.tags[1] = RecordOf(t);
    req.fullTags = {tags::TrackTags{}, t};
    req.formats.trackNumber = std::atoi(t.Get(TagField::TrackNumber).c_str());
    if (o.target == Target::Wma) {
        req.wma.title = t.Get(TagField::Title);
        req.wma.author = t.Get(TagField::Artist);
        req.wma.description = t.Get(TagField::Comment);
        req.wma.fullTag = true;
    }
    QuietObserver observer;
    encoder::JobRunner runner(std::move(req), observer);
    runner.Start();
    progress.Wait(runner);
    runner.Stop();
    const JobOutcome outcome = runner.Outcome();
    if (outcome.result == JobResult::Succeeded) return {};
    if (!outcome.failures.empty() && !outcome.failures.front().reason.empty())
        return outcome.failures.front().reason;
    return outcome.message.empty() ? "Error: the " + TargetName(o.target) + " job failed"
                                   : outcome.message;
}

struct FileResult {
    std::string failure;
    std::string note;  // what the line says of the conversion
    bool lossyToLossy = false;
    // The album of the file's folder, told once the folder's last file has ended.
    std::string album;
    bool albumPartial = false;
};

// One output of frames of the reader (all that are left when negative) with the tag t, written
// by the target's job: the Opus job takes the samples as they are decoded, the others a WAVE
// file of them. Empty when it was written whole.
std::string EncodeOne(const LibraryOptions& o, FrameReader& reader, const PcmLayout& layout,
                      std::int64_t frames, const std::string& output, const tags::TrackTags& t,
                      TrackPass& pass, double expected) {
    const std::string folder = fs::FolderOf(output);
    if (!MakeFolders(folder))
        return "Error: the folder " + folder + " cannot be made: " + std::strerror(errno);
    if (o.target == Target::Wav) {
        fs::AtomicFile file;
        if (fs::Status st = file.Open(output); !st) return "Error: " + st.message;
        std::string failure = WriteWave(reader, layout, frames, true, file, pass);
        if (failure.empty())
            if (fs::Status st = file.Commit(); !st) failure = "Error: " + st.message;
        return failure;
    }
    // The feed is the Opus job's input; the name it is given only labels the job's log.
    if (o.target == Target::Opus)
        return RunFormatJob(o, layout, output, output, t, pass.progress(),
                            std::make_shared<StreamFeed>(reader, layout, frames, expected, pass));
    encoder::ScratchFiles scratch;
    const std::string wave = ScratchName(output, ".wav");
    scratch.Add(wave);
    {
        ScratchWrite file;
        if (fs::Status st = file.Open(wave); !st) return "Error: " + st.message;
        std::string failure = WriteWave(reader, layout, frames, false, file, pass);
        if (!failure.empty()) return failure;
        if (fs::Status st = file.Close(); !st) return "Error: " + st.message;
    }
    // The in-process encoders write their output whole or not at all; the child encoders'
    // output takes its name once the job has tagged it.
    const bool direct = o.target == Target::Flac;
    const std::string written = direct ? output : ScratchName(output, TargetExtension(o.target));
    if (!direct) scratch.Add(written);
    std::string failure = RunFormatJob(o, layout, wave, written, t, pass.progress());
    if (!failure.empty() || direct) return failure;
    fs::Status st;
    const int fd = fs::OpenForReading(written, st);
    if (fd < 0) return "Error: " + st.message;
    fs::AtomicFile file;
    if (st = file.Open(output); st) st = file.CopyFrom(fd, written);
    ::close(fd);
    if (st) st = file.Commit();
    return st ? std::string() : "Error: " + st.message;
}

double ExpectedFrames(const PcmStream& stream) {
    const SourceFormat& src = stream.Source();
    return src.frames > 0
               ? static_cast<double>(src.frames) * stream.Layout().sampleRate / src.sampleRate
               : 0;
}

// One output of the entry, its samples measured into ledger when not null (kept there once
// the output is written); empty when it was written whole.
std::string EncodeTrack(const LibraryOptions& o, FrameReader& reader, const PcmStream& stream,
                        std::int64_t frames, const std::string& output, const tags::TrackTags& t,
                        Progress& progress, const std::string& rel, loudness::GainLedger* ledger) {
    const double expected = ExpectedFrames(stream);
    TrackPass pass(stream.Layout(), progress, rel, expected, ledger);
    std::string failure = EncodeOne(o, reader, stream.Layout(), frames, output, t, pass,
                                    frames >= 0 ? static_cast<double>(frames) : expected);
    if (ledger) {
        if (failure.empty())
            ledger->Keep(output);
        else
            ledger->Drop();
    }
    return failure;
}

FileResult ConvertWith(PcmStream& stream, const LibraryOptions& o, const LibraryEntry& e,
                       Progress& progress, FolderPictures& pictures, loudness::GainLedger* ledger) {
    FileResult result;
    std::string error;
    if (!stream.Open(e.source, TargetOf(o), error)) {
        result.failure = "Error: " + error;
        return result;
    }
    FrameReader reader(stream);
    tags::TrackTags t = o.target == Target::Wav ? tags::TrackTags{} : ReadSourceTags(e.source);
    if (o.target != Target::Wav && !t.FrontPicture()) {
        const std::size_t slash = e.source.rfind('/');
        t.SetFrontPicture(pictures.Of(slash == std::string::npos ? "" : e.source.substr(0, slash)));
    }
    if (!e.image) {
        result.failure =
            EncodeTrack(o, reader, stream, -1, e.output, t, progress, e.relative, ledger);
        return result;
    }
    // A disc image: a file per track, cut at the tracks' starts, the image's own tag (its
    // picture, what the sheet does not say) under the sheet's texts.
    const std::vector<ImageTrack>& tracks = e.image->tracks;
    const std::int64_t rate = stream.Layout().sampleRate;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::int64_t frames =
            i + 1 < tracks.size() ? tracks[i + 1].start * rate / 75 - tracks[i].start * rate / 75
                                  : -1;
        tags::TrackTags merged = t;
        for (const tags::TagFieldNames& names : tags::kTagFieldNames)
            if (tracks[i].tags.Has(names.field))
                merged.Set(names.field, tracks[i].tags.Get(names.field));
        result.failure = EncodeTrack(o, reader, stream, frames, e.trackOutputs[i], merged, progress,
                                     e.relative, ledger);
        if (!result.failure.empty()) {
            result.failure = "track " + std::to_string(tracks[i].number) + ": " + result.failure;
            return result;
        }
    }
    return result;
}

// The folder an entry's outputs go into; empty for an entry that names none.
std::string OutputFolder(const LibraryEntry& e) {
    if (!e.trackOutputs.empty()) return fs::FolderOf(e.trackOutputs.front());
    return e.output.empty() ? std::string() : fs::FolderOf(e.output);
}

// albums: the run's albums when it measures them (the entry is item number of the batch).
FileResult ConvertOne(const LibraryOptions& o, const LibraryEntry& e, Progress& progress,
                      FolderPictures& pictures, FolderAlbums* albums, int number) {
    PcmStream stream;
    loudness::GainLedger ledger;
    FileResult result = ConvertWith(stream, o, e, progress, pictures, albums ? &ledger : nullptr);
    // A cancelled run writes no album's values.
    if (albums && !progress.Cancelled()) {
        FolderAlbums::Line line = albums->Ended(OutputFolder(e), number, ledger);
        result.album = line.text;
        result.albumPartial = line.partial;
    }
    if (!result.failure.empty()) return result;
    const SourceFormat& src = stream.Source();
    std::vector<std::string> notes = stream.Layout().notes;
    if (src.lossy && Lossy(o.target)) {
        result.lossyToLossy = true;
        notes.insert(notes.begin(), "lossy to lossy: " + src.codec + " to " + TargetName(o.target));
    }
    for (const std::string& n : notes)
        result.note += (result.note.empty() ? "" : "; ") + n;
    return result;
}

std::string CopyOne(const LibraryEntry& e) {
    const std::string folder = fs::FolderOf(e.output);
    if (!MakeFolders(folder))
        return "Error: the folder " + folder + " cannot be made: " + std::strerror(errno);
    fs::Status st;
    const int fd = fs::OpenForReading(e.source, st);
    if (fd < 0) return "Error: " + st.message;
    fs::AtomicFile file;
    if (st = file.Open(e.output); st) st = file.CopyFrom(fd, e.source);
    ::close(fd);
    if (st) st = file.Commit();
    return st ? std::string() : "Error: " + st.message;
}

std::string Relative(const LibraryOptions& o, const std::string& output) {
    return output.substr(std::min(output.size(), o.out.size() + 1));
}

// What an entry becomes, below the output folder.
std::string Becomes(const LibraryOptions& o, const LibraryEntry& e) {
    if (!e.image) return Relative(o, e.output);
    std::string list = std::to_string(e.trackOutputs.size()) + " tracks:";
    for (const std::string& track : e.trackOutputs) {
        if (&track != &e.trackOutputs.front()) list += ',';
        list += ' ';
        list += Relative(o, track);
    }
    return list;
}

Target TargetOfChoice(JobKind kind) {
    switch (kind) {
        case JobKind::EncodeFlac:
            return Target::Flac;
        case JobKind::EncodeOpus:
            return Target::Opus;
        case JobKind::EncodeWma:
            return Target::Wma;
        case JobKind::Decode:
            return Target::Wav;
        default:
            return Target::Mp3;
    }
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// What the files of a library's batch share: the plan, the options every file's job reads,
// the pictures kept beside the sources, the counts; plimo-job's progress line when it follows
// the run.
class LibraryShared : public encoder::BatchShared {
public:
    LibraryOptions options;
    std::ostream* out = nullptr;  // plimo-job's output; null: the batch's window alone
    bool terminal = false;
    std::unique_ptr<Console> console;  // made with the plan, when out is set
    std::vector<LibraryEntry> plan;
    // The batch's items in its order: item n is items[n - 1].
    std::vector<const LibraryEntry*> items;
    FolderPictures pictures;
    // The output folders' albums, with ReplayGain values asked for (the files' jobs end them).
    std::unique_ptr<FolderAlbums> albums;
    std::string planError;  // the input folder could not be read
    int skipped = 0, work = 0;
    std::atomic<int> converted{0}, copied{0};
};

// The library's plan as the batch's items: the files to convert and to copy, and those that
// cannot be converted as failed items in their places. Planned on the batch's worker thread at
// the first Take; what is up to date is counted and left out.
class LibrarySource : public encoder::InputSource {
public:
    LibrarySource(const encoder::JobRequest& request, LibraryShared* shared)
        : request_(request), shared_(shared) {}
    bool Batch() const override { return true; }
    int Count() const override { return count_; }
    Next Take(encoder::JobRunner&) override {
        Next next;
        if (!shared_) {
            if (taken_++ > 0) return next;
            count_ = 1;
            next.step = Step::Failed;
            next.item.input = request_.input;
            next.message = "Error: the library's plan is missing";
            return next;
        }
        if (!planned_) Plan();
        if (!shared_->planError.empty()) {
            if (taken_++ > 0) return next;
            next.step = Step::Failed;
            next.item.input = shared_->options.in;
            next.message = shared_->planError;
            return next;
        }
        if (taken_ >= shared_->items.size()) return next;
        const LibraryEntry& e = *shared_->items[taken_++];
        next.item.input = e.source;
        next.item.output = e.output;
        next.item.label = e.relative;
        if (e.action == LibraryEntry::Action::Fail) {
            next.step = Step::Failed;
            next.message = e.reason;
        } else {
            next.step = Step::Item;
        }
        return next;
    }

private:
    void Plan() {
        planned_ = true;
        LibraryShared& s = *shared_;
        s.options = LibraryOptionsOf(request_);
        const LibraryOptions& o = s.options;
        std::ostream* out = s.out;
        TreeOptions tree{TargetExtension(o.target), o.copyPatterns, o.force, o.split, o.subfolders};
        std::string error;
        if (!PlanLibrary(o.in, o.out, tree, s.plan, error)) {
            s.planError = error;
            count_ = 1;
            if (out) *out << error << "\n";
            return;
        }
        using Action = LibraryEntry::Action;
        std::int64_t totalBytes = 0;
        std::set<std::string> folders;
        // With loudness values asked for, each output folder's converted files are an album.
        if (o.base.formats.replayGain && o.target != Target::Wav)
            s.albums = std::make_unique<FolderAlbums>(KindOf(o.target), o.base, o.out);
        for (const LibraryEntry& e : s.plan) {
            if (s.albums && e.action != Action::Copy && (e.image || IsAudioName(e.relative)) &&
                !OutputFolder(e).empty())
                s.albums->Plan(OutputFolder(e), e.action == Action::Convert);
            switch (e.action) {
                case Action::Skip:
                    ++s.skipped;
                    if (out && !s.terminal) *out << "skipped " << e.relative << " (up to date)\n";
                    break;
                case Action::Fail:
                    s.items.push_back(&e);
                    if (out) *out << "failed " << e.relative << ": " << e.reason << "\n";
                    break;
                case Action::Convert:
                case Action::Copy: {
                    s.items.push_back(&e);
                    ++s.work;
                    struct stat info {};
                    if (::stat(e.source.c_str(), &info) == 0) totalBytes += info.st_size;
                    folders.insert(fs::FolderOf(e.image ? e.trackOutputs.front() : e.output));
                    break;
                }
            }
        }
        for (const std::string& folder : folders)
            SweepScratch(folder);
        if (out && s.work > 0)
            s.console = std::make_unique<Console>(*out, s.terminal, s.work, totalBytes);
        count_ = static_cast<int>(s.items.size());
    }

    const encoder::JobRequest request_;
    LibraryShared* shared_;
    bool planned_ = false;
    std::size_t taken_ = 0;
    int count_ = 0;
};

// One file of a library's batch: converted (or copied) into its place, its line in the log.
class LibraryFileJob : public encoder::Job {
public:
    void Run(encoder::JobRunner& r) override;
    // The batch ends its files as it ends itself: no message, no pause of their own.
    void Cancel(encoder::JobRunner& r) override {
        if (r.WorkerRunning()) {
            r.RequestCancel();
            r.Finish("Current Process was Canceled.", JobResult::Cancelled);
            return;
        }
        r.Close(IDCANCEL);
    }
    void Interrupt() override { inner_.Cancel(); }

private:
    InnerJob inner_;
};

void LibraryFileJob::Run(encoder::JobRunner& r) {
    const encoder::JobRequest& req = r.Request();
    auto* shared = dynamic_cast<LibraryShared*>(req.item.shared.get());
    const std::size_t index = static_cast<std::size_t>(std::max(req.item.number, 1) - 1);
    if (!shared || index >= shared->items.size()) {
        r.Finish("Error: the file is not one of a library's plan", JobResult::Failed,
                 {req.item.file});
        return;
    }
    SetBusy(true);
    const LibraryEntry& e = *shared->items[index];
    char title[128];
    std::snprintf(title, sizeof title, "Orvane Encoder 2001 - (File %d of %d)", req.item.number,
                  req.item.count);
    r.SetText(encoder::JobText::Title, title);
    r.SetText(encoder::JobText::FileCount, std::to_string(req.item.count));
    r.SetText(encoder::JobText::FileNumber, std::to_string(req.item.number));
    r.SetText(encoder::JobText::Input, e.source);
    r.SetText(encoder::JobText::Output, e.output);
    r.SetRange(encoder::JobBar::CurrentFile, 0, 100);
    r.SetPos(encoder::JobBar::CurrentFile, 0);
    struct stat info {};
    ::stat(e.source.c_str(), &info);
    Console* console = shared->console.get();
    if (console) console->Begin(e.relative, info.st_size);
    Progress progress(r, console, inner_);
    FileResult result;
    const bool copy = e.action == LibraryEntry::Action::Copy;
    if (copy)
        result.failure = CopyOne(e);
    else
        result = ConvertOne(shared->options, e, progress, shared->pictures, shared->albums.get(),
                            req.item.number);
    SetBusy(false);
    if (r.CancelRequested()) {
        // What the stopped file wrote went with its scratch and temporary files.
        r.Finish("Current Process was Canceled.", JobResult::Cancelled);
        return;
    }
    std::string line;
    if (!result.failure.empty()) {
        line = "failed " + e.relative + ": " + result.failure;
    } else {
        ++(copy ? shared->copied : shared->converted);
        line = std::string(copy ? "copied " : "converted ") + e.relative + " -> " +
               Becomes(shared->options, e) + (result.note.empty() ? "" : " (" + result.note + ")");
    }
    if (console) {
        console->End(e.relative, info.st_size, line,
                     !result.failure.empty() || result.lossyToLossy);
        if (!result.album.empty()) console->Say(result.album, result.albumPartial);
    }
    r.SetText(encoder::JobText::Log,
              line + "\r\n" + (result.album.empty() ? "" : result.album + "\r\n"));
    if (!result.failure.empty()) {
        r.Finish({JobResult::Failed, result.failure, {{e.relative, result.failure}}});
        return;
    }
    r.SetPos(encoder::JobBar::CurrentFile, 100);
    r.Finish({JobResult::Succeeded, "", {}});
}

encoder::ParallelBatchKind LibraryBatch() {
    encoder::ParallelBatchKind batch;
    batch.finished = "Music Library Conversion Finished.";
    batch.verb = "converted";
    batch.share = [](const encoder::JobRequest&) { return std::make_shared<LibraryShared>(); };
    batch.source = [](const encoder::JobRequest& request, encoder::BatchShared* shared) {
        return std::make_unique<LibrarySource>(request, dynamic_cast<LibraryShared*>(shared));
    };
    batch.finish = [](const encoder::JobRequest&, encoder::BatchShared& shared, std::string& log,
                      std::vector<encoder::FileFailure>& failures) {
        auto* s = dynamic_cast<LibraryShared*>(&shared);
        if (s && s->skipped > 0)
            log = "left alone (up to date): " + std::to_string(s->skipped) + " files\r\n";
        // Each album's values were written as its folder's last file ended; what could not be
        // is a failure of the batch, and the albums of part of their folders are named.
        if (s && s->albums) {
            for (encoder::FileFailure& f : s->albums->Failures())
                failures.push_back(std::move(f));
            for (const std::string& line : s->albums->Summary()) {
                const std::size_t text = line.find_first_not_of(' ');
                log += (text == std::string::npos ? line : line.substr(text)) + "\r\n";
            }
        }
    };
    batch.finishedText = [](const encoder::JobRequest&, encoder::BatchShared* shared) {
        auto* s = dynamic_cast<LibraryShared*>(shared);
        if (!s) return std::string();
        return "Music Library Conversion Finished.\nConverted " + std::to_string(s->converted) +
               ", skipped " + std::to_string(s->skipped) + ", copied " + std::to_string(s->copied) +
               ".";
    };
    return batch;
}

}  // namespace

std::string TargetExtension(Target target) {
    switch (target) {
        case Target::Mp3:
            return ".mp3";
        case Target::Flac:
            return ".flac";
        case Target::Opus:
            return ".opus";
        case Target::Wma:
            return ".wma";
        case Target::Wav:
            return ".wav";
    }
    return {};
}

LibraryOptions LibraryOptionsOf(const encoder::JobRequest& request) {
    LibraryOptions o;
    o.target = TargetOfChoice(request.library.target);
    o.base = request;
    o.base.item = {};
    o.in = WithoutTrailingSlash(request.input);
    o.out = WithoutTrailingSlash(request.output);
    o.jobs = request.parallelJobs;
    o.copyPatterns = request.library.copyPatterns;
    o.force = !request.library.skipConverted;
    o.split = request.library.split;
    o.subfolders = request.library.subfolders;
    o.modeChosen = request.library.modeChosen;
    return o;
}

encoder::JobRequest LibraryRequest(const LibraryOptions& o) {
    encoder::JobRequest r = o.base;
    r.kind = encoder::kConvertLibrary;
    r.input = o.in + "/";
    r.output = o.out + "/";
    r.batch = true;
    r.parallelJobs = o.jobs;
    r.item = {};
    r.library.target = o.target == Target::Wav ? JobKind::Decode : KindOf(o.target);
    r.library.copyPatterns = o.copyPatterns;
    r.library.skipConverted = !o.force;
    r.library.split = o.split;
    r.library.subfolders = o.subfolders;
    r.library.modeChosen = o.modeChosen;
    return r;
}

void RegisterLibraryJob() {
    encoder::RegisterKind(
        encoder::kConvertLibrary,
        [](const encoder::JobRequest& request) -> std::unique_ptr<encoder::Job> {
            // The whole library runs as a parallel batch, one file after the other with a
            // single job allowed.
            if (!request.OneItem()) return encoder::MakeParallelBatchJob(request);
            return std::make_unique<LibraryFileJob>();
        },
        std::make_shared<const encoder::ParallelBatchKind>(LibraryBatch()));
}

LibraryReport ConvertLibrary(const LibraryOptions& o, std::ostream& out, bool terminal) {
    LibraryReport report;
    std::shared_ptr<LibraryShared> shared;
    if (o.dryRun) {
        // A dry run reads no audio: the plan alone, listed.
        std::vector<LibraryEntry> plan;
        std::string error;
        TreeOptions tree{TargetExtension(o.target), o.copyPatterns, o.force, o.split, o.subfolders};
        if (!PlanLibrary(o.in, o.out, tree, plan, error)) {
            report.failed.push_back({o.in, error});
            out << error << "\n";
            return report;
        }
        using Action = LibraryEntry::Action;
        for (const LibraryEntry& e : plan) {
            switch (e.action) {
                case Action::Skip:
                    ++report.skipped;
                    out << "skipped " << e.relative << " (up to date)\n";
                    break;
                case Action::Fail:
                    report.failed.push_back({e.relative, e.reason});
                    out << "failed " << e.relative << ": " << e.reason << "\n";
                    break;
                case Action::Convert:
                case Action::Copy:
                    out << (e.action == Action::Copy ? "would copy " : "would convert ")
                        << e.relative << " -> " << Becomes(o, e) << "\n";
                    ++(e.action == Action::Copy ? report.copied : report.converted);
                    break;
            }
        }
    } else {
        // No output folder is made for an input that is no folder.
        if (const std::string problem = LibraryFolderProblem(o.in); !problem.empty()) {
            report.failed.push_back({o.in, problem});
            out << problem << "\n";
            return report;
        }
        // The files run through the parallel batch of the library's job kind, as the wizard's
        // do; the progress line and the files' lines follow them here.
        RegisterLibraryJob();
        shared = std::make_shared<LibraryShared>();
        shared->out = &out;
        shared->terminal = terminal;
        encoder::JobRequest request = LibraryRequest(o);
        request.item.shared = shared;
        QuietObserver observer;
        encoder::JobRunner runner(std::move(request), observer);
        runner.Start();
        runner.Wait();
        runner.Stop();
        if (!shared->planError.empty()) {
            report.failed.push_back({o.in, shared->planError});
            return report;
        }
        report.converted = shared->converted;
        report.copied = shared->copied;
        report.skipped = shared->skipped;
        const JobOutcome outcome = runner.Outcome();
        if (outcome.result != JobResult::Succeeded) {
            report.failed = outcome.failures;
            // A batch that failed before any file (its output folder cannot be made) says so.
            if (report.failed.empty()) {
                report.failed.push_back({o.out, outcome.message});
                out << outcome.message << "\n";
            }
        }
        if (Console* console = shared->console.get()) {
            console->Close();
            char rate[128];
            std::snprintf(
                rate, sizeof rate, "%s of audio in %.1f s (%.1fx real time)",
                Clock(console->AudioSeconds()).c_str(), console->Elapsed(),
                console->Elapsed() > 0 ? console->AudioSeconds() / console->Elapsed() : 0.0);
            out << rate << "\n";
        }
    }
    std::sort(report.failed.begin(), report.failed.end(),
              [](const encoder::FileFailure& a, const encoder::FileFailure& b) {
                  return a.input < b.input;
              });
    out << (o.dryRun ? "Would convert " : "Converted ") << report.converted << ", skipped "
        << report.skipped << ", " << (o.dryRun ? "would copy " : "copied ") << report.copied
        << ", failed " << report.failed.size() << "\n";
    for (const encoder::FileFailure& f : report.failed)
        out << "  " << f.input << ": " << f.reason << "\n";
    if (shared && shared->albums)
        for (const std::string& line : shared->albums->Summary())
            out << line << "\n";
    out << std::flush;
    return report;
}

}  // namespace orvane::library

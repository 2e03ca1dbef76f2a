#include "encoder/wma/wma_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "common/tag_fields.h"
#include "encoder/app/resource.h"
#include "encoder/job/album_gain.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/job/progress.h"
#include "encoder/loudness/gain_tags.h"
#include "encoder/tags/file_names.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/wave_info.h"
#include "encoder/wma/wma_picture.h"
#include "platform/clock/clock.h"
#include "platform/fs/fs.h"

namespace orvane::wma {

using namespace orvane::wmenc;
using encoder::InputSource;
using encoder::Job;
using encoder::JobBar;
using encoder::JobRequest;
using encoder::JobResult;
using encoder::JobRunner;
using encoder::JobText;
using encoder::OutputFolderOf;
using encoder::SameFile;
using encoder::SourceItem;

namespace {

constexpr unsigned kMessagePassMs = 7000;  // 14 passes of 500 ms

std::uint32_t Le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::string TwoDigits(std::int64_t h, std::int64_t m, std::int64_t s) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(h), static_cast<int>(m),
                  static_cast<int>(s));
    return text;
}

// A CD track's (or a tagged single file's) fields beyond the display texts as the file's
// attributes, named by the wma column of tags::kTagFieldNames; the attributes of the file before
// go first.
HRESULT PutAttributes(IWMEncoder& encoder, std::shared_ptr<IWMEncAttributes>& attributes,
                      const tags::TrackTags& fields) {
    using tags::TagField;
    if (!attributes)
        if (HRESULT hr = encoder.get_Attributes(&attributes); FAILED(hr)) return hr;
    if (HRESULT hr = attributes->RemoveAll(); FAILED(hr)) return hr;
    for (const tags::TagFieldNames& names : tags::kTagFieldNames) {
        // The title, the artist and the comment are display texts.
        if (!names.wma || names.field == TagField::Title || names.field == TagField::Artist ||
            names.field == TagField::Comment)
            continue;
        const std::string text = names.field == TagField::DiscNumber
                                     ? tags::TrackTags::NumberWithTotal(
                                           fields.Get(names.field), fields.Get(TagField::DiscTotal))
                                     : fields.Get(names.field);
        if (text.empty()) continue;
        if (HRESULT hr = attributes->Add(names.wma, text); FAILED(hr)) return hr;
    }
    return S_OK;
}

// The objects the job holds, released in reverse order of acquisition when it goes.
struct Objects {
    std::shared_ptr<IWMEncoder> encoder;
    std::shared_ptr<IWMEncSourceGroupCollection> groups;
    std::shared_ptr<IWMEncSourceGroup> group;
    std::shared_ptr<IWMEncSource> source;
    std::shared_ptr<IWMEncProfileCollection> profiles;
    std::shared_ptr<IWMEncProfile> profile;
    std::shared_ptr<IWMEncDisplayInfo> info;
    std::shared_ptr<IWMEncFile> file;
    std::shared_ptr<IWMEncAttributes> attributes;  // asked for by the first CD track

    void Release(WmaJobShared& shared) {
        attributes.reset();
        file.reset();
        info.reset();
        profile.reset();
        profiles.reset();
        source.reset();
        group.reset();
        groups.reset();
        {
            std::lock_guard lock(shared.mutex);
            shared.encoder.reset();
        }
        encoder.reset();
    }
};

class WmaRun {
public:
    WmaRun(JobRunner& r, WmaJobShared& shared, std::function<void(bool)> busy)
        : r_(r), req_(r.Request()), shared_(shared), busy_(std::move(busy)) {}

    void Go();

private:
    bool SetUp();
    // One file; false ends the job at once (its message has been shown).
    bool EncodeFile(const SourceItem& item, const std::string& output);
    // The steps of one file: the input's checks (its duration in seconds into duration), the
    // encoder's input and texts, its start and the wait for its end (true when cancelled), and
    // the output's final name (true when the file was kept).
    bool CheckInput(const std::string& input, const std::string& output, int& duration);
    bool SetUpSource(const SourceItem& item);
    bool RunEncoder();
    bool SettleFile(const SourceItem& item, const std::string& output, const std::string& target,
                    fs::AtomicFile& file);
    void End();
    // Ends the job after a failure before encoding: the objects go, the window stays for the
    // user's Cancel.
    // One file of a batch that runs several at once fails alone instead, with the text as its
    // reason.
    void Abort(const std::string& text, const std::string& caption, unsigned flags = MB_OK) {
        if (!req_.OneItem()) r_.Message(text, caption, flags);
        o_.Release(shared_);
        CoUninitialize();
        busy_(false);
        if (req_.OneItem()) {
            encoder::JobOutcome outcome;
            outcome.message = text;
            outcome.failures = {
                {req_.item.source ? req_.item.source->Label() : req_.item.file, text}};
            r_.Finish(std::move(outcome));
        }
    }
    void Log(const std::string& line) {
        log_ += line;
        r_.SetText(JobText::Log, log_);
    }
    // Why the encoder's last run failed, as it describes it.
    std::string EncoderReason() {
        std::shared_ptr<IUnknown> unknown;
        std::string text;
        if (o_.encoder && o_.encoder->QueryInterface(IID_IErrorInfo, &unknown) == S_OK &&
            SUCCEEDED(As<IErrorInfo>(unknown)->GetDescription(&text)) && !text.empty())
            return text;
        return "Error encoding the file";
    }
    long RunState() {
        long state = 0;
        if (o_.encoder) o_.encoder->get_RunState(&state);
        return state;
    }
    // The window's messages are handled while the job waits for the encoder; a cancel, or
    // until(), ends the wait early (the encoder wakes it when its run state changes).
    void Wait(const std::function<bool()>& until) {
        r_.ProcessMessages();
        clock::Current().SleepMsUnless(kMessagePassMs,
                                       [&] { return r_.CancelRequested() || until(); });
    }
    // A pass of the window's messages that waits for nothing: one of the window's pauses.
    void MessagePass() {
        r_.ProcessMessages();
        r_.Pause(kMessagePassMs);
    }

    JobRunner& r_;
    const JobRequest& req_;
    WmaJobShared& shared_;
    std::function<void(bool)> busy_;
    Objects o_;
    std::string log_;
    std::vector<std::string> failed_;
    // The same files with the reason each failed: a CD job's final message names them.
    std::vector<encoder::FileFailure> failures_;
    int taken_ = 0;  // files and tracks the batch took, read or not
    // The loudness values, when asked for: each file's track values once it is written, the
    // album's over a batch at its end.
    std::unique_ptr<loudness::GainLedger> gain_;
    bool MeasureGain(const SourceItem& item, const std::string& path);
    void WriteAlbumGain();
};

bool WmaRun::SetUp() {
    std::shared_ptr<IUnknown> unknown;
    if (SUCCEEDED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWMEncoder,
                                   &unknown)))
        o_.encoder = As<IWMEncoder>(unknown);
    if (!o_.encoder) {
        r_.Message("Error creating IWMEncoder object", "Error", MB_OK);
        r_.Close(IDOK);
        CoUninitialize();
        return false;
    }
    {
        std::lock_guard lock(shared_.mutex);
        shared_.encoder = o_.encoder;
        shared_.batch = req_.batch;
    }
    if (FAILED(o_.encoder->get_SourceGroupCollection(&o_.groups))) {
        Abort("Error geting the IWMEncSourceGroupCollection interface", "Error");
        return false;
    }
    if (FAILED(o_.groups->Add("Convert", &o_.group)) ||
        FAILED(o_.group->AddSource(kSourceAudio, &o_.source))) {
        Abort("Error geting the IWMEncSourceGroup interface", "Error");
        return false;
    }
    if (FAILED(o_.encoder->get_ProfileCollection(&o_.profiles))) {
        Abort("Could not get the profile collection", "Error");
        return false;
    }
    if (FAILED(o_.profiles->Item(req_.wma.profileIndex, &o_.profile))) {
        Abort("Could not get the specific profile", "Error");
        return false;
    }
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = o_.profile;
    if (FAILED(o_.group->put_Profile(v))) {
        Abort("Could not set the profile", "Error");
        return false;
    }
    if (FAILED(o_.encoder->get_DisplayInfo(&o_.info))) {
        Abort("Error geting the IWMEncDisplayInfo interface", "Error");
        return false;
    }
    if (FAILED(o_.encoder->get_File(&o_.file))) {
        Abort("Error getting IWMEncFile interface", "Error");
        return false;
    }
    return true;
}

void WmaRun::Go() {
    {
        // The times count from the job's start until the first file's encoder starts: the
        // statistics tick may come while the job prepares.
        std::lock_guard lock(shared_.mutex);
        shared_.startTime = clock::Time();
    }
    CoInitialize(nullptr);
    if (!SetUp()) return;
    busy_(true);
    if (req_.formats.replayGain) gain_ = std::make_unique<loudness::GainLedger>();
    std::unique_ptr<InputSource> source = MakeInputSource(req_, "*.WAV");
    if (!source->Batch()) {
        InputSource::Next next = source->Take(r_);
        if (!EncodeFile(next.item, next.item.output)) return;
        End();
        return;
    }
    std::string outFolder = OutputFolderOf(req_.output);
    int n = 0;
    for (;;) {
        r_.Redraw();
        if (r_.CancelRequested()) break;
        InputSource::Next next = source->Take(r_);
        ++n;
        int count = source->Count();
        // The overall bar counts the files done before this one: full once all are.
        r_.SetRange(JobBar::Overall, 0, count * 100);
        r_.SetPos(JobBar::Overall, (n - 1) * 100);
        if (count < 1 || n > count || next.step == InputSource::Step::End) break;
        // Only a file that is taken gets its number, and one file of a batch that runs several
        // at once keeps its number in the whole batch.
        const int number = req_.OneItem() ? req_.item.number : n;
        const int of = req_.OneItem() ? req_.item.count : count;
        char title[128];
        std::snprintf(title, sizeof title, "Orvane Encoder 2001 - (File %d of %d)", number, of);
        r_.SetText(JobText::Title, title);
        r_.SetText(JobText::FileCount, std::to_string(of));
        r_.SetText(JobText::FileNumber, std::to_string(number));
        if (next.step == InputSource::Step::Cancelled) {
            r_.RequestCancel();
            break;
        }
        ++taken_;
        if (next.step == InputSource::Step::Failed) {
            failed_.push_back(next.item.input);
            failures_.push_back({next.item.input, next.message});
            continue;
        }
        const SourceItem& item = next.item;
        std::string output = req_.CdAudio() ? CdTrackOutputName(outFolder, item.tag.Artist(),
                                                                item.tag.Title(), item.trackNumber)
                                            : BatchOutputName(outFolder, item.input);
        // A naming pattern the user set names CD tracks as it names them on the other roads.
        if (req_.CdAudio() && !req_.namePattern.empty() && !item.finalStem.empty())
            output = item.finalStem + ".WMA";
        r_.SetText(JobText::Input, item.Label());
        r_.SetText(JobText::Output, output);
        if (!EncodeFile(item, output)) return;
        if (r_.CancelRequested()) break;
    }
    End();
}

bool WmaRun::CheckInput(const std::string& input, const std::string& output, int& duration) {
    // The input's header gives the duration.
    int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Abort("Error: Cannot open the Input File", "");
        return false;
    }
    struct stat info {};
    ::fstat(fd, &info);
    unsigned char header[44] = {};
    ssize_t got = ::read(fd, header, sizeof header);
    const encoder::WaveInfo format = encoder::ReadWaveInfo(fd, info.st_size);
    ::close(fd);
    // The encoder takes 16-bit PCM samples behind a whole format chunk; it would make noise of
    // anything else.
    if (got <= 0 || header[0] != 'R' || header[8] != 'W' || !format.formatBeforeData ||
        !format.pcm) {
        Abort("Error: Input file is not a Windows PCM WAVE File.", "");
        return false;
    }
    if (format.bitsPerSample != 16) {
        Abort("Error: Input file is not a 16-bit WAV File.", "");
        return false;
    }
    // A rate the conversion to the profile's cannot sensibly start from (1 Hz would make hours
    // of samples); a header without a rate still runs, and the encoder says why it fails.
    if (format.sampleRate != 0) {
        if (const std::string problem = encoder::SampleRateProblem(format.sampleRate);
            !problem.empty()) {
            Abort(problem, "");
            return false;
        }
    }
    if (SameFile(input, output)) {
        Abort("Error: The output file cannot be the input file.", "");
        return false;
    }
    duration = WaveDurationSeconds(header).value_or(DurationFromSize(info.st_size));
    return true;
}

bool WmaRun::SetUpSource(const SourceItem& item) {
    if (FAILED(o_.source->SetInput(item.input, "", ""))) {
        Abort("Error setting the input file", "Error");
        return false;
    }
    if (FAILED(o_.groups->put_Active(o_.group))) {
        Abort("Error setting the active source group", "Error");
        return false;
    }
    // The texts: the page's for a single file, the track's tag for a CD track, none for the
    // files of a folder.
    std::string title, author, copyright, rating, description;
    if (!req_.batch) {
        title = req_.wma.title, author = req_.wma.author, copyright = req_.wma.copyright;
        rating = req_.wma.rating, description = req_.wma.description;
    } else if (req_.CdAudio()) {
        // The full texts where known: the record's are cut to its thirty bytes.
        auto text = [&item](tags::TagField field, const std::string& record) {
            return item.fullTags.Has(field) ? item.fullTags.Get(field) : record;
        };
        title = text(tags::TagField::Title, item.tag.Title());
        author = copyright = text(tags::TagField::Artist, item.tag.Artist());
        description = text(tags::TagField::Album, item.tag.Album());
    }
    HRESULT results[5] = {o_.info->put_Title(title), o_.info->put_Author(author),
                          o_.info->put_Copyright(copyright), o_.info->put_Rating(rating),
                          o_.info->put_Description(description)};
    for (HRESULT hr : results)
        if (FAILED(hr)) {
            Abort("Error setting File Information", "Error");
            return false;
        }
    const bool attributes = req_.CdAudio() || (!req_.batch && req_.wma.fullTag);
    if (attributes && FAILED(PutAttributes(*o_.encoder, o_.attributes, item.fullTags))) {
        Abort("Error setting File Information", "Error");
        return false;
    }
    return true;
}

bool WmaRun::RunEncoder() {
    if (FAILED(o_.encoder->PrepareToEncode(VARIANT_TRUE))) {
        std::shared_ptr<IUnknown> unknown;
        std::string text;
        if (o_.encoder->QueryInterface(IID_IErrorInfo, &unknown) == S_OK &&
            SUCCEEDED(As<IErrorInfo>(unknown)->GetDescription(&text)))
            r_.Message(text, "error", MB_OK);
        r_.Message("Error: Prepare to encode failed.", "", MB_ICONERROR);
    }
    if (FAILED(o_.encoder->Start())) r_.Message("Error encoding the file", "Error", MB_OK);
    Log("Encoder was started successfully...\r\n");
    {
        std::lock_guard lock(shared_.mutex);
        shared_.startTime = clock::Time();
    }
    for (;;) {
        Wait([this] { return RunState() != kEncoderRunning; });
        if (RunState() != kEncoderRunning) return false;
        if (r_.CancelRequested()) {
            r_.WaitCursor(true);
            o_.encoder->Stop();
            r_.WaitCursor(false);
            return true;
        }
    }
}

bool WmaRun::SettleFile(const SourceItem& item, const std::string& output,
                        const std::string& target, fs::AtomicFile& file) {
    // A finished or stopped file takes its final name; a failed one is discarded.
    HRESULT result = E_FAIL;
    o_.encoder->get_RunResult(&result);
    struct stat written {};
    bool kept = false;
    if (SUCCEEDED(result) && ::stat(file.tempPath().c_str(), &written) == 0) {
        // A picture that cannot be added is reported; the file is kept without it.
        std::string pictureError;
        if (const tags::Picture* picture = item.fullTags.FrontPicture();
            picture && !AddWmaPicture(file.tempPath(), *picture, pictureError))
            Log("Error: " + pictureError + "\r\n");
        if (fs::Status status = file.Commit(); status) {
            kept = !gain_ || MeasureGain(item, target);
        } else {
            r_.Message("Error: " + status.message, "", MB_ICONERROR);
            failed_.push_back(item.Label());
            failures_.push_back({item.Label(), "Error: " + status.message});
        }
    } else {
        file.Discard();
        failed_.push_back(item.Label());
        failures_.push_back({item.Label(), EncoderReason()});
    }
    if (target != output) {
        const std::string stem = output.substr(0, output.size() - 4);  // without ".WMA"
        std::string error;
        std::string final = kept ? encoder::SettleOutput(item, target, stem, ".WMA", error) : "";
        if (!final.empty()) {
            r_.SetText(JobText::Output, final);
        } else if (kept) {
            kept = false;
            failed_.push_back(item.Label());
            failures_.push_back({item.Label(), "Error: " + error});
        }
        // The grabbed WAVE file goes, or stays visible when asked to or for another try.
        std::string wave = encoder::SettleInput(item, stem, kept);
        if (!kept) failures_.back().reason += encoder::KeptInputNote(wave);
        if (gain_ && kept) gain_->Keep(final);
    } else if (gain_ && kept) {
        gain_->Keep(target);
    }
    if (gain_ && !kept) gain_->Drop();
    return kept;
}

bool WmaRun::EncodeFile(const SourceItem& item, const std::string& output) {
    int duration = 0;
    if (!CheckInput(item.input, output, duration)) return false;
    r_.SetRange(JobBar::CurrentFile, 0, duration);
    if (!req_.batch) r_.SetRange(JobBar::Overall, 0, duration);
    {
        std::lock_guard lock(shared_.mutex);
        shared_.durationSeconds = duration;
    }
    if (!SetUpSource(item)) return false;
    // The encoder writes a temporary file beside the output, which takes the output's name
    // only once it is whole. A CD track's file is written under the job's scratch name and
    // then moved to its final name, which never replaces a file.
    const std::string target = item.InScratch(item.output) ? item.output : output;
    fs::AtomicFile file;
    if (fs::Status status = file.Open(target); !status) {
        Abort("Error: " + status.message, "");
        return false;
    }
    if (FAILED(o_.file->put_LocalFileName(file.tempPath()))) {
        Abort("Error setting output file name", "Error");
        return false;
    }

    o_.encoder->put_AutoStop(VARIANT_TRUE);
    o_.encoder->put_AutoArchive(VARIANT_TRUE);
    o_.encoder->put_EnableStatistics(VARIANT_TRUE);
    Log("Preparing to Start the Encoder...\r\n");
    MessagePass();
    // A job cancelled before its encoder started ends without starting it.
    if (r_.CancelRequested()) return true;
    const bool cancelled = RunEncoder();
    const bool kept = SettleFile(item, output, target, file);
    if (cancelled) return true;
    // A full bar says the file was written; a failed one stays where its encoding ended.
    if (kept) {
        r_.SetPos(JobBar::CurrentFile, duration);
        if (!req_.batch) r_.SetPos(JobBar::Overall, duration);
    }
    if (req_.batch) {
        o_.encoder->Stop();
        // A grabbed track whose file was not written stays for another try.
        if (item.deleteInput && kept && target == output) ::unlink(item.input.c_str());
    }
    return true;
}

bool WmaRun::MeasureGain(const SourceItem& item, const std::string& path) {
    std::string reason = gain_->MeasureFile(item.input, [this] { return r_.CancelRequested(); });
    if (!reason.empty()) {
        reason = "Error: Cannot measure the loudness: " + reason;
    } else if (std::optional<loudness::GainValues> track = gain_->Track()) {
        // A track too short or too quiet to measure gets no values, but its album still does.
        Log("Track gain " + loudness::ReplayGainText(track->loudness) + ", peak " +
            loudness::PeakText(track->peak) + "\r\n");
        if (!loudness::WriteGainTags(path, loudness::GainContainer::Wma,
                                     loudness::TrackGainTags(*track), reason))
            reason = "Error: Cannot write the loudness values: " + reason;
        else
            reason.clear();
    }
    if (reason.empty()) return true;
    failed_.push_back(item.Label());
    failures_.push_back({item.Label(), reason});
    return false;
}

void WmaRun::WriteAlbumGain() {
    // One file of a batch that runs several at once leaves the album to the batch.
    if (encoder::HandToAlbum(req_, *gain_)) return;
    std::optional<loudness::GainValues> album = gain_->Album();
    if (!album) return;
    Log("Album gain " + loudness::ReplayGainText(album->loudness) + ", peak " +
        loudness::PeakText(album->peak) + "\r\n");
    for (const auto& [path, error] : gain_->WriteAlbum(
             [](const std::string&path, const loudness::GainTags&tags, std::string&error) {
                 return loudness::WriteGainTags(path, loudness::GainContainer::Wma, tags, error);
             })) {
        failed_.push_back(path);
        failures_.push_back({path, "Error: The album's loudness could not be written: " + error});
    }
}

void WmaRun::End() {
    if (gain_ && req_.batch && !r_.CancelRequested()) WriteAlbumGain();
    r_.WaitCursor(true);
    // The batch a single file belongs to makes the closing pause once, for all of its files.
    if (!req_.OneItem()) {
        MessagePass();
        r_.StatisticsTimer(0);
        r_.Pause(2500);
    }
    o_.Release(shared_);
    CoUninitialize();
    r_.WaitCursor(false);
    busy_(false);
    // Only a job whose every file was written says it finished; a cancelled job's end is the
    // cancel's own.
    if (r_.CancelRequested())
        r_.Finish("", JobResult::Cancelled, failed_);
    else if (failed_.empty())
        r_.Finish("Compression Finished.", JobResult::Succeeded);
    else if (req_.CdAudio())
        // Nothing was shown for a track the CD source could not read: the final message names
        // each failed track with its reason.
        r_.Finish(FailureReport("encoded", failures_, taken_, true), JobResult::Failed, failed_);
    else if (req_.OneItem()) {
        encoder::JobOutcome outcome;
        outcome.failures = failures_;
        outcome.message = FailureReport("encoded", failures_, taken_, true);
        r_.Finish(std::move(outcome));
    } else
        r_.Finish(FailureReport("encoded", failures_, taken_, req_.batch), JobResult::Failed,
                  failed_);
}

class WmaJob : public Job {
public:
    void Run(JobRunner& r) override {
        WmaRun run(r, shared_, [this](bool busy) { SetBusy(busy); });
        run.Go();
    }
    void OnTick(JobRunner& r, int timerId) override {
        if (timerId == encoder::ID_TIMER_WMA) UpdateWmaStatistics(r, shared_);
    }
    unsigned StatisticsPeriodMs() const override { return 1000; }
    // One file of a batch that runs several at once: its encoder stops at once and the file
    // ends as a cancelled one; the batch says the rest.
    void Cancel(JobRunner& r) override {
        if (!r.Request().OneItem()) {
            Job::Cancel(r);
            return;
        }
        if (r.WorkerRunning()) r.RequestCancel();
    }

private:
    WmaJobShared shared_;
};

}  // namespace

std::optional<int> WaveDurationSeconds(const unsigned char* header) {
    std::uint32_t data = Le(header + 40, 4);
    std::uint32_t bits = Le(header + 34, 2);
    std::uint32_t channels = Le(header + 22, 2);
    std::uint32_t rate = Le(header + 24, 4);
    std::uint64_t perSecond = static_cast<std::uint64_t>(bits / 8) * channels * rate;
    if (perSecond == 0) return std::nullopt;
    return static_cast<int>(data / perSecond);
}

int DurationFromSize(std::int64_t fileSize) {
    std::int64_t seconds = fileSize / 176400;
    return seconds < 1 ? 1 : static_cast<int>(std::min<std::int64_t>(seconds, 0x7FFFFFFF));
}

std::string BatchOutputName(const std::string& outputFolder, const std::string& input) {
    return encoder::DriveAndDirectory(outputFolder) + encoder::BaseName(input) + ".WMA";
}

std::string CdTrackOutputName(const std::string& outputFolder, const std::string& artist,
                              const std::string& title, int trackNumber) {
    // An artist shorter than two characters is left out: the track is named by its title.
    std::size_t characters = 0;
    for (unsigned char c : artist)
        if ((c & 0xC0) != 0x80) ++characters;
    std::string name =
        encoder::CdTrackFileName(outputFolder, characters >= 2 ? artist : "", title, trackNumber);
    // The MP3 road's name with the extension of this road.
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".MP3") == 0)
        name.replace(name.size() - 4, 4, ".WMA");
    return name;
}

std::string RemainingText(int durationSeconds, std::int64_t elapsed) {
    if (durationSeconds / 3600 > 99) return "00:00:00";
    std::int64_t left = durationSeconds - elapsed;
    if (left < 0) left = 0;
    return TwoDigits((left / 3600) % 99, (left / 60) % 60, left % 60);
}

void RunWmaJob(JobRunner& runner, WmaJobShared& shared) {
    WmaRun run(runner, shared, [](bool) {});
    run.Go();
}

void UpdateWmaStatistics(JobRunner& r, WmaJobShared& shared) {
    std::shared_ptr<IWMEncoder> encoder;
    std::int64_t startTime;
    int duration;
    bool batch;
    {
        std::lock_guard lock(shared.mutex);
        encoder = shared.encoder;
        startTime = shared.startTime;
        duration = shared.durationSeconds;
        batch = shared.batch;
    }
    if (!encoder) return;
    std::shared_ptr<IWMEncStatistics> stats;
    if (FAILED(encoder->get_Statistics(&stats))) return;
    std::shared_ptr<IUnknown> second, archive;
    if (FAILED(stats->get_FileArchiveStats(&second)) ||
        FAILED(second->QueryInterface(IID_IWMEncFileArchiveStats, &archive)))
        return;
    std::shared_ptr<IUnknown> dispatch, output;
    if (FAILED(stats->get_WMFOutputStats(&dispatch))) {
        r.Message("Error: get_WMFOutputStats Failed.", "", MB_OK);
        return;
    }
    if (FAILED(dispatch->QueryInterface(IID_IWMEncOutputStats, &output))) {
        r.Message("Error: pDispOutputStats->QueryInterface Failed.", "", MB_OK);
        return;
    }
    auto out = As<IWMEncOutputStats>(output);
    long rate = 0, bitrate = 0;
    out->get_CurrentSampleRate(&rate);
    char text[64];
    std::snprintf(text, sizeof text, "  %ld Samples/sec.  ", rate);
    r.SetText(JobText::Rate, text);
    std::int64_t fileBytes = 0;
    As<IWMEncFileArchiveStats>(archive)->get_FileSize(&fileBytes);
    if (static_cast<std::uint32_t>(fileBytes) != 0)
        r.SetText(JobText::Compression, "                    -                    ");
    std::int64_t ms = 0;
    stats->get_EncodingTime(&ms);
    int t = static_cast<int>(static_cast<std::uint32_t>(ms) / 1000);
    int pos = t > duration ? duration : t;
    r.SetPos(JobBar::CurrentFile, pos);
    if (!batch) r.SetPos(JobBar::Overall, pos);
    std::int64_t elapsed = clock::Time() - startTime;
    r.SetText(JobText::Elapsed, encoder::ElapsedText(elapsed));
    // Once the whole input is encoded nothing remains, however long the encoding took.
    r.SetText(JobText::Remaining, RemainingText(duration, t >= duration ? duration : elapsed));
    out->get_CurrentBitrate(&bitrate);
    std::snprintf(text, sizeof text, "%ldkbps", bitrate / 1000);
    r.SetText(JobText::Bitrate, text);
}

void RegisterWmaJob() {
    // The closing pause is the one-at-a-time job's: a message pass and 2500 ms.
    encoder::ParallelBatchKind batch;
    batch.finished = "Compression Finished.";
    batch.verb = "encoded";
    batch.closingPauseMs = kMessagePassMs + 2500;
    batch.statisticsMs = 1000;
    encoder::ShareAlbumGain(
        batch,
        [](const JobRequest&, const std::string& path, const loudness::GainValues& album,
           std::string& error) {
            return loudness::WriteGainTags(path, loudness::GainContainer::Wma,
                                           loudness::AlbumGainTags(album), error);
        },
        true);
    encoder::RegisterKind(
        encoder::JobKind::EncodeWma,
        [](const JobRequest&) { return std::unique_ptr<Job>(std::make_unique<WmaJob>()); },
        std::make_shared<const encoder::ParallelBatchKind>(std::move(batch)));
}

}  // namespace orvane::wma

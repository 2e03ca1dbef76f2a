#include "encoder/wma/wma_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "encoder/app/encoder_app.h"
#include "encoder/app/job.h"
#include "encoder/app/paths.h"
#include "encoder/app/progress.h"
#include "encoder/app/resource.h"
#include "platform/clock/clock.h"

namespace orvane::wma {

using namespace orvane::wmenc;

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

    void Release(WmaJobHost& host) {
        file.reset();
        info.reset();
        profile.reset();
        profiles.reset();
        source.reset();
        group.reset();
        groups.reset();
        {
            std::lock_guard lock(host.Shared().mutex);
            host.Shared().encoder.reset();
        }
        encoder.reset();
    }
};

class Job {
public:
    Job(WmaJobHost& host, const WmaJobChoice& choice)
        : host_(host), w_(host.Window()), app_(host.App()), choice_(choice) {}

    void Run();

private:
    bool SetUp();
    // One file; false ends the job at once (its message has been shown).
    bool EncodeFile(const std::string& input, const std::string& output, bool cd, int track);
    void End();
    // Ends the job after a failure before encoding: the objects go, the window stays.
    void Abort(const std::string& text, const std::string& caption, unsigned flags = MB_OK) {
        w_.MessageBox(text, caption, flags);
        o_.Release(host_);
        CoUninitialize();
        host_.SetJobRunning(false);
    }
    void Log(const std::string& line) {
        log_ += line;
        w_.SetText(IDC_STATUS_LOG, log_);
    }
    long RunState() {
        long state = 0;
        if (o_.encoder) o_.encoder->get_RunState(&state);
        return state;
    }

    WmaJobHost& host_;
    WindowPort& w_;
    encoder::EncoderApp& app_;
    const WmaJobChoice& choice_;
    Objects o_;
    std::string log_;
    bool failed_ = false;
};

bool Job::SetUp() {
    std::shared_ptr<IUnknown> unknown;
    if (SUCCEEDED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWMEncoder,
                                   &unknown)))
        o_.encoder = As<IWMEncoder>(unknown);
    if (!o_.encoder) {
        w_.MessageBox("Error creating IWMEncoder object", "Error", MB_OK);
        w_.EndDialog(IDOK);
        CoUninitialize();
        host_.SetJobRunning(false);
        return false;
    }
    {
        std::lock_guard lock(host_.Shared().mutex);
        host_.Shared().encoder = o_.encoder;
        host_.Shared().batch = choice_.batch;
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
    if (FAILED(o_.profiles->Item(choice_.profileIndex, &o_.profile))) {
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

void Job::Run() {
    CoInitialize(nullptr);
    if (!SetUp()) return;
    host_.SetJobRunning(true);
    const bool cd = choice_.input == "CD-Audio";
    if (!choice_.batch) {
        if (!EncodeFile(choice_.input, choice_.output, false, 0)) return;
        End();
        return;
    }
    std::string outFolder = encoder::OutputFolderOf(choice_.output);
    int n = 0;
    for (;;) {
        w_.Redraw();
        if (host_.CancelRequested()) break;
        int track = 0;
        std::string path = cd ? host_.GrabNextTrack(track) : host_.NextBatchFile();
        ++n;
        int count = app_.batchCount;
        char title[128];
        std::snprintf(title, sizeof title, "Orvane Encoder 2001 - (File %d of %d)", n, count);
        w_.SetText(0, title);
        if (count < 1 || n > count) break;
        w_.SetRange(IDC_STATUS_OVERALLBAR, 0, count * 100);
        w_.SetPos(IDC_STATUS_OVERALLBAR, n * 100);
        w_.SetText(IDC_STATUS_FILECOUNT, std::to_string(count));
        w_.SetText(IDC_STATUS_FILENO, std::to_string(n));
        if (path.empty()) w_.EndDialog(IDOK);
        std::string output;
        if (cd) {
            const encoder::Id3Tag& tag = app_.tagTable[track];
            output = CdTrackOutputName(outFolder, tag.Artist(), tag.Title(), track);
        } else {
            output = BatchOutputName(outFolder, path);
        }
        w_.SetText(IDC_STATUS_INPUT, path);
        w_.SetText(IDC_STATUS_OUTPUT, output);
        if (!EncodeFile(path, output, cd, track)) return;
        if (host_.CancelRequested()) break;
    }
    End();
}

bool Job::EncodeFile(const std::string& input, const std::string& output, bool cd, int track) {
    // Step 5-7: the input's header gives the duration.
    int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Abort("Error: Cannot open the Input File", "");
        return false;
    }
    struct stat info {};
    ::fstat(fd, &info);
    std::int64_t size = info.st_size;
    unsigned char header[44] = {};
    ssize_t got = ::read(fd, header, sizeof header);
    if (got <= 0 || header[0] != 'R' || header[8] != 'W') {
        ::close(fd);
        Abort("Error: Input file is not a Windows PCM WAVE File.", "");
        return false;
    }
    ::close(fd);
    if (encoder::SameFile(input, output)) {
        Abort("Error: The output file cannot be the input file.", "");
        return false;
    }
    int duration = WaveDurationSeconds(header).value_or(DurationFromSize(size));
    w_.SetRange(IDC_STATUS_FILEBAR, 0, duration);
    if (!choice_.batch) w_.SetRange(IDC_STATUS_OVERALLBAR, 0, duration);
    {
        std::lock_guard lock(host_.Shared().mutex);
        host_.Shared().durationSeconds = duration;
    }

    // Step 8-10.
    if (FAILED(o_.source->SetInput(input, "", ""))) {
        Abort("Error setting the input file", "Error");
        return false;
    }
    if (FAILED(o_.groups->put_Active(o_.group))) {
        Abort("Error setting the active source group", "Error");
        return false;
    }
    std::string title, author, copyright, rating, description;
    if (!choice_.batch) {
        title = choice_.title, author = choice_.author, copyright = choice_.copyright;
        rating = choice_.rating, description = choice_.description;
    } else if (cd) {
        const encoder::Id3Tag& tag = app_.tagTable[track];
        title = tag.Title(), author = tag.Artist(), copyright = tag.Artist();
        description = tag.Album();
    }
    HRESULT results[5] = {o_.info->put_Title(title), o_.info->put_Author(author),
                          o_.info->put_Copyright(copyright), o_.info->put_Rating(rating),
                          o_.info->put_Description(description)};
    for (HRESULT hr : results)
        if (FAILED(hr)) {
            Abort("Error setting File Information", "Error");
            return false;
        }
    // The file is written beside its final name and takes that name only once it is whole.
    const std::string temp = output + ".part";
    if (FAILED(o_.file->put_LocalFileName(temp))) {
        Abort("Error setting output file name", "Error");
        return false;
    }

    // Step 11-13.
    o_.encoder->put_AutoStop(VARIANT_TRUE);
    o_.encoder->put_AutoArchive(VARIANT_TRUE);
    o_.encoder->put_EnableStatistics(VARIANT_TRUE);
    Log("Preparing to Start the Encoder...\r\n");
    host_.Wait(kMessagePassMs, [] { return false; });
    // A job cancelled before its encoder started ends without starting it.
    if (host_.CancelRequested()) return true;
    if (FAILED(o_.encoder->PrepareToEncode(VARIANT_TRUE))) {
        std::shared_ptr<IUnknown> unknown;
        std::string text;
        if (o_.encoder->QueryInterface(IID_IErrorInfo, &unknown) == S_OK &&
            SUCCEEDED(As<IErrorInfo>(unknown)->GetDescription(&text)))
            w_.MessageBox(text, "error", MB_OK);
        w_.MessageBox("Error: Prepare to encode failed.", "", MB_ICONERROR);
    }
    if (FAILED(o_.encoder->Start())) w_.MessageBox("Error encoding the file", "Error", MB_OK);
    Log("Encoder was started successfully...\r\n");
    {
        std::lock_guard lock(host_.Shared().mutex);
        host_.Shared().startTime = clock::Time();
    }
    bool cancelled = false;
    for (;;) {
        // The pass ends early when the encoder leaves the running state by itself.
        host_.Wait(kMessagePassMs, [this] { return RunState() != kEncoderRunning; });
        if (RunState() != kEncoderRunning) break;
        if (host_.CancelRequested()) {
            w_.SetWaitCursor(true);
            o_.encoder->Stop();
            w_.SetWaitCursor(false);
            cancelled = true;
            break;
        }
    }
    // A finished or stopped file takes its final name; a failed one was removed.
    HRESULT result = E_FAIL;
    o_.encoder->get_RunResult(&result);
    struct stat part {};
    if (SUCCEEDED(result) && ::stat(temp.c_str(), &part) == 0) {
        if (!host_.ReplaceFile(temp, output)) {
            ::unlink(temp.c_str());
            w_.MessageBox("Error: Cannot write the output file " + output, "", MB_ICONERROR);
            failed_ = true;
        }
    } else {
        ::unlink(temp.c_str());
        failed_ = true;
    }
    if (cancelled) return true;
    int high = duration;
    w_.SetPos(IDC_STATUS_FILEBAR, high);
    if (!choice_.batch) w_.SetPos(IDC_STATUS_OVERALLBAR, high);
    if (choice_.batch) {
        o_.encoder->Stop();
        if (app_.deleteGrabbedWav == 1) ::unlink(input.c_str());
    }
    return true;
}

void Job::End() {
    w_.SetWaitCursor(true);
    host_.Wait(kMessagePassMs, [] { return false; });
    w_.KillTimer(ID_TIMER_WMA);
    clock::Current().SleepMsUnless(2500, [this] { return host_.CancelRequested(); });
    o_.Release(host_);
    CoUninitialize();
    w_.SetWaitCursor(false);
    // Only a job whose every file was written says it finished.
    if (!host_.CancelRequested() && !failed_) w_.MessageBox("Compression Finished.", "", MB_OK);
    host_.SetJobRunning(false);
    w_.SetTimer(ID_TIMER_WMA_END, 500);
}

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

void RunWmaJob(WmaJobHost& host, const WmaJobChoice& choice) {
    Job job(host, choice);
    job.Run();
}

void UpdateWmaStatistics(WmaJobHost& host) {
    WindowPort& w = host.Window();
    WmaJobShared& shared = host.Shared();
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
        w.MessageBox("Error: get_WMFOutputStats Failed.", "", MB_OK);
        return;
    }
    if (FAILED(dispatch->QueryInterface(IID_IWMEncOutputStats, &output))) {
        w.MessageBox("Error: pDispOutputStats->QueryInterface Failed.", "", MB_OK);
        return;
    }
    auto out = As<IWMEncOutputStats>(output);
    long rate = 0, bitrate = 0;
    out->get_CurrentSampleRate(&rate);
    char text[64];
    std::snprintf(text, sizeof text, "  %ld Samples/sec.  ", rate);
    w.SetText(IDC_STATUS_FPS, text);
    std::int64_t fileBytes = 0;
    As<IWMEncFileArchiveStats>(archive)->get_FileSize(&fileBytes);
    if (static_cast<std::uint32_t>(fileBytes) != 0)
        w.SetText(IDC_STATUS_COMPRESSION, "                    -                    ");
    std::int64_t ms = 0;
    stats->get_EncodingTime(&ms);
    int t = static_cast<int>(static_cast<std::uint32_t>(ms) / 1000);
    int pos = t > duration ? duration : t;
    w.SetPos(IDC_STATUS_FILEBAR, pos);
    if (!batch) w.SetPos(IDC_STATUS_OVERALLBAR, pos);
    std::int64_t elapsed = clock::Time() - startTime;
    w.SetText(IDC_STATUS_ELAPSED, encoder::ElapsedText(elapsed));
    w.SetText(IDC_STATUS_REMAINING, RemainingText(duration, elapsed));
    out->get_CurrentBitrate(&bitrate);
    std::snprintf(text, sizeof text, "%ldkbps", bitrate / 1000);
    w.SetText(IDC_STATUS_BITRATE, text);
}

}  // namespace orvane::wma

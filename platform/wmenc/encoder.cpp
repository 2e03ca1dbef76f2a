// The encoder objects over one shared encoder state. Every object keeps the state alive; the
// encoding thread uses it without owning it, and the state's end stops and joins the thread.
#include <sys/stat.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/wmenc/engine.h"
#include "platform/wmenc/objects.h"
#include "platform/wmenc/profiles.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::wmenc {

namespace {

struct GroupData {
    std::string name;
    bool hasAudio = false;
    std::string input;
    std::optional<ProfileData> profile;
};

struct State {
    std::mutex mutex;
    std::condition_variable wake;  // the encoding thread waits here for Stop without AutoStop
    std::vector<std::shared_ptr<GroupData>> groups;
    std::shared_ptr<GroupData> active;
    DisplayTexts texts;
    Attributes attributes;
    std::string output;
    bool autoStop = false, autoArchive = false, statistics = false;
    std::string lastError;

    std::shared_ptr<EncodeSession> session;  // prepared or running
    bool prepared = false;
    std::optional<ProfileData> sessionProfile;
    std::thread thread;
    bool stopRequested = false;
    long runState = kEncoderStopped;
    HRESULT runResult = E_UNEXPECTED;

    ~State() { StopThread(); }

    // Ends a run in progress and joins its thread. Called without the mutex held.
    void StopThread() {
        {
            std::lock_guard lock(mutex);
            stopRequested = true;
            if (runState == kEncoderRunning) runState = kEncoderStopping;
        }
        wake.notify_all();
        if (thread.joinable()) thread.join();
    }

    void SetRunState(long s) {
        {
            std::lock_guard lock(mutex);
            runState = s;
        }
        // Waits that watch the run state look again.
        clock::Current().WakeSleepers();
    }

    // The encoding thread.
    void Run(std::shared_ptr<EncodeSession> s) {
        std::string error;
        HRESULT result = S_OK;
        bool reachedEnd = false;
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (stopRequested) break;
            }
            EncodeSession::Step step = s->Next(&error);
            if (step == EncodeSession::Step::Failed) {
                result = E_FAIL;
                break;
            }
            if (step == EncodeSession::Step::End) {
                reachedEnd = true;
                // The whole input is in the statistics now: waits on them may look again.
                clock::Current().WakeSleepers();
                std::unique_lock lock(mutex);
                if (!autoStop) wake.wait(lock, [this] { return stopRequested; });
                break;
            }
        }
        if (result == S_OK && !s->Finish(&error)) result = E_FAIL;
        if (FAILED(result)) s->Abandon();
        {
            std::lock_guard lock(mutex);
            if (FAILED(result)) lastError = error;
            runResult = FAILED(result) ? result : reachedEnd ? S_OK : S_FALSE;
            prepared = false;
        }
        SetRunState(kEncoderStopped);
    }
};

class ErrorInfo final : public IErrorInfo {
public:
    explicit ErrorInfo(std::string text) : text_(std::move(text)) {}
    HRESULT GetDescription(std::string* text) override {
        if (!text) return E_POINTER;
        *text = text_;
        return S_OK;
    }

private:
    std::string text_;
};

class Profile final : public IWMEncProfile {
public:
    explicit Profile(ProfileData d) : data_(std::move(d)) {}
    const ProfileData& Data() const { return data_; }

    HRESULT get_Name(std::string* name) override {
        if (HRESULT hr = EnterCall("Profile.get_Name"); hr != S_OK) return hr;
        if (!name) return E_POINTER;
        *name = data_.name;
        return S_OK;
    }
    HRESULT get_Bitrate(long* v) override { return Get(v, data_.bitrate); }
    HRESULT get_Channels(long* v) override { return Get(v, data_.channels); }
    HRESULT get_SampleRate(long* v) override { return Get(v, data_.sampleRate); }

private:
    static HRESULT Get(long* out, long value) {
        if (!out) return E_POINTER;
        *out = value;
        return S_OK;
    }
    ProfileData data_;
};

class Profiles final : public IWMEncProfileCollection {
public:
    explicit Profiles(std::vector<ProfileData> list) : list_(std::move(list)) {}
    HRESULT get_Count(long* count) override {
        if (HRESULT hr = EnterCall("Profiles.get_Count"); hr != S_OK) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<long>(list_.size());
        return S_OK;
    }
    HRESULT Item(long index, std::shared_ptr<IWMEncProfile>* profile) override {
        if (HRESULT hr = EnterCall("Profiles.Item"); hr != S_OK) return hr;
        if (!profile) return E_POINTER;
        if (index < 0 || index >= static_cast<long>(list_.size())) return E_INVALIDARG;
        *profile = std::make_shared<Profile>(list_[static_cast<std::size_t>(index)]);
        return S_OK;
    }

private:
    std::vector<ProfileData> list_;
};

class Source final : public IWMEncSource {
public:
    Source(std::shared_ptr<State> st, std::shared_ptr<GroupData> g)
        : st_(std::move(st)), group_(std::move(g)) {}
    HRESULT SetInput(const std::string& input, const std::string& scheme,
                     const std::string& initData) override {
        if (HRESULT hr = EnterCall("Source.SetInput"); hr != S_OK) return hr;
        if (input.empty() || !scheme.empty() || !initData.empty()) return E_INVALIDARG;
        struct stat info;
        if (::stat(input.c_str(), &info) != 0) return E_FILE_NOT_FOUND;
        if (!S_ISREG(info.st_mode)) return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        group_->input = input;
        return S_OK;
    }
    HRESULT get_Input(std::string* input) override {
        if (!input) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        *input = group_->input;
        return S_OK;
    }
    HRESULT get_Type(long* type) override {
        if (!type) return E_POINTER;
        *type = kSourceAudio;
        return S_OK;
    }

private:
    std::shared_ptr<State> st_;
    std::shared_ptr<GroupData> group_;
};

class SourceGroup final : public IWMEncSourceGroup {
public:
    SourceGroup(std::shared_ptr<State> st, std::shared_ptr<GroupData> g)
        : st_(std::move(st)), group_(std::move(g)) {}
    const std::shared_ptr<GroupData>& Data() const { return group_; }

    HRESULT get_Name(std::string* name) override {
        if (!name) return E_POINTER;
        *name = group_->name;
        return S_OK;
    }
    HRESULT AddSource(long type, std::shared_ptr<IWMEncSource>* source) override {
        if (HRESULT hr = EnterCall("SourceGroup.AddSource"); hr != S_OK) return hr;
        if (!source) return E_POINTER;
        if (type != kSourceAudio) return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        if (group_->hasAudio) return E_INVALIDARG;
        group_->hasAudio = true;
        *source = std::make_shared<Source>(st_, group_);
        return S_OK;
    }
    HRESULT put_Profile(const VARIANT& v) override {
        if (HRESULT hr = EnterCall("SourceGroup.put_Profile"); hr != S_OK) return hr;
        auto profile = v.vt == VT_DISPATCH ? As<Profile>(v.pdispVal) : nullptr;
        if (!profile) return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        group_->profile = profile->Data();
        return S_OK;
    }

private:
    std::shared_ptr<State> st_;
    std::shared_ptr<GroupData> group_;
};

class SourceGroups final : public IWMEncSourceGroupCollection {
public:
    explicit SourceGroups(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT Add(const std::string& name, std::shared_ptr<IWMEncSourceGroup>* group) override {
        if (HRESULT hr = EnterCall("SourceGroups.Add"); hr != S_OK) return hr;
        if (!group) return E_POINTER;
        if (name.empty()) return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        for (const auto& g : st_->groups)
            if (g->name == name) return E_INVALIDARG;
        auto data = std::make_shared<GroupData>();
        data->name = name;
        st_->groups.push_back(data);
        *group = std::make_shared<SourceGroup>(st_, data);
        return S_OK;
    }
    HRESULT get_Count(long* count) override {
        if (!count) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        *count = static_cast<long>(st_->groups.size());
        return S_OK;
    }
    HRESULT put_Active(const std::shared_ptr<IWMEncSourceGroup>& group) override {
        if (HRESULT hr = EnterCall("SourceGroups.put_Active"); hr != S_OK) return hr;
        auto ours = std::dynamic_pointer_cast<SourceGroup>(group);
        std::lock_guard lock(st_->mutex);
        if (!ours) return E_INVALIDARG;
        for (const auto& g : st_->groups)
            if (g == ours->Data()) {
                st_->active = g;
                return S_OK;
            }
        return E_INVALIDARG;
    }

private:
    std::shared_ptr<State> st_;
};

class DisplayInfo final : public IWMEncDisplayInfo {
public:
    explicit DisplayInfo(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT put_Title(const std::string& t) override {
        return Put("DisplayInfo.put_Title", &DisplayTexts::title, t);
    }
    HRESULT put_Author(const std::string& t) override {
        return Put("DisplayInfo.put_Author", &DisplayTexts::author, t);
    }
    HRESULT put_Copyright(const std::string& t) override {
        return Put("DisplayInfo.put_Copyright", &DisplayTexts::copyright, t);
    }
    HRESULT put_Rating(const std::string& t) override {
        return Put("DisplayInfo.put_Rating", &DisplayTexts::rating, t);
    }
    HRESULT put_Description(const std::string& t) override {
        return Put("DisplayInfo.put_Description", &DisplayTexts::description, t);
    }

private:
    // The file stores each text with a 16-bit length of UTF-16 bytes.
    static constexpr std::size_t kMaxBytes = 32767;
    HRESULT Put(const char* call, std::string DisplayTexts::*field, const std::string& text) {
        if (HRESULT hr = EnterCall(call); hr != S_OK) return hr;
        if (text.size() > kMaxBytes || text.find('\0') != std::string::npos) return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        st_->texts.*field = text;
        return S_OK;
    }
    std::shared_ptr<State> st_;
};

class EncAttributes final : public IWMEncAttributes {
public:
    explicit EncAttributes(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT Add(const std::string& name, const std::string& value) override {
        if (HRESULT hr = EnterCall("Attributes.Add"); hr != S_OK) return hr;
        // Each is stored with 16-bit lengths of UTF-16 bytes, as the display texts.
        constexpr std::size_t kMaxBytes = 32767;
        if (name.empty() || name.size() > kMaxBytes || value.size() > kMaxBytes ||
            name.find('\0') != std::string::npos || value.find('\0') != std::string::npos)
            return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        for (auto& [held, text] : st_->attributes)
            if (held == name) {
                text = value;
                return S_OK;
            }
        st_->attributes.emplace_back(name, value);
        return S_OK;
    }
    HRESULT RemoveAll() override {
        if (HRESULT hr = EnterCall("Attributes.RemoveAll"); hr != S_OK) return hr;
        std::lock_guard lock(st_->mutex);
        st_->attributes.clear();
        return S_OK;
    }

private:
    std::shared_ptr<State> st_;
};

class File final : public IWMEncFile {
public:
    explicit File(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT put_LocalFileName(const std::string& path) override {
        if (HRESULT hr = EnterCall("File.put_LocalFileName"); hr != S_OK) return hr;
        if (path.empty() || path.back() == '/') return E_INVALIDARG;
        std::lock_guard lock(st_->mutex);
        st_->output = path;
        return S_OK;
    }
    HRESULT get_LocalFileName(std::string* path) override {
        if (!path) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        *path = st_->output;
        return S_OK;
    }

private:
    std::shared_ptr<State> st_;
};

// The current values of a run (zero before the first one).
struct Snapshot {
    std::shared_ptr<EncodeSession> session;
    std::optional<ProfileData> profile;
};

Snapshot Take(State& st) {
    std::lock_guard lock(st.mutex);
    return {st.session, st.sessionProfile};
}

class OutputStats final : public IWMEncOutputStats {
public:
    explicit OutputStats(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT get_CurrentSampleRate(long* rate) override {
        if (!rate) return E_POINTER;
        Snapshot s = Take(*st_);
        *rate = s.profile ? s.profile->sampleRate : 0;
        return S_OK;
    }
    HRESULT get_CurrentBitrate(long* bitrate) override {
        if (!bitrate) return E_POINTER;
        Snapshot s = Take(*st_);
        std::int64_t ms = s.session ? s.session->Progress().payloadMs.load() : 0;
        if (ms > 0)
            *bitrate = static_cast<long>(s.session->Progress().payloadBits * 1000 / ms);
        else
            *bitrate = s.profile ? s.profile->bitrate : 0;
        return S_OK;
    }

protected:
    bool Implements(const GUID& iid) const override {
        return iid == IID_IWMEncOutputStats || IUnknown::Implements(iid);
    }

private:
    std::shared_ptr<State> st_;
};

class FileArchiveStats final : public IWMEncFileArchiveStats {
public:
    explicit FileArchiveStats(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT get_FileSize(std::int64_t* bytes) override {
        if (!bytes) return E_POINTER;
        Snapshot s = Take(*st_);
        *bytes = s.session ? s.session->Progress().fileBytes.load() : 0;
        return S_OK;
    }

protected:
    bool Implements(const GUID& iid) const override {
        return iid == IID_IWMEncFileArchiveStats || IUnknown::Implements(iid);
    }

private:
    std::shared_ptr<State> st_;
};

class Statistics final : public IWMEncStatistics {
public:
    explicit Statistics(std::shared_ptr<State> st) : st_(std::move(st)) {}
    HRESULT get_EncodingTime(std::int64_t* ms) override {
        if (HRESULT hr = EnterCall("Statistics.get_EncodingTime"); hr != S_OK) return hr;
        if (!ms) return E_POINTER;
        Snapshot s = Take(*st_);
        *ms = s.session ? s.session->Progress().encodedMs.load() : 0;
        return S_OK;
    }
    HRESULT get_WMFOutputStats(std::shared_ptr<IUnknown>* stats) override {
        if (HRESULT hr = EnterCall("Statistics.get_WMFOutputStats"); hr != S_OK) return hr;
        if (!stats) return E_POINTER;
        *stats = std::make_shared<OutputStats>(st_);
        return S_OK;
    }
    HRESULT get_FileArchiveStats(std::shared_ptr<IUnknown>* stats) override {
        if (HRESULT hr = EnterCall("Statistics.get_FileArchiveStats"); hr != S_OK) return hr;
        if (!stats) return E_POINTER;
        *stats = std::make_shared<FileArchiveStats>(st_);
        return S_OK;
    }

private:
    std::shared_ptr<State> st_;
};

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

class Encoder final : public IWMEncoder {
public:
    Encoder() : st_(std::make_shared<State>()) {}
    ~Encoder() override { st_->StopThread(); }

    HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>* out) override {
        if (out && iid == IID_IErrorInfo) {
            std::lock_guard lock(st_->mutex);
            if (st_->lastError.empty()) return E_NOINTERFACE;
            *out = std::make_shared<ErrorInfo>(st_->lastError);
            return S_OK;
        }
        return IUnknown::QueryInterface(iid, out);
    }

    HRESULT get_SourceGroupCollection(
        std::shared_ptr<IWMEncSourceGroupCollection>* groups) override {
        if (HRESULT hr = EnterCall("Encoder.get_SourceGroupCollection"); hr != S_OK) return hr;
        if (!groups) return E_POINTER;
        *groups = std::make_shared<SourceGroups>(st_);
        return S_OK;
    }
    HRESULT get_ProfileCollection(std::shared_ptr<IWMEncProfileCollection>* profiles) override {
        if (HRESULT hr = EnterCall("Encoder.get_ProfileCollection"); hr != S_OK) return hr;
        if (!profiles) return E_POINTER;
        std::string folder = RegisteredProfileFolder();
        if (folder.empty()) return REGDB_E_CLASSNOTREG;
        *profiles = std::make_shared<Profiles>(LoadProfiles(folder));
        return S_OK;
    }
    HRESULT get_DisplayInfo(std::shared_ptr<IWMEncDisplayInfo>* info) override {
        if (HRESULT hr = EnterCall("Encoder.get_DisplayInfo"); hr != S_OK) return hr;
        if (!info) return E_POINTER;
        *info = std::make_shared<DisplayInfo>(st_);
        return S_OK;
    }
    HRESULT get_Attributes(std::shared_ptr<IWMEncAttributes>* attributes) override {
        if (HRESULT hr = EnterCall("Encoder.get_Attributes"); hr != S_OK) return hr;
        if (!attributes) return E_POINTER;
        *attributes = std::make_shared<EncAttributes>(st_);
        return S_OK;
    }
    HRESULT get_File(std::shared_ptr<IWMEncFile>* file) override {
        if (HRESULT hr = EnterCall("Encoder.get_File"); hr != S_OK) return hr;
        if (!file) return E_POINTER;
        *file = std::make_shared<File>(st_);
        return S_OK;
    }
    HRESULT get_Statistics(std::shared_ptr<IWMEncStatistics>* stats) override {
        if (HRESULT hr = EnterCall("Encoder.get_Statistics"); hr != S_OK) return hr;
        if (!stats) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        if (!st_->statistics) return E_FAIL;
        *stats = std::make_shared<Statistics>(st_);
        return S_OK;
    }
    HRESULT put_AutoStop(VARIANT_BOOL on) override {
        return SetOption("Encoder.put_AutoStop", &State::autoStop, on);
    }
    HRESULT put_AutoArchive(VARIANT_BOOL on) override {
        return SetOption("Encoder.put_AutoArchive", &State::autoArchive, on);
    }
    HRESULT put_EnableStatistics(VARIANT_BOOL on) override {
        return SetOption("Encoder.put_EnableStatistics", &State::statistics, on);
    }

    HRESULT PrepareToEncode(VARIANT_BOOL prepare) override {
        if (HRESULT hr = EnterCall("Encoder.PrepareToEncode"); hr != S_OK) return hr;
        return Prepare(prepare != VARIANT_FALSE);
    }

    HRESULT Start() override {
        if (HRESULT hr = EnterCall("Encoder.Start"); hr != S_OK) return hr;
        bool prepared;
        {
            std::lock_guard lock(st_->mutex);
            if (st_->runState != kEncoderStopped) return Fail(E_UNEXPECTED, "Already encoding.");
            prepared = st_->prepared;
        }
        if (!prepared)
            if (HRESULT hr = Prepare(true); FAILED(hr)) return hr;
        if (st_->thread.joinable()) st_->thread.join();
        std::lock_guard lock(st_->mutex);
        st_->stopRequested = false;
        st_->runState = kEncoderRunning;
        st_->runResult = E_UNEXPECTED;
        State* state = st_.get();
        std::shared_ptr<EncodeSession> session = st_->session;
        st_->thread = std::thread([state, session] { state->Run(session); });
        return S_OK;
    }

    HRESULT Stop() override {
        if (HRESULT hr = EnterCall("Encoder.Stop"); hr != S_OK) return hr;
        st_->StopThread();
        std::lock_guard lock(st_->mutex);
        // Prepared but never started: the file holds no audio and is not kept.
        if (st_->prepared && st_->session) st_->session->Abandon();
        st_->prepared = false;
        return S_OK;
    }

    HRESULT get_RunState(long* state) override {
        if (HRESULT hr = EnterCall("Encoder.get_RunState"); hr != S_OK) return hr;
        if (!state) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        *state = st_->runState;
        return S_OK;
    }

    HRESULT get_RunResult(HRESULT* result) override {
        if (!result) return E_POINTER;
        std::lock_guard lock(st_->mutex);
        *result = st_->runResult;
        return S_OK;
    }

protected:
    bool Implements(const GUID& iid) const override {
        return iid == IID_IWMEncoder || IUnknown::Implements(iid);
    }

private:
    HRESULT SetOption(const char* call, bool State::*field, VARIANT_BOOL on) {
        if (HRESULT hr = EnterCall(call); hr != S_OK) return hr;
        std::lock_guard lock(st_->mutex);
        (*st_).*field = on != VARIANT_FALSE;
        return S_OK;
    }

    HRESULT Fail(HRESULT hr, const std::string& text) {
        st_->lastError = text;
        return hr;
    }

    HRESULT Prepare(bool prepare) {
        std::unique_lock lock(st_->mutex);
        if (st_->runState != kEncoderStopped) return Fail(E_UNEXPECTED, "Already encoding.");
        if (st_->prepared && st_->session) st_->session->Abandon();
        st_->prepared = false;
        if (!prepare) return S_OK;
        st_->lastError.clear();
        if (!st_->active) return Fail(E_UNEXPECTED, "No source group is active.");
        GroupData& g = *st_->active;
        if (!g.hasAudio || g.input.empty())
            return Fail(E_UNEXPECTED, "The active source group has no input.");
        if (!g.profile) return Fail(E_UNEXPECTED, "The active source group has no profile.");
        if (!st_->autoArchive)
            return Fail(E_UNEXPECTED, "The file output is off: there is nothing to encode to.");
        if (st_->output.empty()) return Fail(E_UNEXPECTED, "No output file is set.");
        if (SameFile(g.input, st_->output))
            return Fail(E_INVALIDARG, "The output file is the input file.");
        EngineSettings settings;
        settings.input = g.input;
        settings.output = st_->output;
        settings.profile = *g.profile;
        settings.texts = st_->texts;
        settings.attributes = st_->attributes;
        lock.unlock();
        auto session = std::make_shared<EncodeSession>();
        std::string error;
        bool ok = session->Open(settings, &error);
        lock.lock();
        if (!ok) return Fail(E_FAIL, error);
        st_->session = std::move(session);
        st_->sessionProfile = settings.profile;
        st_->prepared = true;
        return S_OK;
    }

    std::shared_ptr<State> st_;
};

}  // namespace

HRESULT CreateEncoderObject(std::shared_ptr<IUnknown>* out) {
    if (RegisteredProfileFolder().empty()) return REGDB_E_CLASSNOTREG;
    *out = std::make_shared<Encoder>();
    return S_OK;
}

}  // namespace orvane::wmenc

#include "encoder/freedb/musicbrainz.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

#include "encoder/freedb/http_get.h"
#include "platform/base/command_line.h"
#include "platform/clock/clock.h"

namespace orvane::freedb {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxReplyBytes = 4 << 20;
constexpr std::uint64_t kRequestSpacingMs = 1000;

std::string Text(const Json& object, const char* key) {
    if (!object.is_object()) return {};
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int Number(const Json& object, const char* key) {
    if (!object.is_object()) return 0;
    auto it = object.find(key);
    if (it == object.end()) return 0;
    long long value = 0;
    if (it->is_number_integer())
        value =
            it->is_number_unsigned()
                ? static_cast<long long>(std::min<std::uint64_t>(it->get<std::uint64_t>(), 1000000))
                : it->get<long long>();
    else if (it->is_string())
        value = std::strtoll(it->get<std::string>().c_str(), nullptr, 10);
    // Positions are small; anything else is no position.
    return value > 0 && value < 1000000 ? static_cast<int>(value) : 0;
}

const Json& Member(const Json& object, const char* key) {
    static const Json kNull;
    if (!object.is_object()) return kNull;
    auto it = object.find(key);
    return it == object.end() ? kNull : *it;
}

// An artist credit as the service shows it: each name followed by its join phrase.
std::string Credit(const Json& credit) {
    std::string out;
    if (!credit.is_array()) return out;
    for (const Json& part : credit)
        out += Text(part, "name") + Text(part, "joinphrase");
    return out;
}

bool HoldsDisc(const Json& medium, const std::string& discId) {
    const Json& discs = Member(medium, "discs");
    if (!discs.is_array()) return false;
    for (const Json& d : discs)
        if (Text(d, "id") == discId) return true;
    return false;
}

MbRelease ReleaseOf(const Json& r, const std::string& discId) {
    MbRelease out;
    out.releaseId = Text(r, "id");
    out.title = Text(r, "title");
    out.artist = Credit(Member(r, "artist-credit"));
    out.date = Text(r, "date");
    out.country = Text(r, "country");
    const Json& labels = Member(r, "label-info");
    if (labels.is_array() && !labels.empty()) out.label = Text(Member(labels[0], "label"), "name");
    const Json& media = Member(r, "media");
    if (!media.is_array() || media.empty()) return out;
    out.discCount = static_cast<int>(media.size());
    const Json* medium = nullptr;
    for (const Json& m : media)
        if (HoldsDisc(m, discId)) {
            medium = &m;
            break;
        }
    // A release found by its table of contents alone: its only medium, if it has one.
    if (!medium && media.size() == 1) medium = &media[0];
    if (!medium) return out;
    out.discNumber = Number(*medium, "position");
    const Json& tracks = Member(*medium, "tracks");
    if (!tracks.is_array()) return out;
    for (const Json& t : tracks) {
        MbTrack track;
        track.number = Number(t, "position");
        const Json& recording = Member(t, "recording");
        track.title = Text(t, "title");
        if (track.title.empty()) track.title = Text(recording, "title");
        track.artist = Credit(Member(t, "artist-credit"));
        if (track.artist.empty()) track.artist = Credit(Member(recording, "artist-credit"));
        track.recordingId = Text(recording, "id");
        out.tracks.push_back(std::move(track));
    }
    return out;
}

// Keeps the service's one request per second for the whole process; false when cancelled
// while waiting for the turn.
bool WaitForTurn(const std::function<bool()>& cancelled) {
    static std::mutex mutex;
    static std::uint64_t last = 0;
    static bool any = false;
    std::lock_guard lock(mutex);
    clock::Clock& c = clock::Current();
    // The cancel is asked again every slice: it comes from another thread without waking us.
    constexpr std::uint64_t kSliceMs = 50;
    while (any && c.NowMs() - last < kRequestSpacingMs) {
        if (cancelled && cancelled()) return false;
        const std::uint64_t left = kRequestSpacingMs - (c.NowMs() - last);
        c.SleepMs(static_cast<std::uint32_t>(std::min(left, kSliceMs)));
    }
    last = c.NowMs();
    any = true;
    return true;
}

bool ValidDiscId(const std::string& id) {
    if (id.size() != 28) return false;
    for (char ch : id)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '.' && ch != '_' && ch != '-')
            return false;
    return true;
}

}  // namespace

std::vector<MbRelease> ParseMusicBrainzReply(const std::string& json, const std::string& discId,
                                             std::string& error) {
    std::vector<MbRelease> out;
    Json doc = Json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        error = "the reply is not a JSON object";
        return out;
    }
    const Json& releases = Member(doc, "releases");
    // A disc known only as a stub (no release) has no "releases".
    if (releases.is_null()) return out;
    if (!releases.is_array()) {
        error = "the reply's releases are not a list";
        return out;
    }
    for (const Json& r : releases)
        if (r.is_object()) out.push_back(ReleaseOf(r, discId));
    return out;
}

std::string MusicBrainzUserAgent() {
    return std::string("Plimo/") + ToolkitVersion() + " ( orvane-cddb )";
}

MbLookup LookUpMusicBrainz(const std::string& server, const std::string& discId, unsigned timeoutMs,
                           const std::function<bool()>& cancelled) {
    MbLookup result;
    if (!ValidDiscId(discId)) {
        result.error = "not a MusicBrainz disc id: " + discId;
        return result;
    }
    if (server.rfind("https://", 0) != 0 && server.rfind("http://", 0) != 0) {
        result.error = "the server is no http:// or https:// address: " + server;
        return result;
    }
    const std::string url = net::WithoutTrailingSlash(server) + "/ws/2/discid/" + discId +
                            "?inc=recordings+artist-credits+labels&fmt=json";
    net::HttpRequest request;
    request.url = url;
    request.userAgent = MusicBrainzUserAgent();
    request.headers = {"Accept: application/json"};
    request.timeoutMs = timeoutMs;
    request.maxBytes = kMaxReplyBytes;
    request.maxRedirects = 3;
    request.cancelled = cancelled;
    if (!WaitForTurn(cancelled)) {
        result.error = "cancelled";
        return result;
    }
    const net::HttpReply reply = net::HttpGet(request);
    if (!reply.answered) {
        result.error = reply.tooLarge ? "the reply is longer than 4 MB" : reply.error;
        return result;
    }
    const long status = reply.status;
    const std::uint32_t retryAfter = reply.retryAfterSeconds;
    const std::string& body = reply.body;
    if (status == 404) {
        result.status = MbLookup::Status::NotFound;
        return result;
    }
    if (status == 503) {
        result.retryAfterSeconds = retryAfter;
        result.error = "the server is busy (503)";
        if (retryAfter > 0) result.error += "; try again in " + std::to_string(retryAfter) + " s";
        return result;
    }
    if (status != 200) {
        result.error = "the server answered " + std::to_string(status);
        return result;
    }
    result.releases = ParseMusicBrainzReply(body, discId, result.error);
    if (!result.error.empty()) return result;
    result.status = result.releases.empty() ? MbLookup::Status::NotFound : MbLookup::Status::Found;
    return result;
}

}  // namespace orvane::freedb

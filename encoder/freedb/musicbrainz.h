#pragma once
// The MusicBrainz web service as a second source of names: the releases that hold a disc,
// looked up by the disc's MusicBrainz id over HTTPS (libcurl), the reply read by a JSON parser.
// The service's rules for clients are kept: a User-Agent naming the program and its version,
// and at most one request per second from this process.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/app/service_addresses.h"

namespace orvane::freedb {

struct MbTrack {
    int number = 0;  // position on its medium
    std::string title, artist, recordingId;
};

struct MbRelease {
    std::string releaseId, title, artist, date, country, label;
    int discNumber = 0;  // the medium holding the disc, from 1; 0 when the reply does not say
    int discCount = 0;
    std::vector<MbTrack> tracks;  // of that medium; empty for a release listed without them
};

// The service's default address.
inline constexpr const char* kMusicBrainzServer = encoder::kDefaultMusicBrainzServer;

// The releases of a discid reply (JSON, "inc=recordings+artist-credits+labels"), each with the
// medium that holds discId. Empty with error set when the reply is no such document.
std::vector<MbRelease> ParseMusicBrainzReply(const std::string& json, const std::string& discId,
                                             std::string& error);

struct MbLookup {
    enum class Status { Found, NotFound, Failed };
    Status status = Status::Failed;
    std::vector<MbRelease> releases;
    std::string error;                    // Failed: why, in a line a user may read
    std::uint32_t retryAfterSeconds = 0;  // a 503 reply's Retry-After, 0 when not given
};

// The longest a look-up takes unless told otherwise.
constexpr unsigned kMusicBrainzTimeoutMs = 15000;

// Asks server ("https://host[:port]", a plain "http://" one for mirrors and tests) for the
// releases of discId. Waits first, on the platform clock, until a second has passed since
// this process's previous request. The whole exchange takes at most timeoutMs; `cancelled`,
// when given, is asked while it waits and ends it (error "cancelled") once it answers true.
// The User-Agent every request of this program sends to MusicBrainz and its neighbours.
std::string MusicBrainzUserAgent();

MbLookup LookUpMusicBrainz(const std::string& server, const std::string& discId,
                           unsigned timeoutMs = kMusicBrainzTimeoutMs,
                           const std::function<bool()>& cancelled = {});

}  // namespace orvane::freedb

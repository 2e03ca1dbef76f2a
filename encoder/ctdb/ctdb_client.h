#pragma once
// The disc database's lookup and parity over HTTP (net::HttpGet: bounded in size and time,
// cancellable). The lookup is GET <server>/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=<level>
// &toc=<TOC string> (level none, fast, default or extensive); 404 means no entry. The reply is XML:
// a root <ctdb> in the namespace http://db.cuetools.net/ns/mmd-1.0# holding <entry/> elements with
// the attributes id, crc32 (8 hex digits), confidence, npar, stride (5880), syndrome (base64 of
// column 0's npar 16-bit little-endian syndromes), hasparity (the parity file's address, only with
// a syndrome), trackcrcs (8 hex digits per audio track, space-separated) and toc; an old entry has
// parity in place of syndrome; an entry without attributes is no entry. The parity file is the
// syndromes, for k < npar for every column, 16-bit little-endian, npar x 23520 bytes; its
// first rows are the rows of a smaller npar, so it is asked for with a Range of those bytes.
// Asked with metadata, the reply also holds <metadata/> elements, one per release the database
// knows for the disc (best first): the attributes source, id (the release's id there), artist,
// album, year, genre, discnumber and disccount, and a <track name="" artist=""/> child per
// track; a metadata element without attributes is no release.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/ctdb/ctdb_verify.h"

namespace orvane::ctdb {

constexpr const char* kDefaultCtdbServer = "http://db.cuetools.net";
constexpr std::size_t kMaxCtdbReplyBytes = 1u << 20;
constexpr std::size_t kParityRowBytes = 2 * kStrideWords;
constexpr int kMaxXmlDepth = 16;

constexpr int kMaxCtdbReleases = 100;
constexpr int kMaxCtdbText = 1024;  // characters of one name

enum class CtdbStatus { Found, NotFound, Unavailable };

// What the metadata asked for with a lookup: none, the database's own (fast), or also what it
// gathers from the other databases (default, extensive).
enum class CtdbMetadata { None, Fast, Default, Extensive };

// One release of the disc as the database names it.
struct CtdbRelease {
    std::string source;  // where the database took it from ("musicbrainz", "freedb", ...)
    std::string id;      // the release's id there; may be empty
    std::string artist, album, year, genre;
    int discNumber = 0, discCount = 0;                   // 0: not told
    std::vector<std::string> trackTitles, trackArtists;  // one per audio track of the disc
};

struct CtdbReply {
    CtdbStatus status = CtdbStatus::Unavailable;
    std::string message;  // what was found or what went wrong, one line
    std::vector<CtdbEntry> entries;
    // The releases whose track list fits the disc's audio tracks, in the reply's order.
    std::vector<CtdbRelease> releases;
};

// Reads a lookup reply. audioTracks: the disc's, to take the entries' track CRCs and the
// releases' tracks. A reply that is no well-formed XML of the database's namespace, nests
// deeper than kMaxXmlDepth, holds a DTD, an entry with a malformed field or a release with a
// malformed name (control characters, longer than kMaxCtdbText, a year or disc number that is
// no number) is Unavailable with the reason; no entry is NotFound (its releases kept). A
// release listing another count of tracks is left out.
CtdbReply ParseCtdbReply(const std::string& body, int audioTracks);

// "none" "fast" "default" "extensive"; false for any other name.
const char* CtdbMetadataName(CtdbMetadata level);
bool ParseCtdbMetadata(const std::string& name, CtdbMetadata& level);

// "Plimo/<version> ( orvane-cdda )".
std::string CtdbUserAgent();

// The lookup URL of a TOC string.
std::string CtdbLookupUrl(const std::string& server, const std::string& tocString,
                          CtdbMetadata metadata = CtdbMetadata::None);

// Looks the disc up. No network, a refusal, a time-out, a cancel or a malformed reply is
// Unavailable with the reason; 404 is NotFound. A reply kept for the server and disc
// (KeepCtdbReply) answers without asking again, whatever metadata it was asked with.
CtdbReply LookupCtdb(const std::string& server, const CtdbToc& toc,
                     const std::function<bool()>& cancelled, unsigned timeoutMs = 20000,
                     CtdbMetadata metadata = CtdbMetadata::None);

// Keeps a reply that was answered (found or not) for the rest of the process, so that the
// check of a rip asks the database no second time for the disc its names came from.
void KeepCtdbReply(const std::string& server, const CtdbToc& toc, const CtdbReply& reply);

struct ParityFetch {
    bool ok = false;
    std::string why;
    std::vector<std::uint16_t> rows;  // npar x 11760 syndromes
};

// The parity file's address: hasparity as it stands when absolute, else behind the server.
std::string ParityUrl(const std::string& server, const CtdbEntry& entry);

// Checks a parity answer: 206 with exactly the npar rows asked for, or 200 with the whole file
// of entry.npar rows; column 0 must equal the entry's syndrome.
ParityFetch ParityOfAnswer(long status, const std::string& body, const CtdbEntry& entry, int npar);

// Fetches the first npar rows of entry's parity.
ParityFetch FetchParity(const std::string& server, const CtdbEntry& entry, int npar,
                        const std::function<bool()>& cancelled, unsigned timeoutMs = 30000);

}  // namespace orvane::ctdb

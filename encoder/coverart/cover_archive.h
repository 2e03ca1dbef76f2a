#pragma once
// Where a rip's front cover comes from: a file the user chose, else the cover archive when the
// disc's names came from MusicBrainz (its release id is known). The archive is asked
// `GET <server>/release/<release id>/front-<size>` with the MusicBrainz client's User-Agent; it
// answers with a redirect to the image's real place (followed at most five times), or 404 when
// the release has no front cover. Every failure is a reason, never a failed rip.

#include <functional>
#include <memory>
#include <string>

#include "common/tag_fields.h"

namespace orvane::coverart {

constexpr const char* kArchiveServer = "https://coverartarchive.org";
constexpr int kMaxRedirects = 5;

// The rip's choice of picture, as `--cover` and the grabber's "Cover..." give it.
struct CoverRequest {
    enum class From { Auto, File, None };
    From from = From::Auto;
    std::string file;                     // From::File
    std::string server = kArchiveServer;  // the archive's base address
    std::string size = "1200";            // "250" "500" "1200" "original"
    std::string releaseId;                // empty: the names did not come from MusicBrainz
    unsigned timeoutMs = 20000;           // the whole exchange, redirects included
    std::function<bool()> cancelled;      // ends the wait once true
};

// What was found: a picture with where it came from, or none with why.
struct FoundCover {
    std::shared_ptr<const tags::Picture> picture;
    std::string source = "none";  // "coverartarchive" "file" "none"
    std::string origin;           // the file's path or the image's address
    std::string why;              // no picture: why not (empty when none was asked for)
};

// What is done with a found picture (registry Rip\CoverArt, `--cover-mode`).
enum class CoverMode { EmbedAndFile, Embed, File, None };
// "embed+file" "embed" "file" "none"; false for anything else.
bool ParseCoverMode(const std::string& text, CoverMode& mode);
inline bool Embeds(CoverMode m) { return m == CoverMode::EmbedAndFile || m == CoverMode::Embed; }
inline bool Files(CoverMode m) { return m == CoverMode::EmbedAndFile || m == CoverMode::File; }

// True for "250" "500" "1200" "original".
bool IsCoverSize(const std::string& size);

// The archive's address of the release's front cover; empty (with why) for a release id that
// is not one (MusicBrainz ids are hexadecimal digits and hyphens) or a server that is no
// http(s) address.
std::string FrontCoverUrl(const CoverRequest& request, std::string& why);

// The picture of request: the user's file, else (Auto with a release id) the archive's.
FoundCover FindCover(const CoverRequest& request);

// One line for the log and the terminal: "Cover Art Archive (URL), 500 x 500 pixels, 41210
// bytes" or "none: <why>".
std::string DescribeCover(const FoundCover& found);

}  // namespace orvane::coverart

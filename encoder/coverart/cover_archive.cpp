#include "encoder/coverart/cover_archive.h"

#include "encoder/freedb/http_get.h"
#include "encoder/freedb/musicbrainz.h"
#include "encoder/tags/cover_image.h"

namespace orvane::coverart {

namespace {

bool IsReleaseId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
              c == '-'))
            return false;
    return true;
}

FoundCover None(std::string why) {
    FoundCover found;
    found.why = std::move(why);
    return found;
}

FoundCover FromArchive(const CoverRequest& request) {
    std::string why;
    const std::string url = FrontCoverUrl(request, why);
    if (url.empty()) return None("Cover Art Archive: " + why);
    net::HttpRequest get;
    get.url = url;
    get.userAgent = freedb::MusicBrainzUserAgent();
    get.timeoutMs = request.timeoutMs;
    get.maxBytes = tags::kMaxImageBytes;
    get.maxRedirects = kMaxRedirects;
    get.cancelled = request.cancelled;
    const net::HttpReply reply = net::HttpGet(get);
    const std::string seconds = std::to_string((request.timeoutMs + 999) / 1000);
    if (reply.cancelled) return None("Cover Art Archive: cancelled");
    if (reply.timedOut) return None("Cover Art Archive: no answer within " + seconds + " s");
    if (reply.tooManyRedirects) return None("Cover Art Archive: more than 5 redirects from " + url);
    if (reply.tooLarge) return None("Cover Art Archive: the image is larger than 16 MiB");
    if (!reply.answered || !reply.error.empty())
        return None("Cover Art Archive: " + (reply.error.empty() ? "no answer" : reply.error));
    if (reply.status == 404) return None("Cover Art Archive: the release has no front cover");
    if (reply.status != 200)
        return None("Cover Art Archive: the server answered " + std::to_string(reply.status));
    auto picture = std::make_shared<tags::Picture>();
    if (!tags::AcceptImage(reply.body, *picture, why)) return None("Cover Art Archive: " + why);
    FoundCover found;
    found.picture = std::move(picture);
    found.source = "coverartarchive";
    found.origin = reply.finalUrl.empty() ? url : reply.finalUrl;
    return found;
}

}  // namespace

bool ParseCoverMode(const std::string& text, CoverMode& mode) {
    if (text == "embed+file") {
        mode = CoverMode::EmbedAndFile;
    } else if (text == "embed") {
        mode = CoverMode::Embed;
    } else if (text == "file") {
        mode = CoverMode::File;
    } else if (text == "none") {
        mode = CoverMode::None;
    } else {
        return false;
    }
    return true;
}

bool IsCoverSize(const std::string& size) {
    return size == "250" || size == "500" || size == "1200" || size == "original";
}

std::string FrontCoverUrl(const CoverRequest& request, std::string& why) {
    if (!IsReleaseId(request.releaseId)) {
        why = "\"" + request.releaseId + "\" is no release id";
        return {};
    }
    if (!net::IsHttpUrl(request.server)) {
        why = "\"" + request.server + "\" is no http:// or https:// address";
        return {};
    }
    const std::string size = IsCoverSize(request.size) ? request.size : "1200";
    return net::WithoutTrailingSlash(request.server) + "/release/" + request.releaseId +
           (size == "original" ? "/front" : "/front-" + size);
}

FoundCover FindCover(const CoverRequest& request) {
    switch (request.from) {
        case CoverRequest::From::None:
            return None("");
        case CoverRequest::From::File: {
            auto picture = std::make_shared<tags::Picture>();
            std::string why;
            if (!tags::ReadImageFile(request.file, *picture, why)) return None(why);
            FoundCover found;
            found.picture = std::move(picture);
            found.source = "file";
            found.origin = request.file;
            return found;
        }
        case CoverRequest::From::Auto:
            break;
    }
    if (request.releaseId.empty()) return None("the names did not come from MusicBrainz");
    return FromArchive(request);
}

std::string DescribeCover(const FoundCover& found) {
    if (!found.picture) return found.why.empty() ? "none" : "none: " + found.why;
    const tags::Picture& p = *found.picture;
    const std::string where = found.source == "file" ? "file" : "Cover Art Archive";
    return where + " (" + found.origin + "), " + std::to_string(p.width) + " x " +
           std::to_string(p.height) + " pixels, " + std::to_string(p.bytes.size()) + " bytes";
}

}  // namespace orvane::coverart

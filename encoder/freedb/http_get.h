#pragma once
// One HTTP GET over libcurl for every web service the programs ask (MusicBrainz, and any other
// database or archive): bounded in size and time, cancellable, redirects counted, the caller's
// User-Agent and headers. The body is kept up to a cap and the transfer ends when the cap is
// passed, so no reply is read into memory unbounded.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvane::net {

struct HttpRequest {
    std::string url;                   // http:// or https://
    std::string userAgent;             // sent as it is
    std::vector<std::string> headers;  // whole header lines: "Accept: application/json"
    unsigned timeoutMs = 15000;        // the whole exchange, redirects included
    std::size_t maxBytes = 4u << 20;   // a longer body ends the transfer (tooLarge)
    long maxRedirects = 3;             // 0: a redirect is the answer, not followed
    std::function<bool()> cancelled;   // asked while it waits; true ends the transfer
};

struct HttpReply {
    bool answered = false;    // an HTTP status arrived (even 404 or 500)
    long status = 0;          // the last answer's status
    std::string body;         // at most maxBytes
    std::string contentType;  // the last answer's Content-Type, as sent
    std::string finalUrl;     // where the body came from after redirects
    bool tooLarge = false;    // the body passed maxBytes
    bool cancelled = false;
    bool timedOut = false;
    bool tooManyRedirects = false;
    std::uint32_t retryAfterSeconds = 0;  // a Retry-After header in seconds (capped at one day)
    std::string error;                    // when !answered or the transfer broke: why, in words
};

// A plain GET of request.url. Never throws; the reply says what happened.
HttpReply HttpGet(const HttpRequest& request);

// "https://host/" less its trailing slashes: the base a service's paths are put behind.
std::string WithoutTrailingSlash(std::string url);

// True for an address that starts with http:// or https://.
bool IsHttpUrl(const std::string& url);

}  // namespace orvane::net

#include "encoder/freedb/http_get.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <curl/curl.h>

namespace orvane::net {
namespace {

struct Transfer {
    std::string* body;
    std::size_t maxBytes;
    bool tooLarge = false;
};

std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (t->body->size() + bytes > t->maxBytes) {
        t->tooLarge = true;
        return 0;  // ends the transfer as an error
    }
    t->body->append(data, bytes);
    return bytes;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every header line of every answer passes here; a redirect's headers come first, so the last
// answer's values are the ones left.
std::size_t KeepHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<HttpReply*>(user);
    const std::string line(data, size * count);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        const std::string name = Lower(line.substr(0, colon));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.erase(value.begin());
        while (!value.empty() &&
               (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
            value.pop_back();
        if (name == "retry-after") {
            const unsigned long seconds = std::strtoul(value.c_str(), nullptr, 10);
            reply->retryAfterSeconds =
                static_cast<std::uint32_t>(std::min<unsigned long>(seconds, 86400));
        } else if (name == "content-type") {
            reply->contentType = value;
        }
    } else if (line.rfind("HTTP/", 0) == 0) {
        reply->contentType.clear();  // a new answer begins
    }
    return size * count;
}

// libcurl's progress hook: a non-zero answer ends the transfer.
int AskCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancelled = static_cast<const std::function<bool()>*>(user);
    return (*cancelled && (*cancelled)()) ? 1 : 0;
}

}  // namespace

std::string WithoutTrailingSlash(std::string url) {
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

bool IsHttpUrl(const std::string& url) {
    return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

HttpReply HttpGet(const HttpRequest& request) {
    HttpReply reply;
    if (!IsHttpUrl(request.url)) {
        reply.error = "the address is no http:// or https:// address: " + request.url;
        return reply;
    }
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        reply.error = "the HTTP client cannot start";
        return reply;
    }
    curl_slist* headers = nullptr;
    for (const std::string& line : request.headers)
        headers = curl_slist_append(headers, line.c_str());
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
    Transfer transfer{&reply.body, request.maxBytes};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    if (!request.userAgent.empty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, request.maxRedirects);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, KeepHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, AskCancelled);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &request.cancelled);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
    char* where = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &where) == CURLE_OK && where)
        reply.finalUrl = where;
    reply.tooLarge = transfer.tooLarge;
    if (code == CURLE_OK) {
        reply.answered = true;
        return reply;
    }
    reply.answered = false;
    reply.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
    reply.timedOut = code == CURLE_OPERATION_TIMEDOUT;
    reply.tooManyRedirects = code == CURLE_TOO_MANY_REDIRECTS;
    reply.error = reply.cancelled ? "cancelled" : std::string(curl_easy_strerror(code));
    return reply;
}

}  // namespace orvane::net

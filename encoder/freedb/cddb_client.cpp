#include "encoder/freedb/cddb_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/clock/clock.h"
#include "platform/shell/sysinfo.h"

namespace orvane::freedb {

namespace {

constexpr std::uint32_t kSliceMs = 50;  // longest wait between two idle calls

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool IsSpaceChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpaceChar(s[b]))
        ++b;
    while (e > b && IsSpaceChar(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A host name or address the client is willing to put into a request line and a header.
bool SafeHost(const std::string& host) {
    if (host.empty() || host.size() > 255) return false;
    for (unsigned char c : host) {
        if (!IsAlnum(c) && c != '.' && c != '-' && c != '_' && c != ':' && c != '[' && c != ']')
            return false;
    }
    return true;
}

int WsaFromErrno(int e) {
    switch (e) {
        case ECONNREFUSED:
            return kWsaEconnrefused;
        case ETIMEDOUT:
            return kWsaEtimedout;
        case ECONNRESET:
        case EPIPE:
            return kWsaEconnreset;
        case ENETUNREACH:
            return 10051;  // WSAENETUNREACH
        case EHOSTUNREACH:
            return 10065;  // WSAEHOSTUNREACH
        case EADDRNOTAVAIL:
            return 10049;  // WSAEADDRNOTAVAIL
        case EMFILE:
        case ENFILE:
            return 10024;  // WSAEMFILE
        case ENOBUFS:
        case ENOMEM:
            return kWsaEnobufs;
        default:
            return 10050;  // WSAENETDOWN
    }
}

// Lines of a reply end in CRLF or in LF alone; servers and proxies send either.

// Where the body starts, after the empty line that ends the HTTP header; npos before it.
std::size_t BodyStart(std::string_view text, std::size_t from) {
    for (std::size_t nl = text.find('\n', from); nl != std::string_view::npos;
         nl = text.find('\n', nl + 1)) {
        if (nl + 1 < text.size() && text[nl + 1] == '\n') return nl + 2;
        if (nl + 2 < text.size() && text[nl + 1] == '\r' && text[nl + 2] == '\n') return nl + 3;
    }
    return std::string_view::npos;
}

// Where the line end before a list's closing "." line begins; npos while that line is not
// complete. Once the server has closed, a "." at the very end needs no line end of its own.
std::size_t ListEnd(std::string_view text, std::size_t from, bool closed) {
    for (std::size_t nl = text.find("\n.", from); nl != std::string_view::npos;
         nl = text.find("\n.", nl + 1)) {
        const std::string_view rest = text.substr(nl + 2);
        if (rest.starts_with("\n") || rest.starts_with("\r\n") ||
            (closed && (rest.empty() || rest == "\r"))) {
            return nl > 0 && text[nl - 1] == '\r' ? nl - 1 : nl;
        }
    }
    return std::string_view::npos;
}

bool UsesRealTime() { return dynamic_cast<clock::SystemClock*>(&clock::Current()) != nullptr; }

// The host part of an absolute URL and of the Host header: the port only when it is not 80.
std::string HostAndPort(const FreeDBSite& site) {
    std::string host = site.host;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    if (site.port != 80) host += ":" + std::to_string(site.port);
    return host;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Disc identifier

DiscLayout DiscLayout::FromLbas(const std::vector<std::uint32_t>& trackLbas,
                                std::uint32_t leadOutLba) {
    DiscLayout d;
    for (std::uint32_t lba : trackLbas)
        d.offsets.push_back(lba + 150);
    d.leadOut = leadOutLba + 150;
    return d;
}

DiscLayout DiscLayout::Of(const cdrom::DiscInfo& disc) {
    return FromLbas(disc.Starts(), disc.leadOut);
}

int DigitSum(long value) {
    int sum = 0;
    while (value > 0) {
        sum += static_cast<int>(value % 10);
        value /= 10;
    }
    return sum;
}

std::uint32_t ComputeDiscId(const DiscLayout& disc) {
    if (disc.offsets.empty()) return 0;
    long n = 0;
    for (std::uint32_t offset : disc.offsets)
        n += DigitSum(offset / 75);
    const std::uint32_t first = disc.offsets.front() / 75;
    const std::uint32_t end = disc.leadOut / 75;
    const std::uint32_t t = end > first ? end - first : 0;
    return (static_cast<std::uint32_t>(n % 255) << 24) | ((t & 0xFFFF) << 8) |
           static_cast<std::uint32_t>(disc.offsets.size() & 0xFF);
}

// ---------------------------------------------------------------------------------------------
// Text helpers

int ResponseCode(const std::string& text) {
    if (text.size() < 3) return -1;
    if (!IsDigit(text[0]) || !IsDigit(text[1]) || !IsDigit(text[2])) return -1;
    return (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
}

bool ReplyBody(const std::string& reply, std::string& body) {
    const std::size_t start = BodyStart(reply, 0);
    if (start == std::string::npos) return false;
    body = reply.substr(start);
    return true;
}

std::string Base64(const std::string& bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t v = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t v = at(i) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t v = (at(i) << 16) | (at(i + 1) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string PercentEncode(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (IsAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string HelloWord(const std::string& text) {
    if (text.empty()) return "Unknown";
    std::string out = text;
    for (char& c : out)
        if (!IsAlnum(static_cast<unsigned char>(c))) c = '_';
    return out;
}

std::string FirstLine(const std::string& text) {
    std::size_t nl = text.find('\n');
    std::string line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// ---------------------------------------------------------------------------------------------
// Reply lines

namespace {

// Splits off the next field at a run of spaces; false when there is no space left.
bool NextField(const std::string& line, std::size_t& at, std::string& field) {
    std::size_t space = line.find(' ', at);
    if (space == std::string::npos) return false;
    field = line.substr(at, space - at);
    at = space;
    while (at < line.size() && line[at] == ' ')
        ++at;
    return true;
}

// "N037.47": hemisphere letter, three digits of degrees, a point, two digits of minutes.
bool ParseCoordinate(const std::string& field, char positive, char negative, int& flag,
                     int& minutes) {
    if (field.size() != 7) return false;
    if (field[0] != positive && field[0] != negative) return false;
    for (int i : {1, 2, 3, 5, 6})
        if (!IsDigit(field[i])) return false;
    flag = field[0] == positive ? 1 : 0;
    minutes = std::atoi(field.substr(1, 3).c_str()) * 60 + std::atoi(field.substr(5, 2).c_str());
    return true;
}

}  // namespace

bool ParseSiteLine(const std::string& raw, FreeDBSite& site) {
    const std::string line = FirstLine(raw);
    std::size_t at = 0;
    std::string host, protocol, port, path, latitude, longitude;
    if (!NextField(line, at, host) || !NextField(line, at, protocol) ||
        !NextField(line, at, port) || !NextField(line, at, path) ||
        !NextField(line, at, latitude) || !NextField(line, at, longitude)) {
        return false;
    }
    if (Lower(protocol) != "http" || !SafeHost(host)) return false;
    FreeDBSite s;
    s.host = host;
    s.port = std::atoi(port.c_str());
    s.cgiPath = path;
    if (!ParseCoordinate(latitude, 'N', 'S', s.north, s.latitude)) return false;
    if (!ParseCoordinate(longitude, 'E', 'W', s.east, s.longitude)) return false;
    s.description = DecodeText(line.substr(at));
    if (s.description.empty()) return false;
    site = std::move(s);
    return true;
}

bool ParseMatchLine(const std::string& raw, FreeDBMatch& match) {
    const std::string line = FirstLine(raw);
    std::size_t at = 0;
    std::string category, id;
    if (!NextField(line, at, category) || !NextField(line, at, id)) return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(id.c_str(), &end, 16);
    if (id.empty() || end == id.c_str()) return false;
    FreeDBMatch m;
    m.category = DecodeText(category);
    m.discId = static_cast<std::uint32_t>(value);
    const std::string title = DecodeText(line.substr(at));
    if (std::size_t slash = title.find('/'); slash != std::string::npos) {
        m.artist = Trim(title.substr(0, slash));
        m.title = Trim(title.substr(slash + 1));
    } else {
        m.title = title;
    }
    match = std::move(m);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The client

CFreeDBClient::CFreeDBClient() = default;

void CFreeDBClient::SetProxy(const std::string& host, int port, const std::string& user,
                             const std::string& password) {
    proxyHost_ = host;
    proxyPort_ = port;
    proxyUser_ = user;
    proxyPassword_ = password;
}

void CFreeDBClient::SetClient(const std::string& name, const std::string& version, int protocol) {
    clientName_ = name;
    clientVersion_ = version;
    protocol_ = protocol;
}

std::string CFreeDBClient::SystemUserName() { return shell::UserName(); }
std::string CFreeDBClient::SystemHostName() { return shell::HostName(); }

std::string CFreeDBClient::UserNameForHello() {
    if (std::size_t atSign = email_.rfind('@'); atSign != std::string::npos && atSign > 0) {
        return PercentEncode(email_.substr(0, atSign));
    }
    return HelloWord(SystemUserName());
}

std::string CFreeDBClient::HostNameForHello() {
    if (std::size_t atSign = email_.rfind('@');
        atSign != std::string::npos && atSign > 0 && atSign + 1 < email_.size()) {
        return PercentEncode(email_.substr(atSign + 1));
    }
    return HelloWord(SystemHostName());
}

namespace {

// One word of the hello: the server splits the decoded hello at spaces, so a space inside a
// configured name becomes '_'; everything else is percent-encoded as needed.
std::string HelloToken(std::string text) {
    for (char& c : text)
        if (IsSpaceChar(c)) c = '_';
    return PercentEncode(text);
}

}  // namespace

std::string CFreeDBClient::BuildHello() {
    return "hello=" + UserNameForHello() + "+" + HostNameForHello() + "+" +
           HelloToken(clientName_) + "+" + HelloToken(clientVersion_) +
           "&proto=" + std::to_string(protocol_);
}

std::string CFreeDBClient::BuildRequest(const FreeDBSite& site, const std::string& query) {
    const std::string target = site.cgiPath + "?" + query + "&" + BuildHello();
    const std::string host = HostAndPort(site);
    if (proxyHost_.empty()) {
        return "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
    }
    std::string header = "Host: " + host;
    if (!proxyUser_.empty()) {
        header = "Proxy-Authorization: Basic " + Base64(proxyUser_ + ":" + proxyPassword_) +
                 "\r\n" + header;
    }
    return "GET http://" + host + target + " HTTP/1.0\r\n" + header + "\r\n\r\n";
}

bool CFreeDBClient::Idle() {
    if (idle_ && idle_()) {
        lastError_ = kWsaEintr;
        return true;
    }
    return false;
}

void CFreeDBClient::StartExchange(std::uint32_t limitMs) {
    deadline_ = clock::Current().NowMs() + limitMs;
}

bool CFreeDBClient::Overdue() {
    if (clock::Current().NowMs() < deadline_) return false;
    lastError_ = kWsaEtimedout;
    return true;
}

std::uint32_t CFreeDBClient::Left(std::uint32_t cap) {
    const std::uint64_t now = clock::Current().NowMs();
    if (now >= deadline_) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(cap, deadline_ - now));
}

int CFreeDBClient::WaitFd(int fd, bool forWrite, std::uint32_t ms) {
    pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const bool real = UsesRealTime();
    int r;
    do {
        r = ::poll(&p, 1, real ? static_cast<int>(ms) : 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        lastError_ = WsaFromErrno(errno);
        return -1;
    }
    if (r == 0 && !real) clock::Current().SleepMs(ms);
    return r > 0 ? 1 : 0;
}

bool CFreeDBClient::Connect(int& fd, const std::string& host, int port) {
    fd = -1;
    if (!SafeHost(host) || port <= 0 || port > 65535) {
        lastError_ = kWsaEinval;
        return false;
    }
    const std::string service = std::to_string(port);
    std::string bare = host;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    // A dotted (or IPv6) address is used as it stands; a name is looked up on a helper
    // thread so that the wait stays cancellable.
    if (::getaddrinfo(bare.c_str(), service.c_str(), &hints, &list) != 0) {
        list = nullptr;
        struct Lookup {
            std::mutex mutex;
            std::condition_variable done;
            bool finished = false;
            bool abandoned = false;
            int rc = 0;
            addrinfo* result = nullptr;
        };
        auto state = std::make_shared<Lookup>();
        hints.ai_flags = AI_NUMERICSERV;
        std::thread([state, bare, service, hints] {
            addrinfo* result = nullptr;
            int rc = ::getaddrinfo(bare.c_str(), service.c_str(), &hints, &result);
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->abandoned) {
                if (rc == 0) ::freeaddrinfo(result);
            } else {
                state->rc = rc;
                state->result = result;
            }
            state->finished = true;
            state->done.notify_all();
        }).detach();
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(state->mutex);
                if (state->done.wait_for(lock, std::chrono::milliseconds(kSliceMs),
                                         [&] { return state->finished; })) {
                    break;
                }
            }
            if (Idle() || Overdue()) {
                std::lock_guard<std::mutex> lock(state->mutex);
                if (state->finished) {
                    if (state->rc == 0) ::freeaddrinfo(state->result);
                } else {
                    state->abandoned = true;
                }
                return false;
            }
        }
        if (state->rc != 0 || !state->result) {
            lastError_ = kWsaEinval;
            return false;
        }
        list = state->result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, ::freeaddrinfo);
    lastError_ = kWsaEconnrefused;
    for (addrinfo* a = list; a; a = a->ai_next) {
        int s =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (s < 0) {
            lastError_ = WsaFromErrno(errno);
            continue;
        }
        if (::connect(s, a->ai_addr, a->ai_addrlen) == 0) {
            fd = s;
            lastError_ = 0;
            return true;
        }
        if (errno != EINPROGRESS) {
            lastError_ = WsaFromErrno(errno);
            ::close(s);
            continue;
        }
        const std::uint64_t start = clock::Current().NowMs();
        bool connected = false, failed = false;
        while (!connected && !failed) {
            const std::uint64_t waited = clock::Current().NowMs() - start;
            if (waited >= kConnectTimeoutMs || Overdue()) {
                lastError_ = kWsaEtimedout;
                failed = true;
                break;
            }
            int r = WaitFd(s, true,
                           Left(static_cast<std::uint32_t>(
                               std::min<std::uint64_t>(kSliceMs, kConnectTimeoutMs - waited))));
            if (r < 0) {
                failed = true;
            } else if (r > 0) {
                int err = 0;
                socklen_t len = sizeof err;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
                if (err == 0) {
                    connected = true;
                } else {
                    lastError_ = WsaFromErrno(err);
                    failed = true;
                }
            } else if (Idle()) {
                ::close(s);
                return false;
            }
        }
        if (connected) {
            fd = s;
            lastError_ = 0;
            return true;
        }
        ::close(s);
    }
    return false;
}

bool CFreeDBClient::SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    const std::uint64_t start = clock::Current().NowMs();
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            lastError_ = WsaFromErrno(errno);
            return false;
        }
        if (clock::Current().NowMs() - start > timeoutMs_ || Overdue()) {
            lastError_ = kWsaEtimedout;
            return false;
        }
        if (WaitFd(fd, true, Left(kSliceMs)) < 0) return false;
        if (Idle()) return false;
    }
    return true;
}

bool CFreeDBClient::ReceiveResponse(int fd, Mode /*mode*/, std::string& out) {
    out.clear();
    std::string text;
    std::uint64_t lastData = clock::Current().NowMs();
    std::size_t headerEnd = std::string::npos;  // where the body starts
    std::size_t scanned = 0;                    // terminator search resumes here
    bool closed = false;
    char chunk[16384];
    const auto give = [&](bool ok) {
        if (ok) {
            out = std::move(text);
        } else {
            lastReply_ = text;
        }
        return ok;
    };
    for (;;) {
        // A one-line reply is complete once its line has arrived (or the server closed):
        // only codes 210..219 are followed by a list that ends in the terminator.
        if (headerEnd != std::string::npos) {
            const std::string_view body(text.data() + headerEnd, text.size() - headerEnd);
            const bool lineDone = body.find('\n') != std::string_view::npos;
            if (lineDone || closed) {
                int code = ResponseCode(std::string(body.substr(0, 3)));
                if (code < 210 || code > 219) {
                    if (code >= 0 || closed) return give(true);
                }
            }
            const std::size_t end = ListEnd(text, std::max(scanned, headerEnd), closed);
            if (end != std::string::npos) {
                text.resize(end);
                return give(true);
            }
            // "\n.\r" may still be completed by the next data.
            scanned = text.size() >= 3 ? text.size() - 3 : 0;
        }
        if (closed) {
            lastError_ = kWsaEconnreset;
            return give(false);
        }
        if (text.size() >= kMaxReplyBytes) {
            lastError_ = kWsaEnobufs;
            return give(false);
        }
        const std::uint64_t silent = clock::Current().NowMs() - lastData;
        if (silent > timeoutMs_ || Overdue()) {
            lastError_ = kWsaEtimedout;
            return give(false);
        }
        const std::uint32_t wait = Left(
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kSliceMs, timeoutMs_ - silent + 1)));
        int ready = WaitFd(fd, false, wait);
        if (ready < 0) return give(false);
        if (ready == 0) {
            if (Idle()) return give(false);
            continue;
        }
        const std::size_t room = std::min(sizeof chunk, kMaxReplyBytes - text.size());
        ssize_t got = ::recv(fd, chunk, room, 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            lastError_ = WsaFromErrno(errno);
            return give(false);
        }
        if (got == 0) {
            closed = true;
        } else {
            // The string grows geometrically; the search for the header end resumes near
            // where it stopped.
            const std::size_t before = text.size();
            text.append(chunk, static_cast<std::size_t>(got));
            lastData = clock::Current().NowMs();
            if (headerEnd == std::string::npos)
                headerEnd = BodyStart(text, before >= 2 ? before - 2 : 0);
        }
        if (Idle()) return give(false);
    }
}

bool CFreeDBClient::Exchange(const FreeDBSite& site, const std::string& query, Mode mode,
                             std::string& reply) {
    lastError_ = 0;
    readerError_ = 0;
    refusal_.clear();
    reply.clear();
    if (!SafeHost(site.host)) {
        lastError_ = kWsaEinval;
        return false;
    }
    int fd = -1;
    const bool proxied = !proxyHost_.empty();
    StartExchange(exchangeLimitMs_);
    if (!Connect(fd, proxied ? proxyHost_ : site.host, proxied ? proxyPort_ : site.port)) {
        return false;
    }
    bool ok = SendAll(fd, BuildRequest(site, query));
    if (ok && !ReceiveResponse(fd, mode, reply)) {
        ok = false;
        // A reply that could not be read whole is reported as unreadable; a cancel stays one.
        readerError_ = lastError_;
        if (lastError_ != kWsaEintr) {
            if (!lastReply_.empty()) NoteRefusal(lastReply_);
            lastError_ = kWsaEprotonosupport;
        }
    }
    ::close(fd);
    return ok;
}

bool CFreeDBClient::ReceiveAll(int fd, std::size_t maxBytes, std::string& out) {
    out.clear();
    char chunk[16384];
    for (;;) {
        if (Overdue()) return false;
        const int ready = WaitFd(fd, false, Left(kSliceMs));
        if (ready < 0) return false;
        if (ready > 0) {
            // One byte more than allowed tells a reply that is too large from one that fits.
            const std::size_t room = std::min(sizeof chunk, maxBytes + 1 - out.size());
            const ssize_t got = ::recv(fd, chunk, room, 0);
            if (got == 0) return true;
            if (got < 0) {
                if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                    lastError_ = WsaFromErrno(errno);
                    return false;
                }
            } else {
                out.append(chunk, static_cast<std::size_t>(got));
                if (out.size() > maxBytes) {
                    lastError_ = kWsaEnobufs;
                    return false;
                }
            }
        }
        if (Idle()) return false;
    }
}

bool CFreeDBClient::Fetch(const FreeDBSite& site, const std::string& target, std::size_t maxBytes,
                          std::string& reply) {
    lastError_ = 0;
    readerError_ = 0;
    refusal_.clear();
    reply.clear();
    if (!SafeHost(site.host) || target.empty() || target.front() != '/' ||
        target.find_first_of(" \r\n") != std::string::npos) {
        lastError_ = kWsaEinval;
        return false;
    }
    const bool proxied = !proxyHost_.empty();
    const std::string host = HostAndPort(site);
    std::string request = "GET " + (proxied ? "http://" + host : std::string()) + target +
                          " HTTP/1.0\r\nHost: " + host + "\r\n";
    if (proxied && !proxyUser_.empty())
        request +=
            "Proxy-Authorization: Basic " + Base64(proxyUser_ + ":" + proxyPassword_) + "\r\n";
    request += "\r\n";
    int fd = -1;
    StartExchange(timeoutMs_);
    if (!Connect(fd, proxied ? proxyHost_ : site.host, proxied ? proxyPort_ : site.port))
        return false;
    const bool ok = SendAll(fd, request) && ReceiveAll(fd, maxBytes, reply);
    ::close(fd);
    if (!ok) reply.clear();
    return ok;
}

void CFreeDBClient::NoteRefusal(const std::string& reply) {
    std::string body;
    const bool hasBody = ReplyBody(reply, body);
    const int code = hasBody ? ResponseCode(body) : -1;
    std::string line;
    if (code >= 400 && code <= 599) {
        line = FirstLine(body);
    } else if (code < 0) {
        // Not a CDDB answer at all: a proxy's or web server's own refusal or redirection.
        const std::string status = FirstLine(reply);
        std::size_t space = status.find(' ');
        if (status.rfind("HTTP/", 0) == 0 && space != std::string::npos &&
            ResponseCode(status.substr(space + 1)) >= 300) {
            line = status;
        }
    }
    line = DecodeText(line);
    if (line.size() > 200) line.resize(200);
    refusal_ = line;
}

bool CFreeDBClient::QuerySites(const FreeDBSite& site, std::vector<FreeDBSite>& out) {
    std::string reply;
    if (!Exchange(site, "cmd=sites", Mode::List, reply)) return false;
    lastReply_ = reply;
    std::string body;
    const int code = ReplyBody(reply, body) ? ResponseCode(body) : -1;
    if (code < 210 || code > 219) {
        NoteRefusal(reply);
        lastError_ = kWsaEprotonosupport;
        return false;
    }
    out.clear();
    std::size_t at = body.find('\n');
    while (at != std::string::npos && out.size() < kMaxListRows) {
        std::size_t next = body.find('\n', at + 1);
        FreeDBSite s;
        if (ParseSiteLine(
                body.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1),
                s)) {
            out.push_back(std::move(s));
        }
        at = next;
    }
    lastReply_.clear();
    return true;
}

bool CFreeDBClient::QueryDisc(const FreeDBSite& site, std::uint32_t discId, const DiscLayout& disc,
                              std::vector<FreeDBMatch>& out) {
    out.clear();
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(discId));
    std::string query =
        std::string("cmd=cddb+query+") + id + "+" + std::to_string(disc.offsets.size()) + "+";
    for (std::size_t i = 0; i < disc.offsets.size(); ++i) {
        if (i) query += "+";
        query += std::to_string(disc.offsets[i]);
    }
    query += "+" + std::to_string(disc.Seconds());
    std::string reply;
    if (!Exchange(site, query, Mode::SingleOrList, reply)) return false;
    std::string body;
    ReplyBody(reply, body);
    lastReply_ = body;
    const int code = ResponseCode(body);
    if (code >= 210 && code <= 219) {
        std::size_t at = body.find('\n');
        while (at != std::string::npos && out.size() < kMaxListRows) {
            std::size_t next = body.find('\n', at + 1);
            FreeDBMatch m;
            if (ParseMatchLine(body.substr(at + 1, next == std::string::npos ? std::string::npos
                                                                             : next - at - 1),
                               m)) {
                out.push_back(std::move(m));
            }
            at = next;
        }
        lastReply_.clear();
    } else if (code == 200) {
        FreeDBMatch m;
        if (body.size() <= 5 || !ParseMatchLine(body.substr(4), m)) {
            lastError_ = kWsaEprotonosupport;
            return false;
        }
        out.push_back(std::move(m));
        lastReply_.clear();
    } else if (code == 202) {
        return false;
    } else {
        NoteRefusal(reply);
        lastError_ = kWsaEprotonosupport;
        return false;
    }
    return !out.empty();
}

bool CFreeDBClient::ReadDisc(const FreeDBSite& site, std::uint32_t discId,
                             const std::string& category, FreeDBDiscInfo& info) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(discId));
    std::string reply;
    if (!Exchange(site, "cmd=cddb+read+" + PercentEncode(category) + "+" + id, Mode::List, reply)) {
        return false;
    }
    lastReply_ = reply;
    std::string body;
    if (!ReplyBody(reply, body)) {
        lastError_ = kWsaEprotonosupport;
        return false;
    }
    int error = 0;
    if (!ParseXmcdEntry(body, info, &error)) {
        const int code = ResponseCode(body);
        if (code < 210 || code > 219) NoteRefusal(reply);
        if (error) lastError_ = error;
        return false;
    }
    info.discId = discId;
    lastReply_.clear();
    return true;
}

}  // namespace orvane::freedb

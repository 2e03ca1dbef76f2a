#include "encoder/freedb/cddb_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "encoder/freedb/cddb_client.h"
#include "platform/cdrom/cue_sheet.h"
#include "platform/fs/fs.h"

namespace orvane::freedb {

namespace {

constexpr std::size_t kMaxRequestBytes = 16384;
constexpr int kRequestTimeoutMs = 5000;

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The quoted or bare value after a cue sheet command word.
std::string CueValue(const std::string& line, std::size_t from) {
    std::size_t q = line.find('"', from);
    if (q != std::string::npos) {
        std::size_t e = line.find('"', q + 1);
        return line.substr(q + 1, e == std::string::npos ? std::string::npos : e - q - 1);
    }
    std::string rest = line.substr(from);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.erase(rest.begin());
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' '))
        rest.pop_back();
    return rest;
}

std::string Hex8(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(id));
    return text;
}

std::string DiscTitle(const FreeDBDiscInfo& info) {
    return info.artist.empty() ? info.title : info.artist + " / " + info.title;
}

}  // namespace

bool ReadTextFile(const std::string& path, std::size_t limit, std::string& out,
                  std::string& reason) {
    const fs::Status status = fs::ReadFile(path, limit, out);
    if (status.ok()) return true;
    reason = status.message.empty() ? "cannot read " + path : status.message;
    return false;
}

std::string UrlDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool EntryFromCueSheet(const std::string& cuePath, ServedEntry& out, std::string& reason) {
    cdrom::CueSheet sheet;
    if (!cdrom::LoadCueSheet(cuePath, sheet, reason)) return false;
    std::string text;
    if (!ReadTextFile(cuePath, 1 << 20, text, reason)) return false;
    // Track titles and the year and genre remarks, from the sheet's own lines.
    std::vector<std::string> titles(sheet.toc.tracks.size());
    std::string year, genre;
    int track = -1;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        const std::string cmd = w[0];
        if (cmd == "TRACK") {
            ++track;
        } else if (cmd == "TITLE" && track >= 0 &&
                   static_cast<std::size_t>(track) < titles.size()) {
            titles[static_cast<std::size_t>(track)] = CueValue(line, line.find("TITLE") + 5);
        } else if (cmd == "REM" && w.size() >= 3 && w[1] == "DATE") {
            year = w[2];
        } else if (cmd == "REM" && w.size() >= 3 && w[1] == "GENRE") {
            genre = CueValue(line, line.find("GENRE") + 5);
        }
    }
    const DiscLayout disc = DiscLayout::Of(cdrom::DiscInfoFromSheet(sheet));
    FreeDBDiscInfo& info = out.info;
    info = FreeDBDiscInfo{};
    for (std::uint32_t o : disc.offsets)
        info.trackOffsets.push_back(static_cast<int>(o));
    info.discLength = static_cast<int>(disc.Seconds());
    info.program = "orvane-cddb";
    info.version = "1.0";
    info.discId = ComputeDiscId(disc);
    info.artist = sheet.performer;
    info.title = sheet.title;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        info.trackTitles.push_back(titles[i].empty() ? "Track " + std::to_string(i + 1)
                                                     : titles[i]);
    }
    std::vector<std::string> extra;
    if (!year.empty()) extra.push_back("DYEAR=" + year);
    if (!genre.empty()) extra.push_back("DGENRE=" + genre);
    out.category = "misc";
    out.text = FormatXmcdEntry(info, extra);
    return true;
}

bool EntryFromFile(const std::string& path, const std::string& category, ServedEntry& out,
                   std::string& reason) {
    std::string text;
    if (!ReadTextFile(path, kMaxReplyBytes, text, reason)) return false;
    if (!ParseXmcdFile(text, out.info, &reason)) {
        reason = path + ": " + reason;
        return false;
    }
    // Kept as the file has it, without a byte order mark, a status line or a final ".", and
    // in UTF-8 as the reply's header declares.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    if (text.size() >= 4 && std::isdigit(static_cast<unsigned char>(text[0])) && text[3] == ' ') {
        text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    }
    for (const char* end : {"\r\n.\r\n", "\n.\n"}) {
        const std::string e = end;
        if (text.size() >= e.size() && text.compare(text.size() - e.size(), e.size(), e) == 0) {
            text.resize(text.size() - e.size() + e.find('.'));
        }
    }
    out.category = category;
    out.text = EntryTextToUtf8(text);
    return true;
}

std::string AnswerCommand(const std::vector<ServedEntry>& entries, const std::string& command,
                          const std::string& host, int port) {
    const std::vector<std::string> w = Words(command);
    if (w.empty()) return "500 Unrecognized command.\r\n";
    const std::string verb = Lower(w[0]);
    if (verb == "sites") {
        return "210 OK, site information follows (until terminating `.')\r\n" + host + " http " +
               std::to_string(port) + " /~cddb/cddb.cgi N000.00 E000.00 " +
               "Local CD database\r\n.\r\n";
    }
    if (verb != "cddb" || w.size() < 2) return "500 Unrecognized command.\r\n";
    const std::string sub = Lower(w[1]);
    if (sub == "query") {
        if (w.size() < 5) return "500 Command syntax error.\r\n";
        const std::uint32_t id =
            static_cast<std::uint32_t>(std::strtoul(w[2].c_str(), nullptr, 16));
        std::vector<const ServedEntry*> found;
        for (const ServedEntry& e : entries) {
            if (e.info.discId == id) found.push_back(&e);
        }
        if (found.empty()) return "202 No match for disc ID " + Hex8(id) + ".\r\n";
        if (found.size() == 1) {
            return "200 " + found[0]->category + " " + Hex8(id) + " " + DiscTitle(found[0]->info) +
                   "\r\n";
        }
        std::string out = "210 Found exact matches, list follows (until terminating `.')\r\n";
        for (const ServedEntry* e : found)
            out += e->category + " " + Hex8(id) + " " + DiscTitle(e->info) + "\r\n";
        return out + ".\r\n";
    }
    if (sub == "read") {
        if (w.size() < 4) return "500 Command syntax error.\r\n";
        const std::string category = Lower(w[2]);
        const std::uint32_t id =
            static_cast<std::uint32_t>(std::strtoul(w[3].c_str(), nullptr, 16));
        for (const ServedEntry& e : entries) {
            if (e.info.discId != id || Lower(e.category) != category) continue;
            std::string out = "210 " + e.category + " " + Hex8(id) +
                              " CD database entry follows (until terminating `.')\r\n";
            // Lines end in CRLF on the wire.
            std::istringstream in(e.text);
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                out += line + "\r\n";
            }
            return out + ".\r\n";
        }
        return "401 " + category + " " + Hex8(id) + " No such CD entry in database.\r\n";
    }
    return "500 Unrecognized command.\r\n";
}

bool CddbServer::Listen(const std::string& address, int port, std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    int rc =
        ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        reason = "cannot resolve " + address + ": " + gai_strerror(rc);
        return false;
    }
    int fd = -1;
    for (addrinfo* a = list; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
            reason = std::string("cannot listen on port ") + service + ": " + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd < 0) {
        if (reason.empty()) reason = "cannot listen on port " + service;
        return false;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    port_ = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    address_ = address.empty() ? "127.0.0.1" : address;
    listenFd_ = fd;
    return true;
}

void CddbServer::Serve() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        int r = ::poll(&p, 1, 200);
        if (r <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Handle(fd);
        ::close(fd);
    }
    ::close(listenFd_);
    listenFd_ = -1;
}

void CddbServer::Handle(int fd) {
    // The request: up to the blank line, bounded in size and time.
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos &&
           request.find("\n\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kRequestTimeoutMs) <= 0) return;
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
    }
    std::string line = request.substr(0, request.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> w = Words(line);
    std::string body;
    std::string status = "HTTP/1.0 200 OK";
    if (w.size() < 2 || w[0] != "GET") {
        status = "HTTP/1.0 400 Bad Request";
        body = "500 Command syntax error.\r\n";
    } else {
        std::string target = w[1];
        // A request through a proxy carries the absolute address.
        if (target.rfind("http://", 0) == 0) {
            std::size_t slash = target.find('/', 7);
            target = slash == std::string::npos ? "/" : target.substr(slash);
        }
        std::string query;
        if (std::size_t q = target.find('?'); q != std::string::npos) query = target.substr(q + 1);
        std::string cmd, hello;
        std::size_t at = 0;
        while (at <= query.size()) {
            std::size_t amp = query.find('&', at);
            std::string pair =
                query.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
            if (pair.rfind("cmd=", 0) == 0) cmd = UrlDecode(pair.substr(4));
            if (pair.rfind("hello=", 0) == 0) hello = UrlDecode(pair.substr(6));
            if (amp == std::string::npos) break;
            at = amp + 1;
        }
        if (Words(hello).size() < 4) {
            body = "500 Command syntax error: incorrect hello.\r\n";
        } else {
            body = AnswerCommand(entries_, cmd, address_, port_);
        }
        std::fprintf(stderr, "orvane-cddb serve: %s -> %s\n", cmd.c_str(), FirstLine(body).c_str());
    }
    const std::string reply = status + "\r\nContent-Type: text/plain; charset=UTF-8\r\n" +
                              "Connection: close\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < reply.size()) {
        ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace orvane::freedb

// Replies of a CD database server, read the way the client reads them: the HTTP header cut off,
// the status code taken, then the body's lines read as site lines or match lines (and a single
// match after a "200" status). Every field handed out is one line of UTF-8 text.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/freedb/cddb_client.h"
#include "fuzz/fuzz_support.h"

namespace {

using orvane::fuzz::Check;
namespace fdb = orvane::freedb;

void CheckText(const std::string& s, const char* what) {
    Check(fdb::DecodeText(s) == s, what);
    Check(s.find('\n') == std::string::npos, what);
}

void CheckSite(const fdb::FreeDBSite& s) {
    Check(!s.host.empty(), "a site has a host");
    Check(s.host.find_first_of(" /\r\n") == std::string::npos, "a site's host is one name");
    Check(s.cgiPath.find_first_of(" \n") == std::string::npos, "a site's path is one word");
    Check(s.north == 0 || s.north == 1, "a latitude is north or south");
    Check(s.east == 0 || s.east == 1, "a longitude is east or west");
    Check(s.latitude >= 0 && s.latitude <= 999 * 60 + 99, "a latitude is in minutes");
    Check(s.longitude >= 0 && s.longitude <= 999 * 60 + 99, "a longitude is in minutes");
    Check(!s.description.empty(), "a site has a description");
    CheckText(s.description, "a site's description is one line of UTF-8");
}

void CheckMatch(const fdb::FreeDBMatch& m) {
    Check(m.category.find(' ') == std::string::npos, "a category is one word");
    CheckText(m.category, "a category is one line of UTF-8");
    CheckText(m.artist, "an artist is one line of UTF-8");
    CheckText(m.title, "a title is one line of UTF-8");
    Check(m.title.empty() || m.title.front() != ' ', "a title is trimmed");
    Check(m.artist.empty() || m.artist.back() != ' ', "an artist is trimmed");
}

// Every line after the status line, as the list commands read them.
std::vector<std::string> ListLines(const std::string& body) {
    std::vector<std::string> out;
    std::size_t at = body.find('\n');
    while (at != std::string::npos && out.size() < fdb::kMaxListRows) {
        std::size_t next = body.find('\n', at + 1);
        out.push_back(
            body.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        at = next;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    std::string body;
    // Fuzz inputs are either a whole HTTP reply or a bare body.
    if (!fdb::ReplyBody(reply, body)) body = reply;
    Check(body.size() <= reply.size(), "the body is part of the reply");

    const int code = fdb::ResponseCode(body);
    Check(code == -1 || (code >= 0 && code <= 999), "a status code has three digits");
    const std::string status = fdb::FirstLine(body);
    Check(status.find('\n') == std::string::npos, "the first line is one line");
    Check(body.compare(0, status.size(), status) == 0, "the first line starts the body");

    for (const std::string& line : ListLines(body)) {
        fdb::FreeDBSite site;
        if (fdb::ParseSiteLine(line, site)) CheckSite(site);
        fdb::FreeDBMatch match;
        if (fdb::ParseMatchLine(line, match)) CheckMatch(match);
    }
    if (body.size() > 5) {
        fdb::FreeDBMatch match;
        if (fdb::ParseMatchLine(body.substr(4), match)) CheckMatch(match);
    }
    fdb::FreeDBSite site;
    if (fdb::ParseSiteLine(body, site)) CheckSite(site);
    return 0;
}

#include "encoder/ctdb/ctdb_client.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>

#include "encoder/freedb/http_get.h"
#include "platform/base/command_line.h"

namespace orvane::ctdb {

namespace {

constexpr const char* kNamespace = "http://db.cuetools.net/ns/mmd-1.0#";

bool Hex8(const QString& text, std::uint32_t& value) {
    if (text.size() != 8) return false;
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (!ok) return false;
    for (QChar c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1()))) return false;
    value = v;
    return true;
}

bool SmallInt(const QString& text, int low, int high, int& value) {
    if (text.isEmpty() || text.size() > 10) return false;
    for (QChar c : text)
        if (c < '0' || c > '9') return false;
    const long long v = text.toLongLong();
    if (v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

// One entry's attributes; false with why when a field is malformed.
bool EntryOf(const QXmlStreamAttributes& a, int audioTracks, CtdbEntry& e, std::string& why) {
    auto field = [&](const char* name) { return a.value(QString::fromLatin1(name)).toString(); };
    auto bad = [&](const std::string& what) {
        why = "an entry's " + what + " is malformed";
        return false;
    };
    e.id = field("id").toStdString();
    if (e.id.empty() || e.id.size() > 64) return bad("id");
    for (char c : e.id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            return bad("id");
    if (!Hex8(field("crc32"), e.crc32)) return bad("crc32");
    if (!SmallInt(field("confidence"), 0, 1000000000, e.confidence)) return bad("confidence");
    if (!SmallInt(field("npar"), 2, 16, e.npar) || e.npar % 2) return bad("npar");
    if (!SmallInt(field("stride"), 1, 1000000, e.stride)) return bad("stride");
    if (e.stride != static_cast<int>(kStrideSamples)) return bad("stride");
    const QString syndrome = field("syndrome");
    if (!syndrome.isEmpty()) {
        const auto result = QByteArray::fromBase64Encoding(syndrome.toLatin1(),
                                                           QByteArray::AbortOnBase64DecodingErrors);
        const QByteArray& decoded = result.decoded;
        if (!result || decoded.size() != 2 * e.npar) return bad("syndrome");
        for (int k = 0; k < e.npar; ++k)
            e.syndrome.push_back(
                static_cast<std::uint16_t>(static_cast<unsigned char>(decoded[2 * k]) |
                                           static_cast<unsigned char>(decoded[2 * k + 1]) << 8));
    }
    const QString parity = field("hasparity");
    if (!parity.isEmpty()) {
        if (e.syndrome.empty() || parity.size() > 1024) return bad("hasparity");
        for (QChar c : parity)
            if (c.unicode() <= ' ' || c.unicode() > '~') return bad("hasparity");
        e.parityUrl = parity.toStdString();
    }
    const QStringList crcs = field("trackcrcs").split(' ', Qt::SkipEmptyParts);
    std::vector<std::uint32_t> tracks;
    for (const QString& c : crcs) {
        std::uint32_t v = 0;
        if (!Hex8(c, v)) return bad("trackcrcs");
        tracks.push_back(v);
    }
    if (static_cast<int>(tracks.size()) == audioTracks) e.trackCrcs = std::move(tracks);
    e.toc = field("toc").toStdString();
    if (e.toc.size() > 2048) return bad("toc");
    return true;
}

// A name of a release: any text but control characters, within kMaxCtdbText characters.
bool NameOf(const QXmlStreamAttributes& a, const char* field, std::string& out) {
    const QString text = a.value(QString::fromLatin1(field)).toString().trimmed();
    if (text.size() > kMaxCtdbText) return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0) || c.isSurrogate())
            return false;
    out = text.toStdString();
    return true;
}

// An id: letters, digits and - _ . : / only.
bool IdOf(const QXmlStreamAttributes& a, const char* field, std::size_t max, std::string& out) {
    const QString text = a.value(QString::fromLatin1(field)).toString();
    if (static_cast<std::size_t>(text.size()) > max) return false;
    for (QChar c : text)
        if (c.unicode() > 0x7F || (!c.isLetterOrNumber() && !QStringLiteral("-_.:/").contains(c)))
            return false;
    out = text.toStdString();
    return true;
}

// One release's own attributes; false with why when a field is malformed.
bool ReleaseOf(const QXmlStreamAttributes& a, CtdbRelease& r, std::string& why) {
    auto bad = [&](const std::string& what) {
        why = "a release's " + what + " is malformed";
        return false;
    };
    if (!IdOf(a, "source", 32, r.source)) return bad("source");
    if (!IdOf(a, "id", 128, r.id)) return bad("id");
    if (!NameOf(a, "artist", r.artist)) return bad("artist");
    if (!NameOf(a, "album", r.album)) return bad("album");
    if (!NameOf(a, "genre", r.genre)) return bad("genre");
    std::string year;
    if (!NameOf(a, "year", year)) return bad("year");
    // A year, or a date that begins with one.
    if (!year.empty()) {
        const bool digits =
            year.size() >= 4 && std::all_of(year.begin(), year.begin() + 4,
                                            [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || (year.size() > 4 && year[4] != '-') || year.size() > 10) return bad("year");
        r.year = year.substr(0, 4);
    }
    const QString number = a.value(QStringLiteral("discnumber")).toString();
    const QString count = a.value(QStringLiteral("disccount")).toString();
    if (!number.isEmpty() && !SmallInt(number, 1, 999, r.discNumber)) return bad("discnumber");
    if (!count.isEmpty() && !SmallInt(count, 1, 999, r.discCount)) return bad("disccount");
    if (r.discNumber && r.discCount && r.discNumber > r.discCount) return bad("discnumber");
    return true;
}

CtdbReply Refused(const std::string& why) {
    CtdbReply r;
    r.message = "the database's reply is refused: " + why;
    return r;
}

}  // namespace

CtdbReply ParseCtdbReply(const std::string& body, int audioTracks) {
    if (body.size() > kMaxCtdbReplyBytes) return Refused("longer than 1 MB");
    if (body.find_first_not_of(" \t\r\n") == std::string::npos) return Refused("it is empty");
    QXmlStreamReader xml(QByteArray(body.data(), static_cast<qsizetype>(body.size())));
    CtdbReply reply;
    int depth = 0;
    bool root = false;
    std::optional<CtdbRelease> release;  // inside a <metadata> element
    int releases = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            return Refused("it declares a document type");
        if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 2 && release) {
                if (static_cast<int>(release->trackTitles.size()) == audioTracks)
                    reply.releases.push_back(std::move(*release));
                release.reset();
            }
        }
        if (token != QXmlStreamReader::StartElement) continue;
        if (++depth > kMaxXmlDepth) return Refused("its elements nest too deep");
        const bool ours = xml.namespaceUri() == QLatin1String(kNamespace);
        if (depth == 1) {
            if (!ours || xml.name() != QLatin1String("ctdb"))
                return Refused("its root is no <ctdb> of the database's namespace");
            root = true;
            continue;
        }
        if (depth == 3 && release && ours && xml.name() == QLatin1String("track")) {
            if (release->trackTitles.size() >= 99) return Refused("a release lists over 99 tracks");
            std::string title, artist;
            if (!NameOf(xml.attributes(), "name", title) ||
                !NameOf(xml.attributes(), "artist", artist))
                return Refused("a release's track name is malformed");
            release->trackTitles.push_back(std::move(title));
            release->trackArtists.push_back(std::move(artist));
            continue;
        }
        if (depth == 2 && ours && xml.name() == QLatin1String("metadata") &&
            !xml.attributes().isEmpty()) {
            if (++releases > kMaxCtdbReleases)
                return Refused("it lists more than " + std::to_string(kMaxCtdbReleases) +
                               " releases");
            release.emplace();
            std::string why;
            if (!ReleaseOf(xml.attributes(), *release, why)) return Refused(why);
            continue;
        }
        if (depth != 2 || !ours || xml.name() != QLatin1String("entry")) continue;
        if (xml.attributes().isEmpty()) continue;
        CtdbEntry e;
        std::string why;
        if (!EntryOf(xml.attributes(), audioTracks, e, why)) return Refused(why);
        if (reply.entries.size() >= 1000) return Refused("it lists more than 1000 entries");
        reply.entries.push_back(std::move(e));
    }
    if (xml.hasError())
        return Refused("no well-formed XML (" + xml.errorString().toStdString() + ", line " +
                       std::to_string(xml.lineNumber()) + ")");
    if (!root) return Refused("it is empty");
    if (release) return Refused("no well-formed XML (a release is cut short)");
    if (reply.entries.empty()) {
        reply.status = CtdbStatus::NotFound;
        reply.message = "not present in database";
        return reply;
    }
    reply.status = CtdbStatus::Found;
    reply.message = std::to_string(reply.entries.size()) +
                    (reply.entries.size() == 1 ? " entry" : " entries") + " found";
    return reply;
}

std::string CtdbUserAgent() {
    return std::string("Plimo/") + ToolkitVersion() + " ( orvane-cdda )";
}

const char* CtdbMetadataName(CtdbMetadata level) {
    switch (level) {
        case CtdbMetadata::Fast:
            return "fast";
        case CtdbMetadata::Default:
            return "default";
        case CtdbMetadata::Extensive:
            return "extensive";
        case CtdbMetadata::None:
            break;
    }
    return "none";
}

bool ParseCtdbMetadata(const std::string& name, CtdbMetadata& level) {
    for (CtdbMetadata l :
         {CtdbMetadata::None, CtdbMetadata::Fast, CtdbMetadata::Default, CtdbMetadata::Extensive})
        if (name == CtdbMetadataName(l)) {
            level = l;
            return true;
        }
    return false;
}

std::string CtdbLookupUrl(const std::string& server, const std::string& tocString,
                          CtdbMetadata metadata) {
    return net::WithoutTrailingSlash(server) +
           "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=" + CtdbMetadataName(metadata) +
           "&toc=" + tocString;
}

namespace {

struct KeptReply {
    std::string server, tocString;
    CtdbReply reply;
};

std::mutex gKeptMutex;
std::vector<KeptReply>& Kept() {
    static auto* kept = new std::vector<KeptReply>;  // outlives every static object
    return *kept;
}

}  // namespace

void KeepCtdbReply(const std::string& server, const CtdbToc& toc, const CtdbReply& reply) {
    if (reply.status == CtdbStatus::Unavailable) return;
    std::lock_guard lock(gKeptMutex);
    Kept().push_back({net::WithoutTrailingSlash(server), toc.tocString, reply});
}

CtdbReply LookupCtdb(const std::string& server, const CtdbToc& toc,
                     const std::function<bool()>& cancelled, unsigned timeoutMs,
                     CtdbMetadata metadata) {
    {
        std::lock_guard lock(gKeptMutex);
        for (const KeptReply& k : Kept())
            if (k.server == net::WithoutTrailingSlash(server) && k.tocString == toc.tocString)
                return k.reply;
    }
    CtdbReply result;
    if (!net::IsHttpUrl(server)) {
        result.message = "the server is no http:// or https:// address: " + server;
        return result;
    }
    if (!toc.Valid()) {
        result.message = "the disc has no audio the database covers";
        return result;
    }
    net::HttpRequest request;
    request.url = CtdbLookupUrl(server, toc.tocString, metadata);
    request.userAgent = CtdbUserAgent();
    request.timeoutMs = timeoutMs;
    request.maxBytes = kMaxCtdbReplyBytes;
    request.cancelled = cancelled;
    const net::HttpReply reply = net::HttpGet(request);
    if (reply.cancelled) {
        result.message = "the lookup was cancelled";
        return result;
    }
    if (!reply.answered || reply.tooLarge) {
        result.message = "database unavailable (" +
                         (reply.tooLarge   ? std::string("the reply is longer than 1 MB")
                          : reply.timedOut ? std::string("no answer in time")
                                           : reply.error) +
                         ")";
        return result;
    }
    if (reply.status == 404) {
        result.status = CtdbStatus::NotFound;
        result.message = "not present in database";
        return result;
    }
    if (reply.status != 200) {
        result.message = "database unavailable (HTTP " + std::to_string(reply.status) + ")";
        return result;
    }
    std::string type = reply.contentType;
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (type.find("xml") == std::string::npos)
        return Refused("it is no XML (Content-Type " + reply.contentType + ")");
    return ParseCtdbReply(reply.body, toc.AudioTracks());
}

std::string ParityUrl(const std::string& server, const CtdbEntry& entry) {
    if (net::IsHttpUrl(entry.parityUrl)) return entry.parityUrl;
    const std::string base = net::WithoutTrailingSlash(server);
    return entry.parityUrl.rfind('/', 0) == 0 ? base + entry.parityUrl
                                              : base + "/" + entry.parityUrl;
}

ParityFetch ParityOfAnswer(long status, const std::string& body, const CtdbEntry& entry, int npar) {
    ParityFetch fetch;
    const std::size_t asked = static_cast<std::size_t>(npar) * kParityRowBytes;
    const std::size_t whole = static_cast<std::size_t>(entry.npar) * kParityRowBytes;
    if (npar < 2 || npar > entry.npar ||
        entry.syndrome.size() != static_cast<std::size_t>(entry.npar)) {
        fetch.why = "the entry has no parity for " + std::to_string(npar) + " rows";
        return fetch;
    }
    if (!(status == 206 && body.size() == asked) && !(status == 200 && body.size() == whole)) {
        fetch.why = "the parity answer is neither the " + std::to_string(asked) +
                    " bytes asked for nor the whole file (HTTP " + std::to_string(status) + ", " +
                    std::to_string(body.size()) + " bytes)";
        return fetch;
    }
    fetch.rows.resize(static_cast<std::size_t>(npar) * kStrideWords);
    for (std::size_t i = 0; i < fetch.rows.size(); ++i)
        fetch.rows[i] =
            static_cast<std::uint16_t>(static_cast<unsigned char>(body[2 * i]) |
                                       static_cast<unsigned char>(body[2 * i + 1]) << 8);
    for (int k = 0; k < npar; ++k) {
        if (fetch.rows[static_cast<std::size_t>(k) * kStrideWords] !=
            entry.syndrome[static_cast<std::size_t>(k)]) {
            fetch.rows.clear();
            fetch.why = "the parity file does not belong to the entry (column 0 differs)";
            return fetch;
        }
    }
    fetch.ok = true;
    return fetch;
}

ParityFetch FetchParity(const std::string& server, const CtdbEntry& entry, int npar,
                        const std::function<bool()>& cancelled, unsigned timeoutMs) {
    ParityFetch fetch;
    if (entry.parityUrl.empty()) {
        fetch.why = "the entry has no parity";
        return fetch;
    }
    const std::string url = ParityUrl(server, entry);
    if (!net::IsHttpUrl(url)) {
        fetch.why = "the parity's address is no http:// or https:// address";
        return fetch;
    }
    net::HttpRequest request;
    request.url = url;
    request.userAgent = CtdbUserAgent();
    request.timeoutMs = timeoutMs;
    request.maxBytes = static_cast<std::size_t>(std::max(entry.npar, npar)) * kParityRowBytes;
    request.cancelled = cancelled;
    request.headers = {"Range: bytes=0-" +
                       std::to_string(static_cast<std::size_t>(npar) * kParityRowBytes - 1)};
    const net::HttpReply reply = net::HttpGet(request);
    if (reply.cancelled) {
        fetch.why = "the parity's fetch was cancelled";
        return fetch;
    }
    if (reply.tooLarge) {
        fetch.why = "the parity answer is larger than the entry's parity file";
        return fetch;
    }
    if (!reply.answered) {
        fetch.why = "the parity could not be fetched (" +
                    (reply.timedOut ? std::string("no answer in time") : reply.error) + ")";
        return fetch;
    }
    return ParityOfAnswer(reply.status, reply.body, entry, npar);
}

}  // namespace orvane::ctdb

#include "encoder/cdda/accuraterip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "encoder/freedb/cddb_client.h"
#include "encoder/freedb/disc_ids.h"

namespace orvane::cdda {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Checksums

TrackChecksummer::TrackChecksummer(bool firstAudioTrack, bool lastAudioTrack,
                                   std::uint64_t totalWords)
    : lo_(firstAudioTrack ? kAccurateRipSkipWords : 1),
      hi_(!lastAudioTrack                       ? std::numeric_limits<std::uint64_t>::max()
          : totalWords >= kAccurateRipSkipWords ? totalWords - kAccurateRipSkipWords
                                                : 0),
      crc_(static_cast<std::uint32_t>(::crc32(0, nullptr, 0))) {}

void TrackChecksummer::Sum(const std::uint8_t* data, std::size_t words) {
    // Words k_+1 .. k_+words; only those in lo_..hi_ count, so the loop runs over that range
    // alone and needs no test per word.
    const std::uint64_t first = std::max(k_ + 1, lo_);
    const std::uint64_t last = std::min(k_ + words, hi_);
    std::uint32_t v1 = v1_, v2 = v2_;
    if (first <= last) {
        const std::uint8_t* p = data + 4 * (first - k_ - 1);
        if (last <= std::numeric_limits<std::uint32_t>::max()) {
            // Weights that fit 32 bits: a 32 x 32 -> 64 multiply, which vectorises.
            const auto end = static_cast<std::uint32_t>(last);
            for (auto k = static_cast<std::uint32_t>(first);; ++k, p += 4) {
                const std::uint64_t product = std::uint64_t{k} * Le32(p);
                const auto low = static_cast<std::uint32_t>(product);
                v1 += low;
                v2 += low + static_cast<std::uint32_t>(product >> 32);
                if (k == end) break;
            }
        } else {
            for (std::uint64_t k = first; k <= last; ++k, p += 4) {
                const std::uint64_t product = k * Le32(p);
                const auto low = static_cast<std::uint32_t>(product);
                v1 += low;
                v2 += low + static_cast<std::uint32_t>(product >> 32);
            }
        }
    }
    v1_ = v1;
    v2_ = v2;
    k_ += words;
}

void TrackChecksummer::Update(const std::uint8_t* data, std::size_t size) {
    // In pieces that stay in the cache between the CRC and the sums.
    constexpr std::size_t kPiece = 32768;
    while (size > 0) {
        const std::size_t part = std::min(size, kPiece);
        crc_ = static_cast<std::uint32_t>(::crc32(crc_, data, static_cast<unsigned>(part)));
        UpdateSums(data, part);
        data += part;
        size -= part;
    }
}

void TrackChecksummer::UpdateSums(const std::uint8_t* data, std::size_t size) {
    if (carried_ > 0) {
        const std::size_t take = std::min(size, 4 - carried_);
        std::copy(data, data + take, carry_ + carried_);
        carried_ += take;
        data += take;
        size -= take;
        if (carried_ < 4) return;
        Sum(carry_, 1);
        carried_ = 0;
    }
    Sum(data, size / 4);
    carried_ = size % 4;
    std::copy(data + size - carried_, data + size, carry_);
}

TrackChecksums TrackChecksummer::Finish() const { return {crc_, v1_, v2_}; }

// ---------------------------------------------------------------------------------------------
// Disc id

std::string AccurateRipId::Fingerprint() const {
    char text[48];
    std::snprintf(text, sizeof text, "%03d-%08x-%08x-%08x", audioTracks, id1, id2, freedbId);
    return text;
}

std::string AccurateRipId::Url(const std::string& server) const {
    std::string base = server;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    char path[96];
    std::snprintf(path, sizeof path, "/accuraterip/%x/%x/%x/dBAR-", id1 & 0xF, (id1 >> 4) & 0xF,
                  (id1 >> 8) & 0xF);
    return base + path + Fingerprint() + ".bin";
}

AccurateRipId ComputeAccurateRipId(const cdrom::DiscInfo& disc) {
    AccurateRipId id;
    bool audioSeen = false;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (!t.audio) {
            if (!audioSeen) ++id.leadingDataTracks;
            continue;
        }
        audioSeen = true;
        const auto n = static_cast<std::uint32_t>(++id.audioTracks);
        id.id1 += t.start;
        id.id2 += std::max<std::uint32_t>(t.start, 1) * n;
    }
    if (!audioSeen) id.leadingDataTracks = 0;
    id.id1 += disc.leadOut;
    id.id2 += disc.leadOut * static_cast<std::uint32_t>(id.audioTracks + 1);
    id.freedbId = freedb::CddbId(disc);
    return id;
}

// ---------------------------------------------------------------------------------------------
// Reply

AccurateRipReply ParseAccurateRipReply(const std::uint8_t* data, std::size_t size) {
    AccurateRipReply reply;
    if (size > kMaxAccurateRipReplyBytes) {
        reply.message = "reply too large (" + std::to_string(size) + " bytes)";
        return reply;
    }
    std::size_t at = 0;
    while (at < size) {
        constexpr std::size_t kHeader = 13, kEntry = 9;
        if (size - at < kHeader) {
            reply.message = "truncated reply (block header at byte " + std::to_string(at) + ")";
            return reply;
        }
        const std::size_t count = data[at];
        if (size - at - kHeader < count * kEntry) {
            reply.message = "truncated reply (block at byte " + std::to_string(at) + " holds " +
                            std::to_string(count) + " tracks)";
            return reply;
        }
        AccurateRipBlock block;
        block.id1 = Le32(data + at + 1);
        block.id2 = Le32(data + at + 5);
        block.freedbId = Le32(data + at + 9);
        at += kHeader;
        for (std::size_t i = 0; i < count; ++i, at += kEntry)
            block.tracks.emplace_back(data[at], Le32(data + at + 1));
        reply.blocks.push_back(std::move(block));
    }
    if (reply.blocks.empty()) {
        reply.status = AccurateRipStatus::NotFound;
        reply.message = "the disc is not in the database";
        return reply;
    }
    reply.status = AccurateRipStatus::Found;
    reply.message = "found " + std::to_string(reply.blocks.size()) +
                    (reply.blocks.size() == 1 ? " entry" : " entries");
    return reply;
}

namespace {

AccurateRipReply Unavailable(std::string message) {
    AccurateRipReply reply;
    reply.message = std::move(message);
    return reply;
}

std::string NetworkError(int error, int timeoutSeconds) {
    switch (error) {
        case freedb::kWsaEintr:
            return "lookup cancelled";
        case freedb::kWsaEinval:
            return "cannot resolve the server's name";
        case freedb::kWsaEtimedout:
            return "no answer within " + std::to_string(timeoutSeconds) + " s";
        case freedb::kWsaEconnrefused:
            return "connection refused";
        case freedb::kWsaEconnreset:
            return "the server closed the connection";
        case freedb::kWsaEnobufs:
            return "reply too large";
        default:
            return "network error " + std::to_string(error);
    }
}

}  // namespace

AccurateRipReply LookupAccurateRip(const std::string& server, const AccurateRipId& id,
                                   const std::function<bool()>& cancelled, int timeoutSeconds) {
    // http://host[:port][/path]
    const std::string scheme = "http://";
    if (server.compare(0, scheme.size(), scheme) != 0)
        return Unavailable("unsupported server address: " + server);
    const std::string rest = server.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string prefix = slash == std::string::npos ? std::string() : rest.substr(slash);
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    freedb::FreeDBSite site;
    site.port = 80;
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos)
            return Unavailable("unsupported server address: " + server);
        site.port = std::stoi(port);
        authority.resize(colon);
    }
    if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']')
        authority = authority.substr(1, authority.size() - 2);
    site.host = authority;
    if (site.host.empty()) return Unavailable("unsupported server address: " + server);

    freedb::CFreeDBClient client;
    client.SetTimeout(static_cast<std::uint32_t>(std::max(1, timeoutSeconds)) * 1000u);
    if (cancelled) client.SetIdle(cancelled);
    // The header of a reply takes a few hundred bytes; the cap is on the whole text.
    std::string text;
    const std::string target = prefix + id.Url("");
    if (!client.Fetch(site, target, kMaxAccurateRipReplyBytes + 16384, text))
        return Unavailable(NetworkError(client.LastError(), timeoutSeconds));

    const std::string status = freedb::FirstLine(text);
    const std::size_t space = status.find(' ');
    const int code = status.rfind("HTTP/", 0) == 0 && space != std::string::npos
                         ? freedb::ResponseCode(status.substr(space + 1))
                         : -1;
    std::string body;
    if (code < 0 || !freedb::ReplyBody(text, body)) return Unavailable("malformed HTTP reply");
    AccurateRipReply reply;
    if (code == 404) {
        reply.status = AccurateRipStatus::NotFound;
        reply.message = "the disc is not in the database";
    } else if (code != 200) {
        std::string line = status.substr(space + 1);
        if (line.size() > 100) line.resize(100);
        return Unavailable("the server answered " + line);
    } else {
        reply =
            ParseAccurateRipReply(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    }
    reply.slotOffset = id.leadingDataTracks;
    return reply;
}

// ---------------------------------------------------------------------------------------------
// Verdict

const char* ToString(AccurateRipResult result) {
    switch (result) {
        case AccurateRipResult::Match:
            return "match";
        case AccurateRipResult::Mismatch:
            return "mismatch";
        case AccurateRipResult::NotFound:
            return "not-found";
        case AccurateRipResult::Unavailable:
            break;
    }
    return "unavailable";
}

AccurateRipVerdict MatchTrack(const AccurateRipReply& reply, int audioIndex,
                              const TrackChecksums& sums) {
    AccurateRipVerdict verdict;
    if (reply.status == AccurateRipStatus::Unavailable) return verdict;
    verdict.result = AccurateRipResult::NotFound;
    if (reply.status == AccurateRipStatus::NotFound || audioIndex < 0) return verdict;
    const auto slot = static_cast<std::size_t>(audioIndex) +
                      static_cast<std::size_t>(std::max(0, reply.slotOffset));
    bool entries = false;
    for (const AccurateRipBlock& block : reply.blocks) {
        if (slot >= block.tracks.size()) continue;
        const auto [confidence, checksum] = block.tracks[slot];
        if (confidence <= 0) continue;
        entries = true;
        const int version = checksum == sums.arV2 ? 2 : checksum == sums.arV1 ? 1 : 0;
        if (version != 0 && confidence > verdict.confidence) {
            verdict.confidence = confidence;
            verdict.version = version;
        }
    }
    if (verdict.version != 0) {
        verdict.result = AccurateRipResult::Match;
    } else if (entries) {
        verdict.result = AccurateRipResult::Mismatch;
    }
    return verdict;
}

}  // namespace orvane::cdda

#include "encoder/ctdb/ctdb_toc.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <cstdio>

namespace orvane::ctdb {

std::string CtdbTocId(const std::vector<std::uint32_t>& starts, std::uint32_t audioSectors) {
    std::string text;
    char hex[16];
    for (std::size_t i = 1; i < starts.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%08X", starts[i]);
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%08X", audioSectors);
    text += hex;
    if (text.size() < 800) text.append(800 - text.size(), '0');
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), QCryptographicHash::Sha1);
    std::string id = digest.toBase64().toStdString();
    for (char& c : id) {
        if (c == '+') c = '.';
        if (c == '/') c = '_';
        if (c == '=') c = '-';
    }
    return id;
}

CtdbToc CtdbTocOf(const cdrom::DiscInfo& disc) {
    CtdbToc toc;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (!toc.tocString.empty()) toc.tocString += ':';
        if (!t.audio) toc.tocString += '-';
        toc.tocString += std::to_string(t.start);
    }
    if (disc.tracks.empty()) return toc;
    toc.tocString += ':' + std::to_string(disc.leadOut);

    auto invalid = [&toc] {
        CtdbToc none;
        none.tocString = toc.tocString;
        return none;
    };
    std::uint32_t end = disc.leadOut;
    bool inRun = false;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (t.audio && !inRun && toc.numbers.empty()) inRun = true;
        if (!inRun) continue;
        if (!t.audio) {
            end = t.start >= kEnhancedGapSectors ? t.start - kEnhancedGapSectors : 0;
            break;
        }
        if (toc.numbers.empty()) toc.audioStart = t.start;
        if (!toc.starts.empty() && t.start < toc.audioStart + toc.starts.back()) return invalid();
        toc.starts.push_back(t.start - toc.audioStart);
        toc.numbers.push_back(t.number);
    }
    if (toc.numbers.empty() || end <= toc.audioStart + toc.starts.back()) return invalid();
    toc.firstAudioTrack = toc.numbers.front();
    toc.audioSectors = end - toc.audioStart;
    toc.tocId = CtdbTocId(toc.starts, toc.audioSectors);
    return toc;
}

}  // namespace orvane::ctdb

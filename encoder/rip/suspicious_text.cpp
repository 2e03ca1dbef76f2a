#include "encoder/rip/suspicious_text.h"

#include <cstdio>

namespace orvane::rip {

std::string TrackPosition(std::uint32_t sectorsIntoTrack) {
    char text[24];
    std::snprintf(text, sizeof text, "%02u:%02u.%02u", sectorsIntoTrack / 75 / 60,
                  sectorsIntoTrack / 75 % 60, sectorsIntoTrack % 75);
    return text;
}

std::string SectorPlace(int trackNumber, std::uint32_t trackStart, std::uint32_t lba) {
    const std::uint32_t at = lba >= trackStart ? lba - trackStart : 0;
    return "track " + std::to_string(trackNumber) + ", " + TrackPosition(at) + " (LBA " +
           std::to_string(lba) + ")";
}

std::string SuspiciousSector(int trackNumber, std::uint32_t trackStart, std::uint32_t lba,
                             bool capital) {
    return std::string(capital ? "Suspicious" : "suspicious") +
           " sector: " + SectorPlace(trackNumber, trackStart, lba);
}

std::string SuspiciousList(const std::vector<std::uint32_t>& sectors, int trackNumber,
                           const std::uint32_t* trackStart) {
    std::string out;
    for (std::uint32_t lba : sectors) {
        if (!out.empty()) out += ", ";
        out += "LBA " + std::to_string(lba);
        if (trackStart && lba >= *trackStart)
            out += " (track " + std::to_string(trackNumber) + ", " +
                   TrackPosition(lba - *trackStart) + ")";
    }
    return out;
}

}  // namespace orvane::rip

// The grabber's drive table file users edit by hand ("PlimoCDA.cfg"): each line read alone, and
// the whole text loaded from a file the way the grabber loads it. An entry read has three
// short names and writes back to a line that reads to the same entry.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "encoder/cdda/cd_drive.h"
#include "fuzz/fuzz_support.h"

namespace {

using orvane::fuzz::Check;
namespace cdda = orvane::cdda;

bool Same(const cdda::DriveConfigEntry& a, const cdda::DriveConfigEntry& b) {
    return a.vendor == b.vendor && a.product == b.product && a.revision == b.revision &&
           a.readCode == b.readCode && a.setBlockMode == b.setBlockMode && a.density == b.density &&
           a.swapBytes == b.swapBytes && a.sectorsPerRead == b.sectorsPerRead && a.spare == b.spare;
}

void CheckEntry(const cdda::DriveConfigEntry& e) {
    for (const std::string* s : {&e.vendor, &e.product, &e.revision}) {
        Check(s->size() <= 19, "a name holds at most 19 characters");
        Check(s->find('"') == std::string::npos, "a name holds no quote");
    }
}

std::string Format(const cdda::DriveConfigEntry& e) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " %x %x %x %d %d %d\n", unsigned{e.readCode},
                  unsigned{e.setBlockMode}, unsigned{e.density}, int{e.swapBytes},
                  int{e.sectorsPerRead}, int{e.spare});
    return "\"" + e.vendor + "\" \"" + e.product + "\" \"" + e.revision + "\"" + numbers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t nl = text.find('\n', at);
        std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        ++lines;
        cdda::DriveConfigEntry entry;
        if (!cdda::ParseDriveConfigLine(line, entry)) continue;
        Check(line.size() >= 10 && line[0] != '#', "comments and short lines are skipped");
        CheckEntry(entry);
        // A name holding a NUL cannot be written as text the line reader takes whole.
        const std::string again = Format(entry);
        if (again.find('\0') != std::string::npos) continue;
        cdda::DriveConfigEntry reread;
        Check(cdda::ParseDriveConfigLine(again, reread), "a written entry reads again");
        Check(Same(entry, reread), "an entry survives writing");
    }

    // The whole file, read from the program folder.
    const std::string folder = orvane::fuzz::Scratch().path().string() + "/";
    {
        std::ofstream out(folder + "PlimoCDA.cfg", std::ios::binary | std::ios::trunc);
        out << text;
    }
    Check(std::fopen("PlimoCDA.cfg", "rb") == nullptr, "no PlimoCDA.cfg in the working folder");
    cdda::ResetDriveConfig();
    const int count = cdda::LoadDriveConfig(folder);
    Check(count >= 0 && count <= cdda::kMaxConfigEntries, "the table holds at most 256 entries");
    Check(static_cast<std::size_t>(count) <= lines, "at most one entry per line");
    const auto& table = cdda::DriveConfigTable();
    Check(table.size() == static_cast<std::size_t>(count), "the count is the table's size");
    for (const cdda::DriveConfigEntry& e : table)
        CheckEntry(e);
    cdda::ResetDriveConfig();
    return 0;
}

// Cue sheets of disc images. The input is the sheet's text up to its first NUL byte; the bytes
// after it are the file "take.wav" beside the sheet, so that a sheet naming it (as WAVE, BINARY
// or MOTOROLA) reaches the WAVE header reader and the layout of indexes in a file of that size.
// A sheet that loads must describe a disc the drive can read: runs contiguous from frame 0 to
// the lead-out, each inside its file, tracks in order at distinct places, and the first and
// last frame of every run readable by the image drive.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cdrom/cue_sheet.h"
#include "platform/cdrom/image_drive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace cd = orvane::cdrom;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t textSize = nul ? static_cast<std::size_t>(nul - data) : size;
    const std::string text(reinterpret_cast<const char*>(data), textSize);
    const std::string file =
        nul ? std::string(reinterpret_cast<const char*>(nul + 1), size - textSize - 1)
            : std::string();
    const auto& dir = orvane::fuzz::Scratch();
    orvane::test::WriteFile(dir / "take.wav", file);

    cd::CueSheet sheet;
    std::string error;
    if (!cd::ParseCueSheet(text, dir.path().string(), "fuzz.cue", sheet, error)) {
        Check(error.rfind("fuzz.cue:", 0) == 0, "a refusal names the sheet and the line");
        return 0;
    }
    Check(!sheet.tracks.empty() && !sheet.files.empty(), "a loaded sheet has files and tracks");
    Check(sheet.toc.tracks.size() == sheet.tracks.size(), "every track is in the table");
    std::uint32_t lba = 0;
    for (const cd::DiscExtent& e : sheet.extents) {
        Check(e.lba == lba && e.frames > 0, "runs are contiguous and not empty");
        lba += e.frames;
        if (e.file < 0) continue;
        Check(static_cast<std::size_t>(e.file) < sheet.files.size(), "a run names a file");
        const cd::CueFile& f = sheet.files[e.file];
        const std::uint64_t end = f.dataOffset + f.dataBytes;
        Check(e.fileByte >= f.dataOffset, "a run starts inside its file's samples");
        Check(e.fileByte + std::uint64_t{e.frames - 1} * e.sectorBytes < end,
              "every frame of a run starts inside its file");
    }
    Check(lba == sheet.toc.leadOut, "the runs end at the lead-out");
    for (std::size_t i = 0; i < sheet.toc.tracks.size(); ++i) {
        const cd::TocTrack& t = sheet.toc.tracks[i];
        Check(t.lba < sheet.toc.leadOut, "a track starts before the lead-out");
        Check(t.number == sheet.tracks[i].number, "the table keeps the track numbers");
        if (i > 0) {
            Check(t.lba > sheet.toc.tracks[i - 1].lba, "tracks start at increasing places");
            Check(t.number == sheet.toc.tracks[i - 1].number + 1, "track numbers are consecutive");
        }
    }
    Check(sheet.toc.firstTrack == sheet.toc.tracks.front().number &&
              sheet.toc.lastTrack == sheet.toc.tracks.back().number,
          "first and last track numbers match the table");

    cd::ImageDrive drive(sheet);
    std::vector<std::uint8_t> frame(cd::kFrameBytes);
    for (const cd::DiscExtent& e : sheet.extents) {
        for (std::uint32_t at : {e.lba, e.lba + e.frames - 1}) {
            const cd::DriveResult r = drive.ReadCdda(at, 1, frame.data());
            Check(r.ok || r.senseKey == cd::kSenseIllegalRequest, "a frame of the disc reads");
        }
    }
    return 0;
}

#include "programs/orvane-cdda/verify_flac.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "encoder/cdda/grab.h"
#include "encoder/formats/flac_image.h"
#include "encoder/library/pcm_stream.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

constexpr std::size_t kMaxCueBytes = std::size_t{1} << 20;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The cue sheet of path: path itself, or the one sheet in the folder path; empty otherwise.
std::string CueSheetOf(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) return path;
    std::string found;
    int sheets = 0;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (Lower(it->path().extension().string()) == ".cue" && it->is_regular_file(ec)) {
            found = it->path().string();
            ++sheets;
        }
    }
    return sheets == 1 ? found : std::string();
}

// A FILE line's name (quoted or one word) and where it lies in the line; false for any other
// line.
bool FileName(const std::string& line, std::size_t& from, std::size_t& to) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || Lower(line.substr(at, 5)) != "file ") return false;
    at = line.find_first_not_of(" \t", at + 5);
    if (at == std::string::npos) return false;
    if (line[at] == '"') {
        const std::size_t close = line.find('"', at + 1);
        if (close == std::string::npos) return false;
        from = at;
        to = close + 1;
    } else {
        from = at;
        to = line.find_first_of(" \t", at);
        if (to == std::string::npos) return false;
    }
    return true;
}

bool IsFlac(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && std::string(magic, 4) == "fLaC";
}

// Decodes flac into the WAVE file wave, refusing anything but CD audio.
bool Decode(const std::string& flac, const std::string& wave, std::string& error) {
    library::PcmStream stream;
    library::PcmTarget target;
    target.maxChannels = 2;
    target.fixedBits = 16;
    if (!stream.Open(flac, target, error)) {
        error = flac + ": " + error;
        return false;
    }
    const library::SourceFormat& s = stream.Source();
    if (s.channels != 2 || s.sampleRate != 44100 || s.bits != 16 || s.isFloat || s.lossy) {
        error = flac + ": not CD audio (16-bit stereo at 44100 Hz)";
        return false;
    }
    WaveFileWriter out;
    if (!out.Create(wave, error)) return false;
    std::vector<std::int32_t> samples;
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const long frames = stream.Read(samples, error);
        if (frames < 0) {
            out.Discard();
            error = flac + ": " + error;
            return false;
        }
        if (frames == 0) break;
        bytes.resize(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(samples[i]));
            bytes[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        if (!out.Write(bytes.data(), bytes.size(), error)) {
            out.Discard();
            return false;
        }
    }
    return out.Finish(error);
}

// The files a sheet's FILE lines name (relative to base), in order.
std::vector<std::string> SheetFiles(const std::string& text, const std::filesystem::path& base) {
    std::vector<std::string> files;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        std::size_t from = 0, to = 0;
        if (!FileName(line, from, to)) continue;
        std::string name = line.substr(from, to - from);
        if (name.size() >= 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
        for (char& c : name)
            if (c == '\\') c = '/';  // as sheets written on other systems name folders
        files.push_back(
            (std::filesystem::path(name).is_absolute() ? std::filesystem::path(name) : base / name)
                .string());
    }
    return files;
}

// Whether two WAVE files written by WaveFileWriter hold the same samples, read in pieces.
bool SameSamples(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
            return false;
        if (x.gcount() == 0 || !x || !y) return !x && !y;
    }
}

}  // namespace

bool StageFlacRip(const std::string& path, const std::string& folder, std::string& cueSheet,
                  std::string& stagedCue, std::string& error, std::vector<StagedFlac>* decoded) {
    stagedCue.clear();
    cueSheet = CueSheetOf(path);
    if (cueSheet.empty()) return true;
    std::string text;
    if (!fs::ReadFile(cueSheet, kMaxCueBytes, text).ok()) return true;  // the verify says why
    const std::filesystem::path base = std::filesystem::path(cueSheet).parent_path();
    std::string staged;
    int count = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(at, end - at);
        at = end;
        std::size_t from = 0, to = 0;
        if (FileName(line, from, to)) {
            std::string name = line.substr(from, to - from);
            if (name.size() >= 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
            for (char& c : name)
                if (c == '\\') c = '/';  // as sheets written on other systems name folders
            const std::filesystem::path file = std::filesystem::path(name).is_absolute()
                                                   ? std::filesystem::path(name)
                                                   : base / name;
            if (IsFlac(file.string())) {
                const std::string wave =
                    (std::filesystem::path(folder) / ("file" + std::to_string(++count) + ".wav"))
                        .string();
                if (!Decode(file.string(), wave, error)) return false;
                if (decoded) decoded->push_back({file.string(), wave});
                // The name and its type: the decoded copy, a WAVE file.
                const std::size_t eol = line.find_first_of("\r\n");
                line = line.substr(0, from) + "\"" + wave + "\" WAVE" +
                       (eol == std::string::npos ? std::string() : line.substr(eol));
            }
        }
        staged += line;
    }
    if (count == 0) return true;
    stagedCue = (std::filesystem::path(folder) / "rip.cue").string();
    const fs::Status s = fs::WriteFileAtomically(stagedCue, staged, {});
    if (!s.ok()) {
        error = "cannot write " + stagedCue + ": " + s.message;
        stagedCue.clear();
        return false;
    }
    return true;
}

bool WriteMendedFlacRip(const std::string& cueSheet, const std::vector<StagedFlac>& staged,
                        const std::string& mendedFolder, const std::string& outFolder,
                        std::vector<std::string>& written, std::string& error) {
    namespace sfs = std::filesystem;
    auto copy = [&](const std::string& from, const std::string& to) {
        fs::WriteOptions fresh;
        fresh.mustBeNew = true;
        const fs::Status s = fs::CopyFileAtomically(from, to, fresh);
        if (!s.ok()) error = "cannot copy " + from + " into " + outFolder + ": " + s.message;
        return s.ok();
    };
    std::string text;
    if (const fs::Status s = fs::ReadFile(cueSheet, kMaxCueBytes, text); !s.ok()) {
        error = cueSheet + ": " + s.message;
        return false;
    }
    for (const std::string& file : SheetFiles(text, sfs::path(cueSheet).parent_path())) {
        const std::string to = (sfs::path(outFolder) / sfs::path(file).filename()).string();
        const auto flac = std::find_if(staged.begin(), staged.end(),
                                       [&](const StagedFlac& x) { return x.flac == file; });
        const std::string mended =
            flac == staged.end()
                ? (sfs::path(mendedFolder) / sfs::path(file).filename()).string()
                : (sfs::path(mendedFolder) / sfs::path(flac->wave).filename()).string();
        std::error_code ec;
        if (!sfs::exists(mended, ec)) {
            if (!copy(file, to)) return false;
        } else if (flac == staged.end()) {
            if (!copy(mended, to)) return false;
        } else {
            if (!formats::ReencodeFlac(flac->flac, mended, to, 8, error)) {
                error = to + ": " + error;
                return false;
            }
            // The new file decodes to the mended samples, bit for bit.
            const std::string check = mended + ".check.wav";
            const bool same = Decode(to, check, error) && SameSamples(mended, check);
            sfs::remove(check, ec);
            if (!same) {
                sfs::remove(to, ec);
                if (error.empty()) error = to + ": does not decode to the mended samples";
                return false;
            }
        }
        written.push_back(to);
    }
    const std::string to = (sfs::path(outFolder) / sfs::path(cueSheet).filename()).string();
    if (!copy(cueSheet, to)) return false;
    written.push_back(to);
    return true;
}

}  // namespace orvane::cdda

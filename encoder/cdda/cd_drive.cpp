#include "encoder/cdda/cd_drive.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace orvane::cdda {

namespace {

constexpr const char* kConfigName = "PlimoCDA.cfg";
constexpr std::size_t kLineBuffer = 200;
constexpr std::size_t kMaxConfigString = 19;

std::mutex gConfigMutex;
bool gConfigLoaded = false;
std::vector<DriveConfigEntry> gConfig;

void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
void PutBe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

bool PrefixNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           ::strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Reads the file line by line in pieces of at most 199 bytes, as a 200-byte line buffer does;
// a line that does not fit is refused whole.
std::vector<DriveConfigEntry> ParseConfigFile(std::FILE* f) {
    std::vector<DriveConfigEntry> entries;
    char buffer[kLineBuffer];
    bool overlong = false;
    for (;;) {
        // fgets ends what it read with a NUL; a full buffer is known by its last byte, since a
        // NUL inside the line hides the length from strlen.
        buffer[kLineBuffer - 1] = 1;
        if (!std::fgets(buffer, sizeof buffer, f)) break;
        const bool full = buffer[kLineBuffer - 1] == '\0' && buffer[kLineBuffer - 2] != '\n';
        std::string piece(buffer);
        bool complete = !full;
        if (overlong) {
            if (complete) overlong = false;
            continue;
        }
        if (full) {
            overlong = true;
            continue;
        }
        DriveConfigEntry entry;
        if (!ParseDriveConfigLine(piece, entry)) continue;
        if (entries.size() >= kMaxConfigEntries) break;
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace

bool ParseDriveConfigLine(const std::string& line, DriveConfigEntry& out) {
    if (line.size() < 10 || line[0] == '#') return false;
    std::string strings[3];
    std::size_t at = 0;
    for (std::string& s : strings) {
        std::size_t open = line.find('"', at);
        if (open == std::string::npos) return false;
        std::size_t close = line.find('"', open + 1);
        if (close == std::string::npos) return false;
        s = line.substr(open + 1, close - open - 1);
        if (s.size() > kMaxConfigString) return false;
        at = close + 1;
    }
    unsigned code = 0, blockMode = 0, density = 0;
    int swap = 0, sectors = 0, spare = 0;
    if (std::sscanf(line.c_str() + at, "%x%x%x%d%d%d", &code, &blockMode, &density, &swap, &sectors,
                    &spare) != 6)
        return false;
    out.vendor = strings[0];
    out.product = strings[1];
    out.revision = strings[2];
    out.readCode = static_cast<std::uint16_t>(code);
    out.setBlockMode = static_cast<std::uint16_t>(blockMode);
    out.density = static_cast<std::uint16_t>(density);
    out.swapBytes = static_cast<std::uint16_t>(swap);
    out.sectorsPerRead = static_cast<std::int16_t>(sectors);
    out.spare = static_cast<std::uint16_t>(spare);
    return true;
}

int LoadDriveConfig(const std::string& appFolder) {
    std::lock_guard lock(gConfigMutex);
    if (gConfigLoaded) return static_cast<int>(gConfig.size());
    std::FILE* f = std::fopen(kConfigName, "rb");
    if (!f && !appFolder.empty()) f = std::fopen((appFolder + kConfigName).c_str(), "rb");
    if (!f) return 0;
    gConfig = ParseConfigFile(f);
    std::fclose(f);
    gConfigLoaded = true;
    return static_cast<int>(gConfig.size());
}

const std::vector<DriveConfigEntry>& DriveConfigTable() { return gConfig; }

void ResetDriveConfig() {
    std::lock_guard lock(gConfigMutex);
    gConfigLoaded = false;
    gConfig.clear();
}

// --- Command blocks --------------------------------------------------------------------------

std::array<std::uint8_t, 6> InquiryCdb() { return {0x12, 0, 0, 0, 44, 0}; }

std::array<std::uint8_t, 10> ReadTocCdb() { return {0x43, 0, 0, 0, 0, 0, 1, 0x08, 0x00, 0}; }

std::array<std::uint8_t, 10> ModeSenseCapabilitiesCdb() {
    return {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 28, 0};
}

std::array<std::uint8_t, 6> ModeSelectCdb() { return {0x15, 0x10, 0, 0, 12, 0}; }

std::array<std::uint8_t, 12> ModeSelectParameters(std::uint16_t density) {
    return {0, 0, 0, 8, static_cast<std::uint8_t>(density), 0, 0, 0, 0, 0x00, 0x09, 0x30};
}

namespace {

// READ CD of count frames from lba, user data only; ATAPI drives take it in 10 bytes, SCSI
// drives in 12.
template <std::size_t N>
std::array<std::uint8_t, N> ReadCdCdb(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, N> c{0xBE};
    PutBe32(&c[2], lba);
    PutBe16(&c[7], count);
    c[9] = 0x10;
    return c;
}

}  // namespace

std::array<std::uint8_t, 10> ReadCdIdeCdb(std::uint32_t lba, std::uint32_t count) {
    return ReadCdCdb<10>(lba, count);
}

std::array<std::uint8_t, 12> ReadCdScsiCdb(std::uint32_t lba, std::uint32_t count) {
    return ReadCdCdb<12>(lba, count);
}

std::array<std::uint8_t, 12> VendorD8Cdb(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 12> c{0xD8};
    PutBe32(&c[2], lba);
    PutBe16(&c[8], count);
    return c;
}

std::array<std::uint8_t, 10> VendorD4Cdb(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 10> c{0xD4};
    PutBe32(&c[2], lba);
    PutBe16(&c[7], count);
    return c;
}

std::array<std::uint8_t, 10> Read10Cdb(std::uint32_t lba, std::uint32_t count) {
    std::array<std::uint8_t, 10> c{0x28};
    PutBe32(&c[2], lba);
    PutBe16(&c[7], count);
    return c;
}

// --- Commands --------------------------------------------------------------------------------

int Inquiry(std::uint16_t adapter, std::uint16_t target, std::string& vendor, std::string& product,
            std::string& revision) {
    SRB_ExecSCSICmd srb{};
    std::uint8_t data[44] = {};
    auto cdb = InquiryCdb();
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                    data, sizeof data, SRB_DIR_IN, cdb.data(), 6);
    if (status == SS_COMP) {
        vendor.assign(reinterpret_cast<char*>(data + 8), 8);
        product.assign(reinterpret_cast<char*>(data + 16), 16);
        revision.assign(reinterpret_cast<char*>(data + 32), 4);
        // Texts end at a zero byte, as the terminated copies do.
        for (std::string* s : {&vendor, &product, &revision})
            s->resize(std::strlen(s->c_str()));
    }
    return status;
}

bool IsIdeAdapter(const std::string& adapterId) {
    return PrefixNoCase(adapterId, "ESDI_506") || PrefixNoCase(adapterId, "IDEATAPI") ||
           PrefixNoCase(adapterId, "ATAPI");
}

int CdDrive::InitDrive(std::uint16_t a, std::uint16_t t, const std::string& adapterId,
                       const std::string& appFolder) {
    LoadDriveConfig(appFolder);
    std::string v, p, r;
    int status = Inquiry(a, t, v, p, r);
    if (status <= 0) return -1;
    adapter = a;
    target = t;
    vendor = v;
    product = p;
    revision = r;
    interfaceName = IsIdeAdapter(adapterId) ? "IDE" : "SCSI";
    isScsi = ::strcasecmp(interfaceName.c_str(), "IDE") == 0 ? 0 : 1;
    readMethod = 0x28;
    sectorsPerRead = 4;
    density = 0;
    swapBytes = 0;
    setBlockMode = 0;
    spare = 0;
    for (const DriveConfigEntry& e : DriveConfigTable()) {
        if (!PrefixNoCase(vendor, e.vendor) || !PrefixNoCase(product, e.product) ||
            !PrefixNoCase(revision, e.revision))
            continue;
        spare = e.spare;
        // The grab buffer holds 256 frames, and a request must read at least one.
        sectorsPerRead =
            static_cast<std::int16_t>(std::clamp<int>(e.sectorsPerRead, 1, kReadBufferFrames));
        density = e.density;
        setBlockMode = e.setBlockMode;
        swapBytes = e.swapBytes;
        switch (e.readCode) {
            case 0xBE:
            case 0xD4:
            case 0xD8:
                readMethod = e.readCode;
                break;
            default:
                readMethod = 0x28;
        }
        break;
    }
    return status;
}

AspiResult CdDrive::ReadToc(TrackTable& table, std::uint8_t* asc) const {
    SRB_ExecSCSICmd srb{};
    std::vector<std::uint8_t> data(kFrameBytes, 0);
    auto cdb = ReadTocCdb();
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                    data.data(), kFrameBytes, SRB_DIR_IN, cdb.data(), 10);
    AspiResult result = MakeAspiResult(status, srb);
    if (result != 1) {
        if (asc) *asc = srb.SenseArea[12];  // fixed-format sense data
        return result;
    }
    int length = (data[0] << 8) | data[1];
    int count = length >= 2 ? (length - 2) / 8 : 0;
    count = std::min({count, kMaxTocEntries, static_cast<int>((kFrameBytes - 4) / 8)});
    table.count = count;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* d = &data[4 + 8 * i];
        TocEntry& e = table.entries[i];
        e.reserved = d[0];
        e.adrControl = d[1];
        e.trackNumber = d[2];
        e.reserved2 = d[3];
        e.start = (std::uint32_t{d[4]} << 24) | (std::uint32_t{d[5]} << 16) |
                  (std::uint32_t{d[6]} << 8) | d[7];
    }
    return result;
}

AspiResult CdDrive::QueryCdCapabilities(std::uint8_t out[28]) const {
    std::memset(out, 0, 28);
    if (isScsi) {
        out[13] |= 0x01;
        return 1;
    }
    SRB_ExecSCSICmd srb{};
    auto cdb = ModeSenseCapabilitiesCdb();
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target), out,
                    28, SRB_DIR_IN, cdb.data(), 10);
    return MakeAspiResult(status, srb);
}

AspiResult CdDrive::SetAudioBlockMode() const {
    if (!isScsi || !setBlockMode) return 1;
    SRB_ExecSCSICmd srb{};
    auto params = ModeSelectParameters(density);
    auto cdb = ModeSelectCdb();
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                    params.data(), 12, SRB_DIR_OUT, cdb.data(), 6);
    return MakeAspiResult(status, srb);
}

AspiResult CdDrive::SetReadSpeed(std::uint16_t kilobytesPerSecond) const {
    SRB_ExecSCSICmd srb{};
    // The write speed stays as it is (FFFFh).
    std::uint8_t cdb[12] = {0xBB,
                            0,
                            static_cast<std::uint8_t>(kilobytesPerSecond >> 8),
                            static_cast<std::uint8_t>(kilobytesPerSecond),
                            0xFF,
                            0xFF};
    int status = AspiExecCdb(srb, static_cast<std::uint8_t>(adapter),
                             static_cast<std::uint8_t>(target), nullptr, 0, SRB_DIR_IN, cdb, 12);
    return MakeAspiResult(status, srb);
}

AspiResult CdDrive::OpenTray() const {
    SRB_ExecSCSICmd srb{};
    const std::uint8_t cdb[6] = {0x1B, 0, 0, 0, 0x02, 0};
    int status = AspiExecCdb(srb, static_cast<std::uint8_t>(adapter),
                             static_cast<std::uint8_t>(target), nullptr, 0, SRB_DIR_IN, cdb, 6);
    return MakeAspiResult(status, srb);
}

std::array<std::uint8_t, 12> CdDrive::ReadCommand(std::uint32_t first, std::uint32_t count,
                                                  std::uint8_t& length) const {
    std::array<std::uint8_t, 12> out{};
    auto put = [&](const auto& cdb) {
        std::copy(cdb.begin(), cdb.end(), out.begin());
        length = static_cast<std::uint8_t>(cdb.size());
    };
    if (!isScsi) {
        put(ReadCdIdeCdb(first, count));
        return out;
    }
    switch (readMethod) {
        case 0xD8:
            put(VendorD8Cdb(first, count));
            break;
        case 0xD4:
            put(VendorD4Cdb(first, count));
            break;
        case 0xBE:
            put(ReadCdScsiCdb(first, count));
            break;
        default:
            put(Read10Cdb(first, count));
    }
    return out;
}

AspiResult CdDrive::ReadAudioFrames(std::uint32_t first, std::uint32_t count,
                                    std::uint8_t* out) const {
    std::uint8_t length = 0;
    auto cdb = ReadCommand(first, count, length);
    SRB_ExecSCSICmd srb{};
    std::uint32_t bytes = count * kFrameBytes;
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target), out,
                    bytes, SRB_DIR_IN, cdb.data(), length);
    AspiResult result = MakeAspiResult(status, srb);
    if (result == 1 && isScsi && swapBytes) {
        for (std::uint32_t i = 0; i + 1 < bytes; i += 2)
            std::swap(out[i], out[i + 1]);
    }
    return result;
}

AspiResult CdDrive::ReadAudioFramesC2(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                                      std::uint8_t* c2) const {
    constexpr std::size_t kPerFrame = kFrameBytes + kC2Bytes;
    auto cdb = ReadCdScsiCdb(first, count);
    cdb[9] = 0x12;  // user data and the C2 error pointers (error field 01b)
    std::vector<std::uint8_t> data(std::size_t{count} * kPerFrame);
    SRB_ExecSCSICmd srb{};
    int status =
        AspiExecCdb(srb, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                    data.data(), static_cast<std::uint32_t>(data.size()), SRB_DIR_IN, cdb.data(),
                    static_cast<std::uint8_t>(cdb.size()));
    AspiResult result = MakeAspiResult(status, srb);
    if (result != 1) return result;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint8_t* frame = out + std::size_t{k} * kFrameBytes;
        std::memcpy(frame, data.data() + k * kPerFrame, kFrameBytes);
        std::memcpy(c2 + std::size_t{k} * kC2Bytes, data.data() + k * kPerFrame + kFrameBytes,
                    kC2Bytes);
        if (isScsi && swapBytes) {
            for (std::uint32_t i = 0; i + 1 < kFrameBytes; i += 2)
                std::swap(frame[i], frame[i + 1]);
        }
    }
    return result;
}

std::string NoDriveReason() {
    std::string messages = AspiDriveMessages();
    return messages.empty() ? AspiLoadError() : messages;
}

int DiscoverDrives(std::array<CdDrive, kMaxDrives>& table, const std::string& appFolder) {
    int adapters = AspiLoad();
    if (adapters <= 0) return -1;
    int count = 0;
    for (int a = 0; a < adapters; ++a) {
        char manager[17] = {}, identifier[17] = {};
        AspiHaInquiry(static_cast<std::uint8_t>(a), manager, identifier);
        for (int t = 0; t < 8; ++t) {
            int type = 0;
            int status =
                AspiGetDeviceType(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(t), type);
            if (status != SS_COMP || type != 5) continue;
            if (count >= kMaxDrives) return count;  // the table is full
            table[count].InitDrive(static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(t),
                                   identifier, appFolder);
            ++count;
        }
    }
    return count > 0 ? count : -1;
}

}  // namespace orvane::cdda

#include "platform/cdrom/drives.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/cdrom/sg_drive.h"
#include "platform/fs/fs.h"
#include "platform/shell/sysinfo.h"

namespace orvane::cdrom {

namespace {

// drives.conf holds a few lines per image drive.
constexpr std::size_t kMaxDriveConfigBytes = 1u << 20;

std::mutex gMutex;
bool gKnown = false;
std::vector<DriveEntry> gDrives;
std::vector<std::string> gMessages;

std::string Trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

void Assign(std::vector<DriveEntry>& list, std::shared_ptr<DiscDrive> drive) {
    if (list.size() >= 23) return;  // D: to Z:
    list.push_back({DriveLetter(static_cast<int>(list.size())), std::move(drive)});
}

std::vector<std::string> SplitColons(const std::string& list) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t colon = list.find(':', at);
        std::string item = list.substr(at, colon == std::string::npos ? colon : colon - at);
        if (!item.empty()) out.push_back(item);
        if (colon == std::string::npos) break;
        at = colon + 1;
    }
    return out;
}

std::vector<std::string> RealDevices() {
    if (const char* env = std::getenv("ORVANE_CD_DEVICES"); env && *env) return SplitColons(env);
    std::vector<std::pair<int, std::string>> found;
    if (DIR* d = opendir("/dev")) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 2 && name.compare(0, 2, "sr") == 0 &&
                std::all_of(name.begin() + 2, name.end(),
                            [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
                found.emplace_back(std::atoi(name.c_str() + 2), "/dev/" + name);
            }
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

std::string FirstCueIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".cue") == 0) {
                names.push_back(name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : folder + names.front();
}

void Discover() {
    gDrives.clear();
    gMessages.clear();
    auto note = [](const std::string& text) {
        gMessages.push_back(text);
        std::fprintf(stderr, "orvane: %s\n", text.c_str());
    };
    DriveConfig config;
    std::string configPath = ConfigFolder() + "drives.conf";
    std::string text;
    const orvane::fs::Status read = orvane::fs::ReadFile(configPath, kMaxDriveConfigBytes, text);
    if (!read && read.kind != orvane::fs::Status::Kind::Missing) note(read.message);
    if (read) {
        std::vector<std::string> errors;
        config = ParseDriveConfig(text, ConfigFolder(), configPath, errors);
        for (const std::string& e : errors)
            note(e);
    }
    if (const char* env = std::getenv("ORVANE_CD_IMAGES"); env && *env) {
        for (const std::string& path : SplitColons(env))
            config.images.push_back({path, {}, 0});
    }
    bool anyReal = false;
    if (config.realDrives) {
        for (const std::string& device : RealDevices()) {
            std::string error;
            if (auto drive = SgDrive::Open(device, error)) {
                Assign(gDrives, std::shared_ptr<DiscDrive>(std::move(drive)));
                anyReal = true;
            }
        }
    }
    for (const ImageConfig& image : config.images) {
        std::string error;
        if (auto drive = ImageDrive::Open(image.cuePath, error)) {
            drive->SetFaults(image.faults);
            Assign(gDrives, std::shared_ptr<DiscDrive>(std::move(drive)));
        } else {
            note(error);
        }
    }
    if (!anyReal && config.images.empty()) {
        std::string demo = DemoDiscPath();
        if (!demo.empty()) {
            std::string error;
            if (auto drive = ImageDrive::Open(demo, error)) {
                Assign(gDrives, std::shared_ptr<DiscDrive>(std::move(drive)));
            } else {
                note(error);
            }
        }
    }
    gKnown = true;
}

}  // namespace

DriveConfig ParseDriveConfig(const std::string& text, const std::string& folder,
                             const std::string& name, std::vector<std::string>& errors) {
    DriveConfig config;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    auto error = [&](const std::string& message) {
        errors.push_back(name + ":" + std::to_string(line) + ": " + message);
    };
    while (std::getline(in, raw)) {
        ++line;
        std::string s = Trim(raw);
        if (s.empty() || s[0] == '#') continue;
        std::size_t eq = s.find('=');
        if (eq == std::string::npos) {
            error("expected \"key = value\"");
            continue;
        }
        std::string key = Trim(s.substr(0, eq));
        std::string value = Trim(s.substr(eq + 1));
        if (key == "image") {
            if (value.empty()) {
                error("image without a cue sheet path");
                continue;
            }
            std::string path = value[0] == '/' ? value : folder + value;
            config.images.push_back({path, {}, line});
        } else if (key == "faults") {
            if (config.images.empty()) {
                error("faults before any image");
                continue;
            }
            FaultPlan plan;
            bool ok = true;
            for (const std::string& word : Words(value)) {
                std::string message;
                if (!ParseFaultWord(word, plan, message)) {
                    error(message);
                    ok = false;
                    break;
                }
            }
            if (ok) config.images.back().faults = plan;
        } else if (key == "real_drives") {
            if (value == "no" || value == "0" || value == "off") {
                config.realDrives = false;
            } else if (value == "yes" || value == "1" || value == "on") {
                config.realDrives = true;
            } else {
                error("real_drives takes yes or no");
            }
        } else {
            error("unknown key \"" + key + "\"");
        }
    }
    return config;
}

std::string ConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        return std::string(xdg) + "/orvane/";
    }
    return orvane::shell::HomeFolder() + "/.config/orvane/";
}

std::string DemoDiscPath() {
    std::string folder = orvane::shell::ModuleFolder();
    if (folder.empty()) return {};
    for (const std::string& candidate : {folder + "demo/", folder + "../demo/"}) {
        std::string cue = FirstCueIn(candidate);
        if (!cue.empty()) return cue;
    }
    return {};
}

std::vector<DriveEntry> Drives() {
    std::lock_guard lock(gMutex);
    if (!gKnown) Discover();
    return gDrives;
}

std::shared_ptr<DiscDrive> DriveForLetter(char letter) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const DriveEntry& e : Drives()) {
        if (e.letter == upper) return e.drive;
    }
    return nullptr;
}

char DriveLetter(int index) { return static_cast<char>('D' + index); }

int DriveIndex(char letter) { return std::toupper(static_cast<unsigned char>(letter)) - 'D'; }

std::shared_ptr<DiscDrive> DriveAt(int index) {
    if (index < 0 || index > DriveIndex('Z')) return nullptr;
    return DriveForLetter(DriveLetter(index));
}

void InstallDrives(std::vector<std::shared_ptr<DiscDrive>> drives) {
    std::lock_guard lock(gMutex);
    gDrives.clear();
    gMessages.clear();
    for (auto& d : drives)
        Assign(gDrives, std::move(d));
    gKnown = true;
}

void ResetDrives() {
    std::lock_guard lock(gMutex);
    gDrives.clear();
    gMessages.clear();
    gKnown = false;
}

std::vector<std::string> DriveMessages() {
    std::lock_guard lock(gMutex);
    return gMessages;
}

}  // namespace orvane::cdrom

UINT GetDriveTypeA(LPCSTR root) {
    if (!root) return DRIVE_FIXED;  // the root of the current folder
    std::string r = root;
    bool rootForm = r.size() == 2 || (r.size() == 3 && (r[2] == '\\' || r[2] == '/'));
    if (!rootForm || r[1] != ':' || !std::isalpha(static_cast<unsigned char>(r[0]))) {
        return DRIVE_NO_ROOT_DIR;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(r[0])));
    if (orvane::cdrom::DriveForLetter(letter)) return DRIVE_CDROM;
    if (letter == 'C') return DRIVE_FIXED;
    return DRIVE_NO_ROOT_DIR;
}

#include "cdplayer/ui/desktop_default.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/shell/sysinfo.h"

namespace orvane::cdplayer::ui {

namespace fs = std::filesystem;

DesktopFolders DesktopFoldersFromEnvironment() {
    const auto env = [](const char* name) {
        const char* v = std::getenv(name);
        // Relative values are invalid by the base directory rules and are ignored.
        return v && v[0] == '/' ? std::string(v) : std::string();
    };
    DesktopFolders f;
    f.dataHome = env("XDG_DATA_HOME");
    if (f.dataHome.empty()) f.dataHome = shell::HomeFolder() + "/.local/share";
    f.configHome = env("XDG_CONFIG_HOME");
    if (f.configHome.empty()) f.configHome = shell::HomeFolder() + "/.config";
    return f;
}

bool DesktopExec(const std::string& executablePath, std::string& exec) {
    if (executablePath.empty() || executablePath.find_first_of("\n\r") != std::string::npos)
        return false;
    static const char* const kReserved = " \t\"'\\><~|&;$*?#()`";
    std::string arg;
    if (executablePath.find_first_of(kReserved) != std::string::npos) {
        arg = "\"";
        for (char c : executablePath) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') arg += '\\';
            arg += c;
        }
        arg += '"';
    } else {
        arg = executablePath;
    }
    // The value is a string first: each backslash is written twice; a percent sign is doubled.
    exec.clear();
    for (char c : arg) {
        if (c == '\\')
            exec += "\\\\";
        else if (c == '%')
            exec += "%%";
        else
            exec += c;
    }
    exec += " /play %%1";
    return true;
}

namespace {

// The most a mimeapps.list of ours to edit may hold; it is a short list of associations.
constexpr std::size_t kMaxMimeAppsBytes = 4u << 20;

bool WriteReplacing(const fs::path& path, const std::string& text, std::string& error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        error = "cannot create " + path.parent_path().string() + ": " + ec.message();
        return false;
    }
    orvane::fs::WriteOptions options;
    options.mode = 0644;
    const orvane::fs::Status status = orvane::fs::WriteFileAtomically(path.string(), text, options);
    if (!status) error = status.message;
    return status.ok();
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::string WithAudioCdDefault(const std::string& mimeapps) {
    std::vector<std::string> lines;
    {
        std::istringstream in(mimeapps);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
    }
    const std::string entry = std::string(kAudioCdType) + "=" + kDesktopFileName + ";";
    const std::string group = "[Default Applications]";
    std::string current;
    bool placed = false;
    std::vector<std::string> out;
    int groupEnd = -1;
    for (const std::string& line : lines) {
        const std::string t = Trim(line);
        if (!t.empty() && t.front() == '[') {
            if (current == group && !placed) {
                // The group had no line for audio CDs: add one at its end.
                out.insert(out.begin() + groupEnd, entry);
                placed = true;
            }
            current = t;
            out.push_back(line);
            groupEnd = static_cast<int>(out.size());
            continue;
        }
        if (current == group) {
            const auto eq = t.find('=');
            if (eq != std::string::npos && Trim(t.substr(0, eq)) == kAudioCdType) {
                if (!placed) out.push_back(entry);
                placed = true;
                groupEnd = static_cast<int>(out.size());
                continue;
            }
            out.push_back(line);
            if (!t.empty()) groupEnd = static_cast<int>(out.size());
            continue;
        }
        out.push_back(line);
    }
    if (!placed) {
        if (current == group) {
            out.insert(out.begin() + groupEnd, entry);
        } else {
            if (!out.empty() && !Trim(out.back()).empty()) out.push_back("");
            out.push_back(group);
            out.push_back(entry);
        }
    }
    std::string text;
    for (const std::string& line : out)
        text += line + "\n";
    return text;
}

bool RegisterDefaultCdPlayer(const std::string& executablePath, const DesktopFolders& folders,
                             std::string& error) {
    std::string exec;
    if (!DesktopExec(executablePath, exec)) {
        error = "the program's path cannot be written into a desktop entry";
        return false;
    }
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Orvane CD Player\n"
        "Comment=Play audio CDs\n"
        "Exec=" +
        exec +
        "\n"
        "Icon=media-optical-audio\n"
        "Terminal=false\n"
        "NoDisplay=true\n"
        "MimeType=" +
        std::string(kAudioCdType) +
        ";\n"
        "Categories=AudioVideo;Audio;Player;\n";
    const fs::path desktop = fs::path(folders.dataHome) / "applications" / kDesktopFileName;
    if (!WriteReplacing(desktop, entry, error)) return false;

    const fs::path list = fs::path(folders.configHome) / "mimeapps.list";
    // A list that exists but cannot be read is left alone: rewriting it would drop its entries.
    std::string old;
    const orvane::fs::Status read = orvane::fs::ReadFile(list.string(), kMaxMimeAppsBytes, old);
    if (!read && read.kind != orvane::fs::Status::Kind::Missing) {
        error = read.message;
        return false;
    }
    return WriteReplacing(list, WithAudioCdDefault(old), error);
}

}  // namespace orvane::cdplayer::ui

#include "encoder/tags/file_names.h"

#include "encoder/tags/paths.h"

namespace orvane::encoder {

std::string CleanNameCharacters(const std::string& text, bool dropControls) {
    std::string clean;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        // C1 controls in UTF-8 (U+0080 to U+009F) go as C0 controls do.
        if (dropControls && static_cast<unsigned char>(ch) == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            ++i;
            continue;
        }
        switch (ch) {
            case ':':
            case '\\':
            case '/':
            case '<':
            case '>':
            case '|':
                clean += '-';
                break;
            case '*':
            case '?':
                break;
            case '"':
                clean += '\'';
                break;
            default: {
                const auto c = static_cast<unsigned char>(ch);
                if (!dropControls || (c >= 0x20 && c != 0x7F)) clean += ch;
            }
        }
    }
    return clean;
}

std::string CutCharacters(const std::string& text, std::size_t limit) {
    std::size_t chars = 0, cut = 0;
    while (cut < text.size() && chars < limit) {
        ++cut;
        while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            ++cut;
        ++chars;
    }
    return text.substr(0, cut);
}

std::string CdTrackFileName(const std::string& folder, const std::string& artist,
                            const std::string& title, int trackNumber) {
    std::string name = artist;
    if (artist.size() >= 2) name += " - ";
    name += title;
    // Control characters (a database's "\n" escape, tabs) never reach a file name.
    std::string clean = CutCharacters(CleanNameCharacters(name, true), 65);
    if (clean.find_first_not_of('.') == std::string::npos)
        clean = "Track" + std::to_string(trackNumber);
    return WithTrailingSlash(folder) + clean + ".MP3";
}

}  // namespace orvane::encoder

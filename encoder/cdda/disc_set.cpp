#include "encoder/cdda/disc_set.h"

#include <cctype>

namespace orvane::cdda {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Reads a number of one or two digits at text[at]; false when there is none.
bool Digits(const std::string& text, std::size_t& at, int& value) {
    std::size_t start = at;
    value = 0;
    while (at < text.size() && at - start < 2 && std::isdigit(static_cast<unsigned char>(text[at])))
        value = value * 10 + (text[at++] - '0');
    return at > start && !(at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])));
}

}  // namespace

bool DiscOfAlbumTitle(const std::string& title, int& number, int& total, std::string& album) {
    const std::string lower = Lower(title);
    for (const char* word : {"disc", "disk", "cd"}) {
        const std::string w = word;
        for (std::size_t at = lower.rfind(w); at != std::string::npos && at > 0;
             at = at > 0 ? lower.rfind(w, at - 1) : std::string::npos) {
            // The word starts a word of its own, after a blank, "(" or "[".
            const char before = lower[at - 1];
            if (before != ' ' && before != '(' && before != '[') continue;
            std::size_t p = at + w.size();
            while (p < lower.size() && lower[p] == ' ')
                ++p;
            int n = 0, m = 0;
            if (!Digits(lower, p, n) || n < 1) continue;
            std::size_t q = p;
            while (q < lower.size() && lower[q] == ' ')
                ++q;
            if (lower.compare(q, 2, "of") == 0 || (q < lower.size() && lower[q] == '/')) {
                q += lower[q] == '/' ? 1 : 2;
                while (q < lower.size() && lower[q] == ' ')
                    ++q;
                if (!Digits(lower, q, m) || m < n) continue;
                p = q;
            }
            const bool bracket = before == '(' || before == '[';
            if (bracket) {
                if (p >= lower.size() || lower[p] != (before == '(' ? ')' : ']')) continue;
                ++p;
            }
            if (p != lower.size()) continue;
            std::size_t cut = bracket ? at - 1 : at;
            while (cut > 0 && (title[cut - 1] == ' ' || title[cut - 1] == '-' ||
                               title[cut - 1] == ',' || title[cut - 1] == ':'))
                --cut;
            if (cut == 0) continue;  // a title of nothing but the disc's place
            number = n;
            total = m;
            album = title.substr(0, cut);
            return true;
        }
    }
    return false;
}

bool ParseDiscNumber(const std::string& text, int& number, int& total) {
    std::size_t at = 0;
    int n = 0, m = 0;
    if (!Digits(text, at, n) || n < 1) return false;
    if (at < text.size()) {
        if (text[at] != '/') return false;
        ++at;
        if (!Digits(text, at, m) || m < n || at != text.size()) return false;
    }
    number = n;
    total = m;
    return true;
}

bool DiscOfRelease(const std::string& position, const std::string& media, int& number, int& total) {
    int n = 0, m = 0;
    if (position.empty() || media.empty() || !ParseDiscNumber(position + "/" + media, n, m) ||
        m < 2)
        return false;
    number = n;
    total = m;
    return true;
}

void SetDiscOfSet(encoder::JobRequest& request, int number, int total, const std::string& album) {
    request.cd.discOfSet = number;
    for (std::size_t i = 1; i < request.fullTags.size(); ++i) {
        tags::TrackTags& full = request.fullTags[i];
        full.Set(tags::TagField::DiscNumber, std::to_string(number));
        if (total > 0) full.Set(tags::TagField::DiscTotal, std::to_string(total));
        if (!album.empty()) full.Set(tags::TagField::Album, album);
    }
    if (!album.empty())
        for (int i = 1; i < encoder::TagTable::kEntries; ++i)
            if (request.tags[i].Bytes()[0] == 'T') request.tags[i].SetAlbum(album);
}

}  // namespace orvane::cdda

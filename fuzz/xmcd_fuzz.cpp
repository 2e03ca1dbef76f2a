// xmcd entries as servers send them (status line first) and as entry files hold them. Whatever
// the text, what is handed out is UTF-8 text and an entry that was read is written back in a
// form that reads again to the same disc.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/freedb/xmcd.h"
#include "fuzz/fuzz_support.h"

namespace {

using orvane::fuzz::Check;
namespace fdb = orvane::freedb;

bool ValidUtf8(const std::string& s) { return fdb::DecodeText(s) == s; }

std::string WithoutCr(std::string s) {
    std::erase(s, '\r');
    return s;
}

std::string WithoutTrailingSpace(std::string s) {
    while (!s.empty() && std::string_view(" \t\r\n\v").find(s.back()) != std::string_view::npos)
        s.pop_back();
    return s;
}

void CheckRead(const fdb::FreeDBDiscInfo& info, std::size_t lines) {
    Check(info.trackTitles.size() <= lines, "no more track titles than keyword lines");
    Check(info.trackOffsets.size() <= lines, "no more offsets than comment lines");
    Check(info.extendedTrack.size() <= lines, "no more track notes than keyword lines");
    for (const auto* texts : {&info.trackTitles, &info.extendedDisc, &info.extendedTrack})
        for (const std::string& t : *texts)
            Check(ValidUtf8(t), "entry values are UTF-8");
    for (const std::string& t : info.extendedDisc)
        Check(t.find('\n') == std::string::npos, "extended disc data is cut at its newlines");
    for (const std::string* t : {&info.artist, &info.title, &info.program, &info.version})
        Check(ValidUtf8(*t), "entry fields are UTF-8");
    Check(!info.program.empty() && !info.version.empty(), "a read entry names its submitter");
    const std::string json = fdb::ToJson(info);
    for (unsigned char c : json)
        Check(c >= 0x20, "the JSON form escapes control characters");
}

void CheckRoundTrip(const fdb::FreeDBDiscInfo& info) {
    const std::string text = fdb::FormatXmcdEntry(info);
    fdb::FreeDBDiscInfo again;
    std::string reason;
    Check(fdb::ParseXmcdFile(text, again, &reason), "a written entry reads again");
    Check(again.discId == info.discId, "the disc id survives writing");
    Check(again.trackOffsets == info.trackOffsets, "the offsets survive writing");
    Check(again.discLength == info.discLength, "the disc length survives writing");
    Check(again.revision == info.revision, "the revision survives writing");
    // White space ending a word is taken as part of the line end when the line is read again.
    Check(WithoutTrailingSpace(again.program) == WithoutTrailingSpace(info.program) &&
              WithoutTrailingSpace(again.version) == WithoutTrailingSpace(info.version) &&
              WithoutTrailingSpace(again.comment) == WithoutTrailingSpace(info.comment),
          "the submitter survives writing");
    Check(again.trackTitles.size() == info.trackTitles.size(), "every track title is written");
    for (std::size_t i = 0; i < info.trackTitles.size(); ++i)
        Check(again.trackTitles[i] == WithoutCr(info.trackTitles[i]),
              "track titles survive writing");
    Check(again.playOrder == info.playOrder, "the play order survives writing");
    if (info.artist.find('/') == std::string::npos && info.title.find('/') == std::string::npos &&
        !info.artist.empty()) {
        Check(again.artist == WithoutCr(info.artist) && again.title == WithoutCr(info.title),
              "artist and title survive writing");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (char c : text)
        lines += c == '\n';

    fdb::FreeDBDiscInfo reply;
    int error = -1;
    std::string reason;
    if (fdb::ParseXmcdEntry(text, reply, &error, &reason, true)) {
        CheckRead(reply, lines);
        CheckRoundTrip(reply);
    } else {
        Check(error == 0 || error == 10043, "a refused reply carries 0 or 10043");
        Check(!reason.empty(), "a refused reply says why");
    }

    fdb::FreeDBDiscInfo file;
    reason.clear();
    if (fdb::ParseXmcdFile(text, file, &reason)) {
        CheckRead(file, lines);
        CheckRoundTrip(file);
    } else {
        Check(!reason.empty(), "a refused file says why");
    }

    const std::string escaped = fdb::EscapeValue(text);
    Check(escaped.find('\n') == std::string::npos, "an escaped value fits on one line");
    Check(fdb::UnescapeValue(escaped) == WithoutCr(text), "unescaping reverses escaping");
    return 0;
}

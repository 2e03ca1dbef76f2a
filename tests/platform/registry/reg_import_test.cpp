#include "platform/registry/reg_import.h"

#include <gtest/gtest.h>

#include <string>

#include "support/utf16.h"

namespace orvane::test {
namespace {

using orvane::registry::KeyChange;
using orvane::registry::ReadRegFile;
using orvane::registry::RegImport;
using Kind = KeyChange::Kind;

std::string Path(const KeyChange& c) {
    std::string out;
    for (const auto& part : c.path)
        out += "\\" + part;
    return out;
}

TEST(RegImport, ReadsTheFormOtherEditorsWriteWithCrLf) {
    const std::string file =
        "REGEDIT4\r\n"
        "\r\n"
        "; exported on another machine\r\n"
        "[HKEY_CURRENT_USER\\Software\\Old]\r\n"
        "\"Drive\"=\"D:\"\r\n"
        "@=\"default\"\r\n"
        "\"Path\"=hex(2):25,54,45,4d,50,25,5c,\\\r\n"
        "  61,00\r\n"
        "\"Gone\"=-\r\n"
        "\"Count\"=DWORD:1f\r\n"
        "\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Stale]\r\n"
        "\"ignored\"=\"in a deleted key\"\r\n"
        "[HKCU\\Software\\50%]\r\n";
    RegImport r = ReadRegFile(file);
    ASSERT_EQ(r.errorLine, 0) << r.error;
    ASSERT_EQ(r.changes.size(), 8u);
    EXPECT_EQ(r.changes[0].kind, Kind::CreateKey);
    EXPECT_EQ(r.changes[0].root, HKEY_CURRENT_USER);
    EXPECT_EQ(Path(r.changes[0]), "\\Software\\Old");
    EXPECT_EQ(r.changes[1].value.name, "Drive");
    EXPECT_EQ(r.changes[1].value.data, std::string("D:\0", 3));
    EXPECT_EQ(r.changes[2].value.name, "");
    EXPECT_EQ(r.changes[3].value.type, 2u);
    EXPECT_EQ(r.changes[3].value.data, std::string("%TEMP%\\a\0", 9));
    EXPECT_EQ(r.changes[4].kind, Kind::DeleteValue);
    EXPECT_EQ(r.changes[4].value.name, "Gone");
    EXPECT_EQ(r.changes[5].value.type, 4u);
    EXPECT_EQ(r.changes[5].value.data, std::string("\x1f\0\0\0", 4));
    EXPECT_EQ(r.changes[6].kind, Kind::DeleteKey);
    EXPECT_EQ(r.changes[6].root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(Path(r.changes[7]), "\\Software\\50%");  // a lone '%' is part of the name
}

TEST(RegImport, ReadsTheUtf16FormAndTurnsItsTextIntoUtf8) {
    const std::string file = Utf16LeWithBom(
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Caf\u00e9]\r\n"
        u"\"Name\"=\"\u6b4c \U0001F3B5\"\r\n"
        u"\"List\"=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
        u"\"Raw\"=hex:e9,00\r\n");
    RegImport r = ReadRegFile(file);
    ASSERT_EQ(r.errorLine, 0) << r.error;
    ASSERT_EQ(r.changes.size(), 4u);
    EXPECT_EQ(r.changes[0].path.back(), "Caf\xc3\xa9");
    EXPECT_EQ(r.changes[1].value.data, "\xe6\xad\x8c \xf0\x9f\x8e\xb5" + std::string(1, '\0'));
    EXPECT_EQ(r.changes[2].value.data, std::string("a\0\xc3\xa9\0\0", 6));
    EXPECT_EQ(r.changes[3].value.data, std::string("\xe9\0", 2));  // binary stays as it is
}

TEST(RegImport, RefusesWhatWouldLandInAnotherKeyOrTooDeep) {
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"REGEDIT4\n[HKEY_CURRENT_USER\\%5c]\n\"v\"=\"x\"\n", 2},
        {"REGEDIT4\n\n[HKCU\\a%5cb]\n", 3},
        // A NUL in a key name (raw or escaped) names a key nothing could open or export again.
        {std::string("REGEDIT4\n\n[HKEY_USERS\\.DE\x01") + '\0' + "ftware]\n\"a\"=\"b\"\n", 3},
        {"REGEDIT4\n[HKCU\\a%00b]\n", 2},
        {"REGEDIT4\n[HKCU\\a\\\\b]\n", 2},
        {"REGEDIT4\n[HKEY_NOWHERE\\a]\n", 2},
        {"REGEDIT4\n\"v\"=\"before any key\"\n", 2},
        {"REGEDIT4\n[HKCU\\a]\n\"v\"=hex:00,\\\n", 3},
        {"REGEDIT 4\n", 1},
        {"", 1},
    };
    for (const Case& c : cases) {
        RegImport r = ReadRegFile(c.text);
        EXPECT_EQ(r.errorLine, c.line) << c.text;
        EXPECT_TRUE(r.changes.empty());
    }
    std::string deep = "REGEDIT4\n[HKCU";
    for (int i = 0; i < 512; ++i)
        deep += "\\k";
    EXPECT_EQ(ReadRegFile(deep + "]\n").errorLine, 0);
    EXPECT_EQ(ReadRegFile(deep + "\\k]\n").errorLine, 2);
}

}  // namespace
}  // namespace orvane::test

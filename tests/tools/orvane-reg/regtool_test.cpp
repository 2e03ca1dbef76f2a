// The registry tool as users and scripts run it: the program in dist/, its output, its exit
// status.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "platform/registry/registry_fixture.h"
#include "support/utf16.h"

namespace orvane::test {
namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs the tool; `environment` ("NAME=value ") goes before it on the shell's command line.
Outcome Tool(const std::string& arguments, const std::string& environment = "") {
    std::string command =
        environment + (DistDir() / "orvane-reg").string() + " " + arguments + " 2>&1";
    Outcome outcome{};
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        outcome.out.append(buf.data(), n);
    outcome.status = WEXITSTATUS(pclose(pipe));
    return outcome;
}

using RegTool = RegistryTest;

TEST_F(RegTool, AddQueryExportDeleteImport) {
    EXPECT_EQ(
        0,
        Tool(
            R"(add "HKCU\Software\Orvane Systems\Tarvo\General" /v StopCDOnExit /t REG_DWORD /d 1)")
            .status);
    EXPECT_EQ(0,
              Tool(R"(add "HKCU\Software\Orvane Systems\Tarvo\General" /v Drive /d "D:")").status);
    EXPECT_EQ(
        0, Tool(R"(add "HKCU\Software\Orvane Systems\Tarvo\General" /v Blob /t REG_BINARY /d 00ff)")
               .status);
    EXPECT_EQ(
        0,
        Tool(
            R"(add "HKCU\Software\Orvane Systems\Tarvo\General" /v List /t REG_MULTI_SZ /d "a\0b")")
            .status);

    Outcome q = Tool(R"(query "HKEY_CURRENT_USER\Software\Orvane Systems" /s)");
    EXPECT_EQ(0, q.status);
    EXPECT_NE(std::string::npos,
              q.out.find("HKEY_CURRENT_USER\\Software\\Orvane Systems\\Tarvo\\General\n"));
    EXPECT_NE(std::string::npos, q.out.find("    StopCDOnExit    REG_DWORD    0x1\n"));
    EXPECT_NE(std::string::npos, q.out.find("    Drive    REG_SZ    D:\n"));
    EXPECT_NE(std::string::npos, q.out.find("    Blob    REG_BINARY    00FF\n"));
    EXPECT_NE(std::string::npos, q.out.find("    List    REG_MULTI_SZ    a\\0b\n"));

    // An existing value is overwritten only with /f.
    Outcome again = Tool(R"(add "HKCU\Software\Orvane Systems\Tarvo\General" /v Drive /d E:)");
    EXPECT_EQ(1, again.status);
    EXPECT_NE(std::string::npos, again.out.find("ERROR: "));

    std::string file = (Dir() / "tarvo.reg").string();
    ASSERT_EQ(0, Tool(R"(export "HKCU\Software\Orvane Systems" )" + file).status);
    EXPECT_EQ(1, Tool(R"(delete "HKCU\Software\Orvane Systems")").status);  // no /f
    ASSERT_EQ(0, Tool(R"(delete "HKCU\Software\Orvane Systems" /f)").status);
    Outcome gone = Tool(R"(query "HKCU\Software\Orvane Systems\Tarvo\General" /v Drive)");
    EXPECT_EQ(1, gone.status);
    EXPECT_NE(
        std::string::npos,
        gone.out.find("ERROR: The system was unable to find the specified registry key or value."));
    ASSERT_EQ(0, Tool("import " + file).status);
    Outcome back = Tool(R"(query "HKCU\Software\Orvane Systems\Tarvo\General" /v Blob)");
    EXPECT_EQ(0, back.status);
    EXPECT_NE(std::string::npos, back.out.find("00FF"));
}

TEST_F(RegTool, BadInputFailsWithAReason) {
    for (const char* args :
         {"", "frobnicate HKCU", "query HKXX\\Software", "add HKCU\\A /t REG_DWORD /v x /d 12abc",
          "add HKCU\\A /v x /t REG_BINARY /d 0g", "query \\\\farhost\\HKLM\\Software",
          "import /nonexistent/file.reg"}) {
        Outcome o = Tool(args);
        EXPECT_EQ(1, o.status) << args;
        EXPECT_TRUE(o.out.find("ERROR: ") != std::string::npos ||
                    o.out.find("Usage: ") != std::string::npos)
            << args << ": " << o.out;
    }
    std::string bad = (Dir() / "bad.reg").string();
    WriteFile(bad, "REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n\"v\"=dword:xyz\n");
    Outcome o = Tool("import " + bad);
    EXPECT_EQ(1, o.status);
    EXPECT_NE(std::string::npos, o.out.find("line 4"));
}

TEST_F(RegTool, SaveAndRestoreAKeyFile) {
    ASSERT_EQ(0, Tool(R"(add "HKLM\Software\Keep" /v n /t REG_DWORD /d 0x10)").status);
    std::string file = (Dir() / "keep.hiv").string();
    ASSERT_EQ(0, Tool(R"(save "HKLM\Software\Keep" )" + file).status);
    EXPECT_EQ(1, Tool(R"(save "HKLM\Software\Keep" )" + file).status);
    ASSERT_EQ(0, Tool(R"(add "HKLM\Software\Keep" /v n /t REG_DWORD /d 3 /f)").status);
    ASSERT_EQ(0, Tool(R"(restore "HKLM\Software\Keep" )" + file).status);
    EXPECT_NE(std::string::npos, Tool(R"(query "HKLM\Software\Keep" /v n)").out.find("0x10"));
}

TEST_F(RegTool, ImportsTheFilesOtherRegistryEditorsWrite) {
    ASSERT_EQ(0, Tool(R"(add "HKCU\Software\Moved\Old" /v x /d 1)").status);
    ASSERT_EQ(0, Tool(R"(add "HKCU\Software\Moved" /v Stale /d 1)").status);
    const std::string crlf = (Dir() / "crlf.reg").string();
    WriteFile(crlf,
              "REGEDIT4\r\n\r\n; from the old machine\r\n"
              "[HKEY_CURRENT_USER\\Software\\Moved]\r\n"
              "\"Drive\"=\"E:\"\r\n"
              "\"Stale\"=-\r\n"
              "\"Blob\"=hex:00,01,\\\r\n  02,ff\r\n"
              "\r\n[-HKEY_CURRENT_USER\\Software\\Moved\\Old]\r\n");
    Outcome o = Tool("import " + crlf);
    ASSERT_EQ(0, o.status) << o.out;
    Outcome q = Tool(R"(query "HKCU\Software\Moved" /s)");
    EXPECT_NE(std::string::npos, q.out.find("    Drive    REG_SZ    E:\n")) << q.out;
    EXPECT_NE(std::string::npos, q.out.find("    Blob    REG_BINARY    000102FF\n"));
    EXPECT_EQ(std::string::npos, q.out.find("Stale"));
    EXPECT_EQ(std::string::npos, q.out.find("Old"));

    const std::string wide = (Dir() / "wide.reg").string();
    WriteFile(wide, Utf16LeWithBom(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                   u"[HKEY_CURRENT_USER\\Software\\Moved]\r\n"
                                   u"\"Artist\"=\"Bj\u00f6rk\"\r\n"));
    o = Tool("import " + wide);
    ASSERT_EQ(0, o.status) << o.out;
    EXPECT_NE(std::string::npos, Tool(R"(query "HKCU\Software\Moved" /v Artist)")
                                     .out.find("    Artist    REG_SZ    Bj\xc3\xb6rk\n"));
}

TEST_F(RegTool, EveryExportImportsAgainByteForByte) {
    ASSERT_EQ(0,
              Tool(R"(add "HKCU\Software\Orvane Systems\Tarvo" /v List /t REG_MULTI_SZ /d "a\0b")")
                  .status);
    ASSERT_EQ(0, Tool(R"(add "HKCU\Software\Orvane Systems\Tarvo\50%\x" /ve /d "%5c")").status);
    ASSERT_EQ(0, Tool(R"(add "HKCR\.cda" /ve /d "AudioCD")").status);
    const std::string first = (Dir() / "first.reg").string();
    const std::string second = (Dir() / "second.reg").string();
    ASSERT_EQ(0, Tool(R"(export "HKCU\Software\Orvane Systems" )" + first).status);
    ASSERT_EQ(0, Tool(R"(delete "HKCU\Software\Orvane Systems" /f)").status);
    Outcome o = Tool("import " + first);
    ASSERT_EQ(0, o.status) << o.out;
    ASSERT_EQ(0, Tool(R"(export "HKCU\Software\Orvane Systems" )" + second).status);
    EXPECT_EQ(ReadFile(first), ReadFile(second));

    // The classes root, into a registry where not even its key exists yet.
    const std::string classes = (Dir() / "classes.reg").string();
    const std::string again = (Dir() / "classes-again.reg").string();
    ASSERT_EQ(0, Tool("export HKCR " + classes).status);
    TempDir fresh;
    const std::string inFresh = "ORVANE_REGISTRY_DIR=" + fresh.path().string() + " ";
    o = Tool("import " + classes, inFresh);
    ASSERT_EQ(0, o.status) << o.out;
    ASSERT_EQ(0, Tool("export HKCR " + again, inFresh).status);
    EXPECT_EQ(ReadFile(classes), ReadFile(again));
}

TEST_F(RegTool, AnImportIsOneWriteOfTheHiveAndRefusedLinesWriteNothing) {
    std::string deep = "REGEDIT4\n\n";
    std::string key = "[HKEY_CURRENT_USER\\Deep";
    for (int level = 0; level < 500; ++level) {
        key += "\\k";
        deep += key + "]\n\"n\"=dword:00000001\n";
    }
    const std::string file = (Dir() / "deep.reg").string();
    WriteFile(file, deep);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, Dir().path().c_str(), IN_MOVED_TO), 0);
    Outcome o = Tool("import " + file);
    ASSERT_EQ(0, o.status) << o.out;
    int hiveWrites = 0;
    alignas(inotify_event) char events[65536];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
        for (char* p = events; p < events + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            if (e->len && std::string(e->name) == "HKEY_CURRENT_USER.reg") ++hiveWrites;
            p += sizeof(inotify_event) + e->len;
        }
    }
    ::close(watch);
    EXPECT_EQ(hiveWrites, 1);
    EXPECT_EQ(0, Tool("query \"HKCU\\Deep" + key.substr(23) + "\" /v n").status);

    // An escaped backslash would name another key: the line is refused, nothing is written.
    const std::string before = ReadFile(HiveFile("HKEY_CURRENT_USER"));
    for (const char* section : {"[HKEY_CURRENT_USER\\%5c]", "[HKCU\\a%5cb]"}) {
        WriteFile(file, std::string("REGEDIT4\n\n") + section + "\n\"v\"=\"x\"\n");
        o = Tool("import " + file);
        EXPECT_EQ(1, o.status);
        EXPECT_NE(std::string::npos, o.out.find("line 3: bad key name")) << o.out;
    }
    EXPECT_EQ(ReadFile(HiveFile("HKEY_CURRENT_USER")), before);

    // Nothing but regular files is read: a FIFO nobody writes does not hold the tool.
    const std::string fifo = (Dir() / "fifo.reg").string();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    o = Tool("import " + fifo);
    EXPECT_EQ(1, o.status);
    EXPECT_NE(std::string::npos, o.out.find("not a regular file")) << o.out;
}

}  // namespace
}  // namespace orvane::test

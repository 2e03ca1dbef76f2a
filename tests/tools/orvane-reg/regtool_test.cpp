// The registry tool as users and scripts run it: the program in dist/, its output, its exit
// status.
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "platform/registry/registry_fixture.h"

namespace orvane::test {
namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome Tool(const std::string& arguments) {
    std::string command = (DistDir() / "orvane-reg").string() + " " + arguments + " 2>&1";
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

}  // namespace
}  // namespace orvane::test

// The command-line WMA job as a script uses it: the profiles it offers, a file with its texts,
// and a profile that does not exist.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/wma_util.h"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

ProgramResult PlimoJob(const std::vector<std::string>& args) {
    return RunDistProgram("plimo-job", args);
}

class PlimoJobWma : public ::testing::Test {
protected:
    void SetUp() override {
        // The settings, the profile folder and the installer's records go into this test's own
        // folders, so that every run starts as a first start.
        ::setenv("ORVANE_REGISTRY_DIR", (dir.path() / "registry").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir.path() / "state").c_str(), 1);
        registry::ResetForTesting();
        std::ofstream(dir.path() / "in.wav", std::ios::binary)
            << SineWave(2, 44100, 1.5, {440.0, 660.0});
    }
    TempDir dir;
};

TEST_F(PlimoJobWma, ListsTheAudioProfilesAndEncodesWithTheTexts) {
    ProgramResult list = PlimoJob({"--wma", "--list-profiles"});
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output,
              "0 Audio for HI-FI CD-quality (160 Kbps stereo)\n"
              "1 Audio for HI-FI Studio-maximum quality (192 Kbps stereo)\n");

    const fs::path out = dir.path() / "out.WMA";
    ProgramResult r = PlimoJob({"--wma", "--profile", "0", "--title", "Nachtstück", "--author",
                                "Åsa Ørn", (dir.path() / "in.wav").string(), out.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Compression Finished."), std::string::npos) << r.output;
    ASSERT_TRUE(fs::exists(out));
    auto probe = Probe(out);
    if (probe.empty()) GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(probe["codec_name"], "wmav2");
    EXPECT_EQ(probe["TAG:title"], "Nachtstück");
    EXPECT_EQ(probe["TAG:artist"], "Åsa Ørn");
}

TEST_F(PlimoJobWma, AProfileThatDoesNotExistWritesNothing) {
    const fs::path out = dir.path() / "out.WMA";
    ProgramResult r =
        PlimoJob({"--wma", "--profile", "5", (dir.path() / "in.wav").string(), out.string()});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Could not get the specific profile"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
    // No half-written file beside the input either.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.path().filename(), "in.wav");
        }
    }
}

// The encoding engine is a shared object of the program folder, loaded when the first file is
// encoded: without it, the job fails with the reason and writes nothing.
TEST_F(PlimoJobWma, WithoutTheEngineNothingIsWrittenAndTheReasonIsGiven) {
    // The program folder as it is, less the engine.
    const fs::path folder = dir.path() / "programs";
    fs::create_directory(folder);
    for (const auto& entry : fs::directory_iterator(ORVANE_DIST_DIR))
        if (entry.path().filename() != "libwmencengine.so")
            fs::create_symlink(entry.path(), folder / entry.path().filename());
    const fs::path out = dir.path() / "out.WMA";
    ProgramResult r =
        RunDistProgram("plimo-job", {"--wma", (dir.path() / "in.wav").string(), out.string()},
                       "export ORVANE_DIST='" + folder.string() + "';");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("libwmencengine.so cannot be used"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
}

// Replacements of files waiting for a restart, as another installation leaves them.
void SetPendingReplacements(const std::string& names) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                        0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    if (names.empty()) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
    } else {
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(names.data()),
                       static_cast<DWORD>(names.size()));
    }
    RegCloseKey(key);
}

// A first run with a restart pending: nobody agrees to it, the run says what is pending and
// fails, and the next run offers the profiles and encodes.
TEST_F(PlimoJobWma, PendingRestartIsRefusedAndALaterRunHasTheProfiles) {
    SetPendingReplacements(std::string("/opt/old.dll") + '\0' + "/opt/new.dll" + '\0' + '\0');
    ProgramResult list = PlimoJob({"--wma", "--list-profiles"});
    EXPECT_NE(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("PendingFileRenameOperations"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("/opt/old.dll"), std::string::npos) << list.output;
    EXPECT_EQ(list.output.find("Do you want restart now"), std::string::npos) << list.output;
    EXPECT_FALSE(fs::exists(dir.path() / "state" / "orvane" / "restart-requests"));

    SetPendingReplacements("");
    list = PlimoJob({"--wma", "--list-profiles"});
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output,
              "0 Audio for HI-FI CD-quality (160 Kbps stereo)\n"
              "1 Audio for HI-FI Studio-maximum quality (192 Kbps stereo)\n");
    const fs::path out = dir.path() / "out.WMA";
    ProgramResult r = PlimoJob({"--wma", (dir.path() / "in.wav").string(), out.string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(out));
}

// A profile folder registered without its profiles (an installation cut short): the next run
// installs them instead of offering nothing for ever.
TEST_F(PlimoJobWma, RegisteredFolderWithoutProfilesIsInstalledAgain) {
    fs::create_directories(dir.path() / "empty");
    RegisterProfileFolder((dir.path() / "empty").string() + "/");
    ProgramResult list = PlimoJob({"--wma", "--list-profiles"});
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output,
              "0 Audio for HI-FI CD-quality (160 Kbps stereo)\n"
              "1 Audio for HI-FI Studio-maximum quality (192 Kbps stereo)\n");
}

// The disk fills up once the encoder has started (no file may grow past 64 blocks of the
// shell's limit, 32 or 64 KiB): the file is named with the encoder's reason on the
// output and the exit status is 1.
TEST_F(PlimoJobWma, EncodeThatFailsAfterTheStartIsNamedWithItsReason) {
    const std::string full = "ulimit -f 64 && trap '' XFSZ && ";
    std::ofstream(dir.path() / "long.wav", std::ios::binary)
        << SineWave(2, 44100, 10.0, {440.0, 660.0});
    const fs::path in = dir.path() / "long.wav";
    ProgramResult r = RunDistProgram(
        "plimo-job", {"--wma", in.string(), (dir.path() / "long.WMA").string()}, full);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Error: The file could not be encoded:\n" + in.string() + "\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("File too large"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir.path() / "long.WMA"));
}

}  // namespace
}  // namespace orvane::test

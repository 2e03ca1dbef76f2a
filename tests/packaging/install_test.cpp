// The installed toolkit as a distribution ships it: `cmake --install` of this build into a
// scratch DESTDIR with the prefix /usr, then the launchers, the installed programs and the
// desktop files checked there.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wave_util.h"

extern char** environ;

namespace fs = std::filesystem;
using orvane::test::ReadFile;
using orvane::test::TempDir;

namespace {

struct Outcome {
    int status = -1;  // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs argv with the environment plus extra entries (which replace those of the same name);
// standard input is /dev/null.
Outcome RunProgram(const std::vector<std::string>& argv, const fs::path& scratch,
                   const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced |=
                entry.substr(0, entry.find('=') + 1) == extra.substr(0, extra.find('=') + 1);
        if (!replaced) envText.push_back(entry);
    }
    std::vector<char*> env, args;
    for (auto& e : envText)
        env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argText(argv);
    for (auto& a : argText)
        args.push_back(a.data());
    args.push_back(nullptr);
    const fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Outcome run;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

bool HasProgram(const std::string& name) {
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"})
        if (::access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
    return false;
}

struct Launcher {
    const char* name;     // in <prefix>/bin
    const char* program;  // inside the program folder
    const char* version;  // what --version names
};
const Launcher kLaunchers[] = {
    {"plimo", "Plimo", "Plimo"},
    {"tarvo", "Tarvo/Tarvo.EXE", "Tarvo"},
    {"plimo-job", "plimo-job", "plimo-job"},
    {"orvane-cdda", "orvane-cdda", "orvane-cdda"},
    {"orvane-cddb", "orvane-cddb", "orvane-cddb"},
    {"orvane-reg", "orvane-reg", "orvane-reg"},
    {"cdplay", "cdplay", "cdplay"},
};

class Installed : public ::testing::Test {
protected:
    // One installation for the whole suite; each test works in a scratch folder of its own.
    static void SetUpTestSuite() {
        root_ = std::make_unique<TempDir>();
        install_ =
            RunProgram({ORVANE_CMAKE_COMMAND, "--install", ORVANE_BUILD_DIR, "--prefix", "/usr"},
                       root_->path(), {"DESTDIR=" + (root_->path() / "dest").string()});
    }
    static void TearDownTestSuite() { root_.reset(); }

    void SetUp() override {
        ASSERT_EQ(install_.status, 0) << install_.out << install_.err;
        for (const char* sub : {"config", "data", "state", "home"})
            fs::create_directories(scratch_ / sub);
    }

    static fs::path Usr() { return root_->path() / "dest" / "usr"; }
    static fs::path Programs() { return Usr() / "lib" / "orvane"; }
    fs::path Bin(const std::string& name) const { return Usr() / "bin" / name; }

    // Runs an installed program as a user whose own folders are all in the scratch folder.
    Outcome User(std::vector<std::string> argv, std::vector<std::string> env = {}) const {
        for (const char* var : {"XDG_CONFIG_HOME=config", "XDG_DATA_HOME=data",
                                "XDG_STATE_HOME=state", "HOME=home", "XDG_RUNTIME_DIR=state"}) {
            const std::string v = var;
            const auto eq = v.find('=');
            env.push_back(v.substr(0, eq + 1) + (scratch_ / v.substr(eq + 1)).string());
        }
        env.push_back("ORVANE_AUDIO=null");
        return RunProgram(argv, scratch_.path(), env);
    }

    static inline std::unique_ptr<TempDir> root_;
    static inline Outcome install_;
    TempDir scratch_;
};

TEST_F(Installed, EverythingLandsUnderThePrefixInOneProgramFolder) {
    for (const auto& entry : fs::directory_iterator(root_->path() / "dest"))
        EXPECT_EQ(entry.path().filename(), "usr") << "installed outside the prefix";
    for (const char* file :
         {"Plimo", "enc.dll", "dec.dll", "plimo-job", "orvane-cdda", "orvane-cddb", "orvane-reg",
          "cdplay", "WMEDist.exe", "libwnaspi32.so", "libwmencengine.so", "Plimo.chm",
          "installed.txt", "Audio for HI-FI CD-quality (160 Kbps stereo).prx",
          "Audio for HI-FI Studio-maximum quality (192 Kbps stereo).prx", "demo/Demo.cue",
          "Tarvo/Tarvo.EXE", "Tarvo/tarvo-headless"})
        EXPECT_TRUE(fs::is_regular_file(Programs() / file)) << file;
    EXPECT_FALSE(fs::exists(Programs() / "bench")) << "benchmarks are not shipped";
    EXPECT_FALSE(fs::exists(Programs() / "Tarvo" / "Nerop.DB"));

    // Each launcher is a relative link that resolves to the real program, so the program sees
    // its own folder (and its companions) through /proc/self/exe.
    for (const Launcher& l : kLaunchers) {
        const fs::path link = Bin(l.name);
        ASSERT_TRUE(fs::is_symlink(link)) << l.name;
        EXPECT_TRUE(fs::read_symlink(link).is_relative()) << l.name;
        EXPECT_EQ(fs::canonical(link), fs::canonical(Programs() / l.program)) << l.name;
    }

    const fs::path share = Usr() / "share";
    for (const char* app : {"org.orvane.Plimo", "org.orvane.Tarvo"}) {
        const std::string id = app;
        EXPECT_TRUE(fs::is_regular_file(share / "applications" / (id + ".desktop"))) << app;
        EXPECT_TRUE(fs::is_regular_file(share / "metainfo" / (id + ".metainfo.xml"))) << app;
        for (const char* size :
             {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"})
            EXPECT_TRUE(
                fs::is_regular_file(share / "icons/hicolor" / size / "apps" / (id + ".png")))
                << app << " " << size;
    }
    EXPECT_TRUE(fs::is_regular_file(share / "doc/orvane/copyright"));
    EXPECT_TRUE(fs::is_regular_file(share / "doc/orvane/changelog.Debian.gz"));
#ifdef ORVANE_WITH_MAN_PAGES
    for (const Launcher& l : kLaunchers)
        EXPECT_TRUE(fs::is_regular_file(share / "man/man1" / (std::string(l.name) + ".1.gz")))
            << l.name;
#else
    std::printf("help2man is not installed: the manual pages were not checked\n");
#endif
}

TEST_F(Installed, EveryLauncherAnswersHelpVersionAndAWrongOption) {
    for (const Launcher& l : kLaunchers) {
        const std::string name = l.name;
        Outcome help = User({Bin(name).string(), "--help"});
        EXPECT_EQ(help.status, 0) << name;
        const std::string first = help.out.substr(0, help.out.find('\n'));
        EXPECT_TRUE(first == "Usage: " + name || first.rfind("Usage: " + name + " ", 0) == 0)
            << name << ": " << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << name;
        EXPECT_EQ(help.err, "") << name;

        Outcome version = User({Bin(name).string(), "--version"});
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_EQ(version.out, std::string(l.version) + " (Orvane) " + ORVANE_VERSION_TEXT + "\n");

        Outcome wrong = User({Bin(name).string(), "--no-such-option"});
        EXPECT_EQ(wrong.status, 2) << name << ": " << wrong.out << wrong.err;
        EXPECT_EQ(wrong.out, "") << name;
        EXPECT_NE(wrong.err.find("sage: "), std::string::npos) << name << ": " << wrong.err;
    }
}

TEST_F(Installed, CommandLineProgramsFindTheirCompanionsFromThePath) {
    // plimo-job runs enc.dll from the program folder.
    orvane::test::WriteFile(scratch_ / "in.wav",
                            orvane::test::CanonicalWave(2, 44100, 16, 44100 * 4 / 2));
    Outcome job = User({Bin("plimo-job").string(), "--bitrate", "128",
                        (scratch_ / "in.wav").string(), (scratch_ / "out.mp3").string()});
    EXPECT_EQ(job.status, 0) << job.out << job.err;
    EXPECT_GT(fs::exists(scratch_ / "out.mp3") ? fs::file_size(scratch_ / "out.mp3") : 0u, 1000u);

    // With no drive configured, orvane-cdda mounts the installed demo disc.
    fs::create_directories(scratch_ / "config" / "orvane");
    orvane::test::WriteFile(scratch_ / "config" / "orvane" / "drives.conf", "real_drives = no\n");
    Outcome drives = User({Bin("orvane-cdda").string(), "drives"}, {"ORVANE_CD_IMAGES="});
    EXPECT_EQ(drives.status, 0) << drives.err;
    EXPECT_NE(drives.out.find((Programs() / "demo" / "Demo.cue").string()), std::string::npos)
        << drives.out;
}

TEST_F(Installed, PlayerKeepsTheSongDatabaseInTheUsersDataFolder) {
    // The installed program folder is not the user's to write: the database goes to
    // $XDG_DATA_HOME/orvane/, and the player says nothing about a database it cannot make.
    Outcome play = User({(Programs() / "Tarvo" / "tarvo-headless").string(), "1"},
                        {"ORVANE_CD_IMAGES=" + (Programs() / "demo" / "Demo.cue").string()});
    EXPECT_EQ(play.status, 0) << play.out << play.err;
    EXPECT_TRUE(fs::is_regular_file(scratch_ / "data" / "orvane" / "Nerop.DB"));
    EXPECT_FALSE(fs::exists(Programs() / "Tarvo" / "Nerop.DB"));
    EXPECT_EQ((play.out + play.err).find("Can't create"), std::string::npos) << play.out;
}

TEST_F(Installed, WindowProgramsStartAndFindTheirPictures) {
    // Plimo's pictures run one encode, the WMA settings page over the installed profiles and the
    // grabber over the demo disc; Tarvo's show the player on the demo disc.
    Outcome plimo = User({Bin("plimo").string(), "--screenshots", (scratch_ / "plimo").string()},
                         {"QT_QPA_PLATFORM=offscreen", "ORVANE_CD_IMAGES="});
    EXPECT_EQ(plimo.status, 0) << plimo.out << plimo.err;
    for (const char* shot : {"wizard-page1.png", "wma-settings.png", "status-window.png"})
        EXPECT_TRUE(fs::is_regular_file(scratch_ / "plimo" / shot)) << shot;
    Outcome tarvo = User({Bin("tarvo").string(), "--screenshots", (scratch_ / "tarvo").string()},
                         {"QT_QPA_PLATFORM=offscreen", "ORVANE_CD_IMAGES="});
    EXPECT_EQ(tarvo.status, 0) << tarvo.out << tarvo.err;
    EXPECT_TRUE(fs::is_regular_file(scratch_ / "tarvo" / "tarvo-full.png"));
}

TEST_F(Installed, DesktopEntriesAndAppStreamDataValidate) {
    const fs::path share = Usr() / "share";
    if (HasProgram("desktop-file-validate")) {
        for (const char* app : {"org.orvane.Plimo", "org.orvane.Tarvo"}) {
            Outcome check =
                User({"desktop-file-validate",
                      (share / "applications" / (std::string(app) + ".desktop")).string()});
            EXPECT_EQ(check.status, 0) << app << ": " << check.out << check.err;
            EXPECT_EQ(check.out + check.err, "") << app;
        }
    } else {
        std::printf(
            "desktop-file-validate is not installed: the desktop entries were not checked\n");
    }
    if (HasProgram("appstreamcli")) {
        for (const char* app : {"org.orvane.Plimo", "org.orvane.Tarvo"}) {
            Outcome check =
                User({"appstreamcli", "validate", "--no-net",
                      (share / "metainfo" / (std::string(app) + ".metainfo.xml")).string()});
            EXPECT_EQ(check.status, 0) << app << ": " << check.out << check.err;
        }
    } else {
        std::printf("appstreamcli is not installed: the AppStream data were not checked\n");
    }
}

}  // namespace

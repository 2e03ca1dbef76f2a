#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cstdlib>

#include "cdplayer/default_player.h"
#include "cdplayer/ui/desktop_default.h"
#include "cdplayer/ui/player_app.h"
#include "platform/shell/instance_lock.h"
#include "support/first_start.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using namespace orvane::cdplayer::ui;
using orvane::test::ReadFile;
using orvane::test::TempDir;
using orvane::test::WriteFile;

namespace {

class FakeKey : public PlayCommandKey {
public:
    bool Open() override { return opens; }
    std::string Read() override { return value; }
    void Write(const std::string& command) override {
        value = command;
        ++writes;
    }
    void Close() override {}

    bool opens = true;
    std::string value;
    int writes = 0;
};

class Answer : public Messenger {
public:
    explicit Answer(int a) : answer(a) {}
    int MessageBox(const std::string& text, const std::string&, unsigned) override {
        asked.push_back(text);
        return answer;
    }
    int answer;
    std::vector<std::string> asked;
};

struct Desktop : ::testing::Test {
    DesktopFolders Folders() { return {(dir / "data").string(), (dir / "config").string()}; }
    std::string Entry() { return ReadFile(dir / "data" / "applications" / kDesktopFileName); }
    std::string MimeApps() { return ReadFile(dir / "config" / "mimeapps.list"); }
    TempDir dir;
};

}  // namespace

TEST(DesktopExecLine, QuotesPathsAndKeepsThePlayCommand) {
    std::string exec;
    ASSERT_TRUE(DesktopExec("/opt/orvane/Tarvo/Tarvo.EXE", exec));
    EXPECT_EQ(exec, "/opt/orvane/Tarvo/Tarvo.EXE /play %%1");
    ASSERT_TRUE(DesktopExec("/home/a b/Tarvo.EXE", exec));
    EXPECT_EQ(exec, "\"/home/a b/Tarvo.EXE\" /play %%1");
    ASSERT_TRUE(DesktopExec("/x/$HOME\"/100%/Tarvo.EXE", exec));
    EXPECT_EQ(exec, "\"/x/\\\\$HOME\\\\\"/100%%/Tarvo.EXE\" /play %%1");
    EXPECT_FALSE(DesktopExec("/bad\nline/Tarvo.EXE", exec));
    EXPECT_FALSE(DesktopExec("", exec));
}

TEST(MimeAppsList, SetsTheAudioCdDefaultAndKeepsEverythingElse) {
    EXPECT_EQ(WithAudioCdDefault(""),
              "[Default Applications]\nx-content/audio-cdda=orvane-tarvo.desktop;\n");
    const std::string other =
        "[Added Associations]\ntext/plain=edit.desktop;\n\n[Default Applications]\n"
        "x-content/audio-cdda=other.desktop;\nimage/png=view.desktop;\n";
    EXPECT_EQ(WithAudioCdDefault(other),
              "[Added Associations]\ntext/plain=edit.desktop;\n\n[Default Applications]\n"
              "x-content/audio-cdda=orvane-tarvo.desktop;\nimage/png=view.desktop;\n");
    // A group without the type gets it at its end, before the next group.
    EXPECT_EQ(WithAudioCdDefault("[Default Applications]\nimage/png=view.desktop;\n\n"
                                 "[Removed Associations]\na/b=c.desktop;\n"),
              "[Default Applications]\nimage/png=view.desktop;\n"
              "x-content/audio-cdda=orvane-tarvo.desktop;\n\n"
              "[Removed Associations]\na/b=c.desktop;\n");
    // No such group: appended.
    EXPECT_EQ(WithAudioCdDefault("[Added Associations]\na/b=c.desktop;"),
              "[Added Associations]\na/b=c.desktop;\n\n[Default Applications]\n"
              "x-content/audio-cdda=orvane-tarvo.desktop;\n");
    // Applying twice changes nothing more.
    EXPECT_EQ(WithAudioCdDefault(WithAudioCdDefault(other)), WithAudioCdDefault(other));
}

TEST_F(Desktop, YesWritesTheRegistryCommandTheEntryAndTheDefault) {
    FakeKey key;
    key.value = "C:\\Old\\player.exe /play %1";
    Answer yes(IDYES);
    std::filesystem::create_directories(dir / "config");
    WriteFile(dir / "config" / "mimeapps.list", "[Default Applications]\nimage/png=v.desktop;\n");
    EXPECT_TRUE(OfferDefaultCdPlayer(key, yes, "/opt/o/Tarvo/Tarvo.EXE", Folders()));
    ASSERT_EQ(yes.asked.size(), 1u);
    EXPECT_EQ(yes.asked[0], "Do you want to make Orvane CD Player the default CD Player?");
    EXPECT_EQ(key.value, "/opt/o/Tarvo/Tarvo.EXE /play %%1");
    const std::string entry = Entry();
    EXPECT_NE(entry.find("\nExec=/opt/o/Tarvo/Tarvo.EXE /play %%1\n"), std::string::npos);
    EXPECT_NE(entry.find("\nMimeType=x-content/audio-cdda;\n"), std::string::npos);
    EXPECT_EQ(MimeApps(),
              "[Default Applications]\nimage/png=v.desktop;\n"
              "x-content/audio-cdda=orvane-tarvo.desktop;\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "config" / "mimeapps.list.new"));

    // Next start: the stored command matches (case aside); nothing is asked or written.
    key.value = "/OPT/O/Tarvo/Tarvo.EXE /PLAY %%1";
    Answer again(IDYES);
    EXPECT_FALSE(OfferDefaultCdPlayer(key, again, "/opt/o/Tarvo/Tarvo.EXE", Folders()));
    EXPECT_TRUE(again.asked.empty());
    EXPECT_EQ(key.writes, 1);
}

TEST_F(Desktop, NoOrAMissingKeyChangesNothing) {
    FakeKey key;
    Answer no(IDNO);
    EXPECT_FALSE(OfferDefaultCdPlayer(key, no, "/opt/o/Tarvo/Tarvo.EXE", Folders()));
    EXPECT_EQ(no.asked.size(), 1u);
    EXPECT_EQ(key.writes, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "data"));
    EXPECT_FALSE(std::filesystem::exists(dir / "config"));

    FakeKey missing;
    missing.opens = false;
    Answer yes(IDYES);
    EXPECT_FALSE(OfferDefaultCdPlayer(missing, yes, "/opt/o/Tarvo/Tarvo.EXE", Folders()));
    EXPECT_TRUE(yes.asked.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "data"));
}

TEST_F(Desktop, AFolderThatCannotBeWrittenIsReportedAndLeavesNoFile) {
    WriteFile(dir / "data", "a file where a folder should be");
    std::string error;
    EXPECT_FALSE(RegisterDefaultCdPlayer("/opt/o/Tarvo.EXE", Folders(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "config" / "mimeapps.list"));
}

TEST(SingleInstance, SecondStartEndsAtOnceWithoutAWord) {
    TempDir runtime;
    ::chmod(runtime.path().c_str(), 0700);
    TempDir registry;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    orvane::shell::InstanceLock first("TarvoMutex");
    if (old)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(first.Acquire());
    ASSERT_TRUE(first.Held());

    QProcess tarvo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
    env.insert("ORVANE_REGISTRY_DIR", QString::fromStdString(registry.path().string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    tarvo.setProcessEnvironment(env);
    // The program folder of this build, also when the test runs outside ctest.
    const std::filesystem::path dist = std::getenv("ORVANE_DIST")
                                           ? orvane::test::DistDir()
                                           : std::filesystem::path(ORVANE_DIST_DIR);
    const std::string program = (dist / "Tarvo" / "Tarvo.EXE").string();
    tarvo.start(QString::fromStdString(program), {"/play", "D:"});
    ASSERT_TRUE(tarvo.waitForStarted(30000))
        << program << ": " << tarvo.errorString().toStdString();
    ASSERT_TRUE(tarvo.waitForFinished(30000));
    EXPECT_EQ(tarvo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tarvo.exitCode(), 0);
    EXPECT_TRUE(tarvo.readAllStandardOutput().isEmpty());
    // A first instance would have stayed running: finishing at all shows the lock was seen.
    EXPECT_TRUE(tarvo.readAllStandardError().indexOf("Tarvo:") < 0);
}

// A fresh installation: the player's first start leaves the shell's play command key, so the
// offer to become the default player is made (and its answer stored) from then on.
TEST(FirstStart, ThePlayerMakesTheKeyOfTheDefaultPlayerOffer) {
    const char* old = std::getenv("ORVANE_REGISTRY_DIR");
    const std::string saved = old ? old : "";
    TempDir home;
    orvane::test::UseRegistryFolder(home / "registry");
    Answer yes(IDYES);
    EXPECT_FALSE(OfferDefaultPlayer(*RegistryPlayCommandKey(), yes, "/opt/o/Tarvo/Tarvo.EXE"));
    EXPECT_TRUE(yes.asked.empty());

    const std::filesystem::path dist = std::getenv("ORVANE_DIST")
                                           ? orvane::test::DistDir()
                                           : std::filesystem::path(ORVANE_DIST_DIR);
    std::string why;
    EXPECT_TRUE(
        orvane::test::RunFirstStart((dist / "Tarvo" / "Tarvo.EXE").string(), home.path(), why))
        << why;
    EXPECT_TRUE(OfferDefaultPlayer(*RegistryPlayCommandKey(), yes, "/opt/o/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(yes.asked.size(), 1u);
    EXPECT_FALSE(OfferDefaultPlayer(*RegistryPlayCommandKey(), yes, "/opt/o/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(yes.asked.size(), 1u);

    if (old)
        orvane::test::UseRegistryFolder(saved);
    else
        ::unsetenv("ORVANE_REGISTRY_DIR");
    orvane::registry::ResetForTesting();
}

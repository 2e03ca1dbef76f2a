#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cdplayer/player_state.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using orvane::cdplayer::DatabasePathFor;
using orvane::cdplayer::kInstalledMarker;
using orvane::test::TempDir;

namespace {

// Sets XDG_DATA_HOME for one test and puts the old value back.
class DataHome {
public:
    explicit DataHome(const std::string& value) {
        if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old, had_ = true;
        ::setenv("XDG_DATA_HOME", value.c_str(), 1);
    }
    ~DataHome() {
        if (had_)
            ::setenv("XDG_DATA_HOME", old_.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

private:
    std::string old_;
    bool had_ = false;
};

TEST(SongDatabasePath, StaysBesideThePlayerInAProgramFolderOfItsOwn) {
    TempDir dir;
    DataHome data((dir / "data").string());
    const std::string folder = dir.path().string() + "/Tarvo/";
    fs::create_directories(folder);
    EXPECT_EQ(DatabasePathFor(folder), folder + "Nerop.DB");
    EXPECT_FALSE(fs::exists(dir / "data")) << "nothing is made for a folder of its own";
}

TEST(SongDatabasePath, IsTheUsersOwnInAnInstalledProgramFolder) {
    // The marker sits in the program folder, above the player's own folder, or beside it.
    for (const char* markerIn : {"", "Tarvo/"}) {
        TempDir dir;
        DataHome data((dir / "data").string());
        const std::string programs = dir.path().string() + "/lib/orvane/";
        fs::create_directories(programs + "Tarvo");
        orvane::test::WriteFile(programs + markerIn + kInstalledMarker, "installed\n");
        const std::string path = DatabasePathFor(programs + "Tarvo/");
        EXPECT_EQ(path, (dir / "data").string() + "/orvane/Nerop.DB") << markerIn;
        EXPECT_TRUE(fs::is_directory(dir / "data" / "orvane")) << "its folder is made";
    }
}

TEST(SongDatabasePath, FallsBackToTheHomeDataFolderWithoutAnAbsoluteDataHome) {
    TempDir dir;
    DataHome data("relative/data");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    orvane::test::WriteFile(dir / kInstalledMarker, "installed\n");
    EXPECT_EQ(DatabasePathFor(dir.path().string() + "/"),
              dir.path().string() + "/.local/share/orvane/Nerop.DB");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/shell/sysinfo.h"

using namespace orvane::shell;

TEST(SysInfo, PathPartsFollowTheProgramFolderRules) {
    EXPECT_EQ(FolderOf("/opt/orvane/dist/Plimo"), "/opt/orvane/dist/");
    EXPECT_EQ(FolderOf("/opt/orvane/dist/"), "/opt/orvane/dist/");
    EXPECT_EQ(FolderOf("Plimo"), "");
    EXPECT_EQ(BaseNameOf("/opt/dist/Tarvo/Tarvo.EXE"), "Tarvo");
    EXPECT_EQ(BaseNameOf("/opt/dist/Plimo"), "Plimo");
    EXPECT_EQ(BaseNameOf("/opt/dist/.hidden"), ".hidden");
}

TEST(SysInfo, OwnExecutableIsFound) {
    const std::string self = ModuleFileName();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(ModuleBaseName(), "shell_tests");
    EXPECT_EQ(ModuleFolder() + "shell_tests", self);
    EXPECT_FALSE(HostName().empty());
    EXPECT_FALSE(UserName().empty());
}

TEST(SysInfo, MemoryAndDiskQueriesAnswerInKilobytes) {
    std::uint64_t memory = 0;
    ASSERT_TRUE(AvailableMemoryKb(memory));
    // A machine that runs the tests has more than 1 MB free and less than 1 PB.
    EXPECT_GT(memory, 1024u);
    EXPECT_LT(memory, std::uint64_t{1} << 40);

    std::uint64_t disk = 0;
    ASSERT_TRUE(FreeDiskKb("/", disk));
    EXPECT_LT(disk, std::uint64_t{1} << 42);
    std::uint64_t untouched = 7;
    EXPECT_FALSE(FreeDiskKb("/no/such/folder/anywhere", untouched));
    EXPECT_EQ(untouched, 7u);
}

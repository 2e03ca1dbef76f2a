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

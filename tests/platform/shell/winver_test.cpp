#include "platform/shell/winver.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace {

TEST(WinVer, ReportsAnNtSystem) {
    OSVERSIONINFOA info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    info.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST(WinVer, RestartRequestsAreRecordedOnly) {
    orvane::test::TempDir dir;
    ::setenv("ORVANE_STATE_DIR", (dir / "state").c_str(), 1);
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(orvane::shell::RecordedExitRequests().back(), EWX_REBOOT);
    std::string log = orvane::test::ReadFile(dir / "state/restart-requests");
    EXPECT_NE(log.find(" flags=2 reason=0\n"), std::string::npos);
    ::unsetenv("ORVANE_STATE_DIR");
}

}  // namespace

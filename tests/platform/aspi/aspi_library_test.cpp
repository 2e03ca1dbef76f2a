// The shipped library, loaded as the programs load it, over image drives from the drive
// configuration.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/aspi/wnaspi32.h"
#include "platform/base/event.h"
#include "platform/dynlib/dynlib.h"
#include "tests/platform/cdrom/disc_fixture.h"

// The program's side of event signalling, as the grabber's transport exports it.
extern "C" int orvane_aspi_signal_event(void* event);
extern "C" __attribute__((visibility("default"), used)) int orvane_aspi_signal_event(void* event) {
    return SetEvent(event);
}

namespace {

using RescanFn = void (*)();

class AspiLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA("wnaspi32.dll");
        ASSERT_TRUE(module_) << orvane::dynlib::LastError();
        support_ = reinterpret_cast<GetASPI32SupportInfoFn>(
            GetProcAddress(module_, "GetASPI32SupportInfo"));
        send_ = reinterpret_cast<SendASPI32CommandFn>(GetProcAddress(module_, "SendASPI32Command"));
        rescan_ = reinterpret_cast<RescanFn>(GetProcAddress(module_, "OrvaneAspiRescan"));
        ASSERT_TRUE(support_ && send_ && rescan_);
    }
    // Writes a drive configuration with one image per fault list and rediscovers.
    void Configure(const std::vector<std::string>& faults) {
        const char* home = std::getenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(home);
        std::filesystem::create_directories(std::string(home) + "/orvane");
        std::string conf = "real_drives = no\n";
        for (std::size_t i = 0; i < faults.size(); ++i) {
            conf += "image = " +
                    orvane::test::WriteSimpleDisc(dir_, {100, 200}, "d" + std::to_string(i)) + "\n";
            if (!faults[i].empty()) conf += "faults = " + faults[i] + "\n";
        }
        orvane::test::WriteFile(std::string(home) + "/orvane/drives.conf", conf);
        rescan_();
    }
    orvane::test::TempDir dir_;
    HMODULE module_ = nullptr;
    GetASPI32SupportInfoFn support_ = nullptr;
    SendASPI32CommandFn send_ = nullptr;
    RescanFn rescan_ = nullptr;
};

TEST_F(AspiLibrary, ReportsTheConfiguredDrives) {
    Configure({});
    EXPECT_EQ(support_() >> 8, SS_NO_ADAPTERS);
    Configure({""});
    EXPECT_EQ(support_(), (ASPI_DWORD{SS_COMP} << 8) | 1);
    Configure({"", "scsi", ""});
    EXPECT_EQ(support_(), (ASPI_DWORD{SS_COMP} << 8) | 3);  // ATAPI, SCSI, ATAPI
}

TEST_F(AspiLibrary, ReadsCompleteThroughTheProgramsEventAndFailuresCarrySense) {
    Configure({"fail=120"});
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<std::uint8_t> frames(2 * 2352);
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    srb.SRB_BufLen = 2 * 2352;
    srb.SRB_BufPointer = frames.data();
    srb.SRB_SenseLen = 32;
    srb.SRB_CDBLen = 10;
    srb.SRB_PostProc = event;
    const std::uint8_t read[10] = {0x28, 0, 0, 0, 0, 100, 0, 0, 2, 0};
    std::memcpy(srb.CDBByte, read, 10);
    EXPECT_EQ(send_(&srb), SS_PENDING);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(frames[2352 + 1], orvane::test::PatternByte(101, 1));

    srb.CDBByte[5] = 119;
    EXPECT_EQ(send_(&srb), SS_PENDING);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(srb.SRB_Status, SS_ERR);
    EXPECT_EQ(srb.SenseArea[2] & 0x0F, 0x03);  // medium error
    CloseHandle(event);
}

}  // namespace

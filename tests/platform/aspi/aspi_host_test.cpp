#include "platform/aspi/aspi_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "platform/base/event.h"
#include "platform/cdrom/image_drive.h"
#include "platform/clock/clock.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::aspi {
namespace {

using cdrom::ImageDrive;

int Signal(void* event) { return SetEvent(event); }

std::shared_ptr<ImageDrive> OpenDisc(const test::TempDir& dir, const std::string& name,
                                     const std::string& faults = {}) {
    std::string error;
    std::shared_ptr<ImageDrive> d =
        ImageDrive::Open(test::WriteSimpleDisc(dir, {100, 200}, name), error);
    EXPECT_TRUE(d) << error;
    cdrom::FaultPlan plan;
    std::string word;
    std::istringstream in(faults);
    while (in >> word)
        EXPECT_TRUE(cdrom::ParseFaultWord(word, plan, error)) << error;
    d->SetFaults(plan);
    return d;
}

SRB_ExecSCSICmd Block(std::uint8_t ha, std::uint8_t target, std::vector<std::uint8_t> cdb,
                      std::uint8_t* data, std::uint32_t length, std::uint8_t flags) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = ha;
    srb.SRB_Target = target;
    srb.SRB_Flags = flags;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = 32;
    srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
    std::memcpy(srb.CDBByte, cdb.data(), cdb.size());
    return srb;
}

TEST(AspiHost, AdaptersFollowDriveKindsAndLetterOrder) {
    test::TempDir dir;
    AspiHost none({}, Signal);
    EXPECT_EQ(none.SupportInfo(), ASPI_DWORD{SS_NO_ADAPTERS} << 8);

    // ATAPI, ATAPI, SCSI, ATAPI: three adapters, the first with two targets.
    AspiHost host(
        {OpenDisc(dir, "a"), OpenDisc(dir, "b"), OpenDisc(dir, "c", "scsi"), OpenDisc(dir, "d")},
        Signal);
    EXPECT_EQ(host.SupportInfo(), (ASPI_DWORD{SS_COMP} << 8) | 3);
    SRB_HAInquiry inq{};
    inq.SRB_Cmd = SC_HA_INQUIRY;
    inq.SRB_HaId = 0;
    EXPECT_EQ(host.Send(&inq), SS_COMP);
    EXPECT_EQ(inq.HA_Count, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inq.HA_Identifier), 5), "ATAPI");
    inq.SRB_HaId = 1;
    host.Send(&inq);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inq.HA_Identifier), 4), "SCSI");
    inq.SRB_HaId = 3;
    EXPECT_EQ(host.Send(&inq), SS_INVALID_HA);

    SRB_GDEVBlock dev{};
    dev.SRB_Cmd = SC_GET_DEV_TYPE;
    dev.SRB_Target = 1;
    EXPECT_EQ(host.Send(&dev), SS_COMP);
    EXPECT_EQ(dev.SRB_DeviceType, DTYPE_CDROM);
    dev.SRB_Target = 2;
    EXPECT_EQ(host.Send(&dev), SS_NO_DEVICE);
    dev.SRB_Target = 0;
    dev.SRB_Lun = 1;
    EXPECT_EQ(host.Send(&dev), SS_NO_DEVICE);
}

TEST(AspiHost, CommandsAnswerFromTheDriveWithRealSenseData) {
    test::TempDir dir;
    AspiHost host({OpenDisc(dir, "a", "fail=150")}, nullptr);
    std::uint8_t data[2352] = {};
    auto inquiry = Block(0, 0, {0x12, 0, 0, 0, 44, 0}, data, 44, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&inquiry), SS_COMP);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "ORVANE  ");

    auto toc = Block(0, 0, {0x43, 0, 0, 0, 0, 0, 1, 0x08, 0, 0}, data, sizeof data, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&toc), SS_COMP);
    EXPECT_EQ((data[0] << 8 | data[1]), 2 + 3 * 8);  // two tracks and the lead-out
    EXPECT_EQ(data[4 + 16 + 2], 0xAA);
    EXPECT_EQ(data[4 + 16 + 7], 44);  // lead-out at 300 = 0x12C

    std::vector<std::uint8_t> frames(4 * 2352);
    auto read =
        Block(0, 0, {0x28, 0, 0, 0, 0, 148, 0, 0, 4, 0}, frames.data(), 4 * 2352, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&read), SS_ERR);
    EXPECT_EQ(read.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(read.SenseArea[0], 0x70);
    EXPECT_EQ(read.SenseArea[2] & 0x0F, cdrom::kSenseMediumError);
    EXPECT_EQ(read.SenseArea[12], 0x11);

    // A transfer longer than the buffer is refused, never written past it.
    auto tooLong =
        Block(0, 0, {0xD4, 0, 0, 0, 0, 0, 0, 0, 5, 0}, frames.data(), 4 * 2352, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&tooLong), SS_ERR);
    EXPECT_EQ(tooLong.SenseArea[2] & 0x0F, cdrom::kSenseIllegalRequest);

    auto unknown =
        Block(0, 0, {0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, frames.data(), 2352, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&unknown), SS_ERR);
    EXPECT_EQ(unknown.SenseArea[12], 0x20);
}

TEST(AspiHost, EveryReadCommandReadsTheSameFrames) {
    test::TempDir dir;
    AspiHost host({OpenDisc(dir, "a")}, nullptr);
    const std::vector<std::vector<std::uint8_t>> cdbs = {
        {0x28, 0, 0, 0, 0, 10, 0, 0, 2, 0},
        {0xBE, 0, 0, 0, 0, 10, 0, 0, 2, 0x10},
        {0xBE, 0, 0, 0, 0, 10, 0, 0, 2, 0x10, 0, 0},
        {0xD4, 0, 0, 0, 0, 10, 0, 0, 2, 0},
        {0xD8, 0, 0, 0, 0, 10, 0, 0, 0, 2, 0, 0}};
    for (const auto& cdb : cdbs) {
        std::vector<std::uint8_t> frames(2 * 2352);
        auto srb = Block(0, 0, cdb, frames.data(), 2 * 2352, SRB_DIR_IN);
        EXPECT_EQ(host.Send(&srb), SS_COMP) << int(cdb[0]);
        EXPECT_EQ(frames[2352 + 5], test::PatternByte(11, 5)) << int(cdb[0]);
    }
}

TEST(AspiHost, ReadsCompleteLaterThroughTheEvent) {
    test::TempDir dir;
    AspiHost host({OpenDisc(dir, "a")}, Signal);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<std::uint8_t> frames(3 * 2352);
    auto srb = Block(0, 0, {0x28, 0, 0, 0, 0, 20, 0, 0, 3, 0}, frames.data(), 3 * 2352,
                     SRB_DIR_IN | SRB_EVENT_NOTIFY);
    srb.SRB_PostProc = event;
    EXPECT_EQ(host.Send(&srb), SS_PENDING);
    ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(frames[2 * 2352 + 9], test::PatternByte(22, 9));

    // Without the event flag the same read completes at once.
    auto now = Block(0, 0, {0x28, 0, 0, 0, 0, 20, 0, 0, 3, 0}, frames.data(), 3 * 2352, SRB_DIR_IN);
    EXPECT_EQ(host.Send(&now), SS_COMP);
    CloseHandle(event);
}

TEST(AspiHost, AbortReturnsOnlyWhenTheBlockIsNoLongerTouched) {
    clock::VirtualClock virtualClock;
    clock::Install(&virtualClock);
    test::TempDir dir;
    {
        AspiHost host({OpenDisc(dir, "a", "slow=0-10 slow_ms=60000")}, Signal);
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        auto frames = std::make_unique<std::vector<std::uint8_t>>(2 * 2352, 0xEE);
        auto srb = std::make_unique<SRB_ExecSCSICmd>(Block(0, 0, {0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0},
                                                           frames->data(), 2 * 2352,
                                                           SRB_DIR_IN | SRB_EVENT_NOTIFY));
        srb->SRB_PostProc = event;
        EXPECT_EQ(host.Send(srb.get()), SS_PENDING);
        ASSERT_TRUE(virtualClock.WaitForSleepers(1));  // the drive is busy with the read
        // A second request waits in the queue behind it.
        auto queued = std::make_unique<SRB_ExecSCSICmd>(*srb);
        EXPECT_EQ(host.Send(queued.get()), SS_PENDING);

        SRB_Abort abort{};
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_ToAbort = queued.get();
        EXPECT_EQ(host.Send(&abort), SS_COMP);
        EXPECT_EQ(queued->SRB_Status, SS_ABORTED);
        abort.SRB_ToAbort = srb.get();
        EXPECT_EQ(host.Send(&abort), SS_COMP);
        EXPECT_EQ(srb->SRB_Status, SS_ABORTED);
        EXPECT_EQ(host.Send(&abort), SS_ABORT_FAIL);  // nothing left to abort
        // The caller frees everything at once; the drive then finishes its read.
        srb.reset();
        queued.reset();
        frames.reset();
        virtualClock.Advance(60000);
        while (host.Pending() > 0)
            std::this_thread::yield();
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // never signalled
        CloseHandle(event);
    }
    clock::Install(nullptr);
}

}  // namespace
}  // namespace orvane::aspi

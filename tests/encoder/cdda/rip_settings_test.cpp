#include "encoder/cdda/rip_settings.h"

#include <gtest/gtest.h>

#include "encoder/cdda/verified_rip.h"
#include "encoder/job/job_request.h"

namespace orvane::cdda {
namespace {

TEST(RipSettings, OffsetsAreKeptPerDriveModelAndBoundedWhenRead) {
    encoder::MemorySettings store;
    CdDrive a, b;
    a.vendor = "PLEXTOR ";
    a.product = "DVDR   PX-716A  ";
    b.vendor = "ACME    ";
    b.product = "CD-ROM          ";
    RipSettings s;
    s.read.offset = 30;
    s.read.mode = ReadMode::Secure;
    s.accurateRip = true;
    ASSERT_TRUE(StoreRipSettings(store, a, s));
    EXPECT_EQ(store.GetProfileString("ReadOffsets", "PLEXTOR DVDR   PX-716A"), "30");
    RipSettings back = LoadRipSettings(store, a);
    EXPECT_EQ(back.read.offset, 30);
    EXPECT_EQ(back.read.mode, ReadMode::Secure);
    EXPECT_TRUE(back.Verified());
    // Another model has its own offset; a value out of range or no number reads as none.
    EXPECT_EQ(LoadRipSettings(store, b).read.offset, 0);
    store.WriteProfileString("ReadOffsets", "ACME CD-ROM", "5000");
    store.WriteProfileInt("Rip", "ReadMode", 7);
    store.WriteProfileInt("Rip", "SecureAgree", 1);
    back = LoadRipSettings(store, b);
    EXPECT_EQ(back.read.offset, 0);
    EXPECT_EQ(back.read.mode, ReadMode::Burst);
    EXPECT_EQ(back.read.agree, 2);
    // Nothing asked for: the described grab.
    encoder::MemorySettings fresh;
    EXPECT_FALSE(LoadRipSettings(fresh, a).Verified());
}

// The settings travel as one value: from the profile through the grabber's hand-over and the
// wizard's request into the CD job's reader, and from there back into the profile, every field
// arriving as it left.
TEST(RipSettings, EveryFieldGoesFromTheGrabberThroughTheJobAndBackIntoTheProfile) {
    CdDrive drive;
    drive.vendor = "ACME    ";
    drive.product = "CD-ROM          ";
    RipSettings s;
    s.read.offset = -667;
    s.read.mode = ReadMode::TestAndCopy;
    s.read.agree = 3;
    s.read.maxReads = 20;
    s.read.useC2 = false;
    s.read.overread = true;
    s.read.cacheSectors = 123;
    s.read.asRequested = true;
    s.accurateRip = true;
    s.accurateRipServer = "http://accuraterip.example/";

    encoder::CdHandOver selection;  // the grabber's OK
    ApplyRipSettings(s, selection);
    encoder::JobRequest request;  // the wizard's Finish
    request.cd = selection;
    EXPECT_TRUE(request.cd.ripLog);
    const ReadSettings read = ReadSettingsOf(request.cd);  // the CD job's reader
    EXPECT_EQ(read.offset, -667);
    EXPECT_EQ(read.mode, ReadMode::TestAndCopy);
    EXPECT_EQ(read.agree, 3);
    EXPECT_EQ(read.maxReads, 20);
    EXPECT_FALSE(read.useC2);
    EXPECT_TRUE(read.overread);
    EXPECT_EQ(read.cacheSectors, 123);
    EXPECT_TRUE(read.asRequested);
    EXPECT_TRUE(request.cd.rip.accurateRip);
    EXPECT_EQ(request.cd.rip.accurateRipServer, "http://accuraterip.example/");

    RipSettings job;
    job.read = read;
    job.accurateRip = request.cd.rip.accurateRip;
    job.accurateRipServer = request.cd.rip.accurateRipServer;
    encoder::MemorySettings store;
    ASSERT_TRUE(StoreRipSettings(store, drive, job));
    const RipSettings back = LoadRipSettings(store, drive);
    EXPECT_EQ(back.read.offset, -667);
    EXPECT_EQ(back.read.mode, ReadMode::TestAndCopy);
    EXPECT_EQ(back.read.agree, 3);
    EXPECT_EQ(back.read.maxReads, 20);
    EXPECT_FALSE(back.read.useC2);
    EXPECT_TRUE(back.read.overread);
    EXPECT_TRUE(back.accurateRip);
    EXPECT_EQ(back.accurateRipServer, "http://accuraterip.example/");
}

// The CUETools database's choice: absent from a profile that never made it, kept once made,
// and turned off again (a stale "on" would ask the database behind the user's back).
TEST(RipSettings, TheCtdbChoiceIsKeptOnceMadeAndTurnsOffAgain) {
    CdDrive drive;
    drive.vendor = "ACME";
    encoder::MemorySettings store;
    RipSettings s;
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    EXPECT_FALSE(store.HasProfileValue("Rip", "CTDB"));
    EXPECT_FALSE(store.HasProfileValue("Rip", "CTDBServer"));
    s.ctdb = true;
    s.ctdbServer = "http://ctdb.example";
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    RipSettings back = LoadRipSettings(store, drive);
    EXPECT_TRUE(back.ctdb);
    EXPECT_TRUE(back.Verified());
    EXPECT_EQ(back.ctdbServer, "http://ctdb.example");
    s.ctdb = false;
    s.ctdbServer.clear();
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    back = LoadRipSettings(store, drive);
    EXPECT_FALSE(back.ctdb);
    EXPECT_EQ(back.ctdbServer, "");
}

// The disc as one image: stored once chosen, and its hand-over reads the whole disc the way an
// image holds it (the audio before track 1, every pregap where it lies) with its log and cue
// sheet, whatever pregap choice was stored beside it.
TEST(RipSettings, AnImageIsStoredOnceChosenAndReadsTheDiscAsItLies) {
    CdDrive drive;
    encoder::MemorySettings store;
    RipSettings s;
    s.pregaps = rip::PregapChoice::Drop;
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    EXPECT_FALSE(store.HasProfileValue("Rip", "Image"));
    encoder::CdHandOver plain;
    ApplyRipSettings(LoadRipSettings(store, drive), plain);
    EXPECT_FALSE(plain.ripLog);
    EXPECT_FALSE(plain.ripLeadingGap);
    EXPECT_EQ(plain.rip.pregaps, rip::PregapChoice::Drop);

    s.image = true;
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    encoder::CdHandOver image;
    ApplyRipSettings(LoadRipSettings(store, drive), image);
    EXPECT_TRUE(image.rip.image);
    EXPECT_TRUE(image.ripLog);
    EXPECT_TRUE(image.ripLeadingGap);
    EXPECT_EQ(image.rip.pregaps, rip::PregapChoice::Previous);
    // The profile keeps the pregaps chosen for the tracks.
    EXPECT_EQ(store.GetProfileString("Rip", "Pregaps"), "drop");

    s.image = false;
    ASSERT_TRUE(StoreRipSettings(store, drive, s));
    EXPECT_EQ(store.GetProfileInt("Rip", "Image", 7), 0u);
    EXPECT_FALSE(LoadRipSettings(store, drive).image);
}

TEST(RipSettings, ReadSpeedsArePerDriveWithTheModelsAndTheSharedValueAsDefaults) {
    encoder::MemorySettings store;
    CdDrive a, twin, b, unnamed;
    a.vendor = twin.vendor = "KESTRAL ";
    a.product = twin.product = "CDR-4410 PRO    ";
    a.adapter = 0, a.target = 0;
    twin.adapter = 1, twin.target = 2;
    b.vendor = "ACME    ";
    b.product = "CD-ROM          ";
    // Nothing stored: every drive reads the shared value.
    EXPECT_EQ(LoadReadSpeed(store, a, 6), 6);
    EXPECT_EQ(LoadReadSpeed(store, b, 6), 6);
    // Two drives of one model keep a speed each, under their bus addresses.
    ASSERT_TRUE(StoreReadSpeed(store, a, 0));
    EXPECT_EQ(store.GetProfileString("ReadSpeeds", "KESTRAL CDR-4410 PRO (0:0)"), "0");
    EXPECT_EQ(LoadReadSpeed(store, a, 6), 0);  // "fastest" is a value of its own
    EXPECT_EQ(LoadReadSpeed(store, twin, 6), 6);
    ASSERT_TRUE(StoreReadSpeed(store, twin, 12));
    EXPECT_EQ(LoadReadSpeed(store, a, 6), 0);
    EXPECT_EQ(LoadReadSpeed(store, twin, 6), 12);
    EXPECT_EQ(LoadReadSpeed(store, b, 6), 6);
    EXPECT_EQ(store.GetProfileInt("Preferences", "CDAReadSpeed", 77), 77u);
    // An entry for the model serves its drives that have none of their own; a value out of
    // range or no number reads as none.
    for (const char* bad : {"100", "-1", "8x", " 8", "", "99999999999"}) {
        store.WriteProfileString("ReadSpeeds", "ACME CD-ROM", bad);
        EXPECT_EQ(LoadReadSpeed(store, b, 6), 6) << bad;
        store.WriteProfileString("ReadSpeeds", "ACME CD-ROM (0:0)", bad);
        EXPECT_EQ(LoadReadSpeed(store, b, 6), 6) << bad;
    }
    store.WriteProfileString("ReadSpeeds", "ACME CD-ROM", "99");
    EXPECT_EQ(LoadReadSpeed(store, b, 6), 99);
    store.WriteProfileString("ReadSpeeds", "ACME CD-ROM (0:0)", "4");
    EXPECT_EQ(LoadReadSpeed(store, b, 6), 4);
    // A drive with no name keeps the shared value, as every drive did before.
    ASSERT_TRUE(StoreReadSpeed(store, unnamed, 24));
    EXPECT_EQ(store.GetProfileInt("Preferences", "CDAReadSpeed", 0), 24u);
    EXPECT_EQ(LoadReadSpeed(store, unnamed, 3), 3);
}

TEST(RipSettings, ReadOffsetsParseWithinTheirRangeOnly) {
    int v = 99;
    for (const char* bad : {"", "-", "+", "2941", "-2941", "1e3", "12a", " 5", "99999999"})
        EXPECT_FALSE(ParseReadOffset(bad, v)) << bad;
    EXPECT_EQ(v, 99);
    ASSERT_TRUE(ParseReadOffset("-2940", v));
    EXPECT_EQ(v, -2940);
    ASSERT_TRUE(ParseReadOffset("+667", v));
    EXPECT_EQ(v, 667);
}

}  // namespace
}  // namespace orvane::cdda

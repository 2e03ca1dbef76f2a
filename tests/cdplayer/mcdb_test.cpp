#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "cdplayer/mcdb.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using orvane::test::ReadFile;
using orvane::test::TempDir;
using orvane::test::WriteFile;

namespace {

const std::string kExample(
    "\xFF\xFF\x01\x00\x04\x00MCDB"
    "\x02\x00\x01X\x02YZ"
    "\x01\x00\x08"
    "12345678"
    "\x01\x00\x00\x00"
    "\x01\x00\x01\x00"
    "\x01\x00\x03"
    "ABC",
    42);

MCDB ExampleRecord() {
    MCDB db;
    db.TrackNames = {"X", "YZ"};
    db.DiscIds = {"12345678"};
    db.DiscNames = {"ABC"};
    db.FirstTrack = {0};
    db.LastTrack = {1};
    return db;
}

}  // namespace

TEST(Mcdb, OneDiscIsStoredByteForByteAndReadBack) {
    std::string bytes;
    ASSERT_TRUE(ExampleRecord().Serialize(bytes));
    EXPECT_EQ(bytes, kExample);

    MCDB db;
    ASSERT_TRUE(db.Parse(kExample));
    std::vector<std::string> names;
    ASSERT_TRUE(db.FindDisc("12345678", names));
    EXPECT_EQ(names, (std::vector<std::string>{"X", "YZ"}));
    EXPECT_EQ(db.DiscNames[static_cast<std::size_t>(db.CurrentDisc)], "ABC");
}

TEST(Mcdb, StringLengthFormsAndCodePage) {
    MCDB db = ExampleRecord();
    db.TrackNames = {std::string(254, 'a'), std::string(255, 'b'), "Caf\u00E9 \u20AC"};
    db.LastTrack = {2};
    std::string bytes;
    ASSERT_TRUE(db.Serialize(bytes));
    // 254 characters take one length byte, 255 the three bytes FF FF 00.
    EXPECT_EQ(bytes.substr(12, 1), "\xFE");
    EXPECT_EQ(bytes.substr(12 + 1 + 254, 3), std::string("\xFF\xFF\x00", 3));
    // Text is stored in Windows-1252, one byte per character.
    EXPECT_NE(bytes.find("\x06"
                         "Caf\xE9 \x80"),
              std::string::npos);

    MCDB back;
    ASSERT_TRUE(back.Parse(bytes));
    EXPECT_EQ(back.TrackNames, db.TrackNames);

    // A string of 0xFFFE characters or more takes the u32 form.
    db.TrackNames = {std::string(0x10000, 'c')};
    db.LastTrack = {0};
    ASSERT_TRUE(db.Serialize(bytes));
    EXPECT_EQ(bytes.substr(12, 7), std::string("\xFF\xFF\xFF\x00\x00\x01\x00", 7));
    ASSERT_TRUE(back.Parse(bytes));
    EXPECT_EQ(back.TrackNames[0].size(), 0x10000u);
}

TEST(Mcdb, ReadsTheUtf16StringFormAndIgnoresStaleBytes) {
    // Track name "\u00C4\u4E2D" as UTF-16: marker FF FE FF, second prefix 02, four bytes.
    std::string bytes("\xFF\xFF\x01\x00\x04\x00MCDB\x01\x00\xFF\xFE\xFF\x02\xC4\x00\x2D\x4E", 20);
    bytes += std::string("\x01\x00\x01Q\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x01N", 16);
    bytes += "stale bytes of a longer record";
    MCDB db;
    ASSERT_TRUE(db.Parse(bytes));
    EXPECT_EQ(db.TrackNames[0], "\u00C4?");
    EXPECT_EQ(db.DiscNames[0], "N");
}

TEST(Mcdb, UnusableImagesAreRefused) {
    auto refused = [](std::string bytes) {
        MCDB db;
        std::string why;
        const bool ok = db.Parse(bytes, &why);
        return !ok && !why.empty();
    };
    std::string other = kExample;
    other[0] = '\x01';
    EXPECT_TRUE(refused(other));  // another tag
    other = kExample;
    other[2] = '\x02';
    EXPECT_TRUE(refused(other));  // another schema
    other = kExample;
    other[6] = 'X';
    EXPECT_TRUE(refused(other));  // another class
    EXPECT_TRUE(refused(std::string("\xFF\xFF\x01\x00\x40\x00", 6) + std::string(64, 'M')));
    for (std::size_t cut = 0; cut < kExample.size(); ++cut)
        EXPECT_TRUE(refused(kExample.substr(0, cut))) << cut;  // ends inside the body
    other = kExample;
    other[34] = '\x05';  // last-track index beyond the two names
    EXPECT_TRUE(refused(other));
    other = kExample;
    other[10] = '\xF0';  // a count the file cannot hold
    EXPECT_TRUE(refused(other));
    other = kExample;
    other[36] = '\x02';  // two disc names for one disc
    EXPECT_TRUE(refused(other + std::string("\x01Z", 2)));
}

TEST(Mcdb, FirstEqualIdentityWinsAndNamesStayInTheDiscsRange) {
    MCDB db;
    db.TrackNames = {"a1", "a2", "b1", "c1", "c2"};
    db.DiscIds = {"A", "B", "A", "E"};
    db.DiscNames = {"first", "second", "third", "empty"};
    db.FirstTrack = {0, 2, 3, 0};
    db.LastTrack = {1, 2, 4, 0xFFFF};
    std::vector<std::string> names{"old"};
    ASSERT_TRUE(db.FindDisc("A", names));
    EXPECT_EQ(names, (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(db.CurrentDisc, 0);
    ASSERT_TRUE(db.FindDisc("E", names));  // the record of a disc with no tracks
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(db.FindDisc("a", names));  // case-sensitive
    EXPECT_TRUE(names.empty());

    std::string bytes;
    ASSERT_TRUE(db.Serialize(bytes));
    MCDB back;
    EXPECT_TRUE(back.Parse(bytes));
}

TEST(McdbFile, WritesReplaceTheFileAndUnreadableFilesAreSetAside) {
    TempDir dir;
    const std::string path = (dir / "Nerop.DB").string();
    MCDB db;
    EXPECT_EQ(ReadDatabaseFile(path, db), DbRead::Missing);
    EXPECT_FALSE(WriteDatabaseFile(path, ExampleRecord()));  // never creates the file
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_TRUE(CreateDatabaseFile(path));
    EXPECT_EQ(ReadDatabaseFile(path, db), DbRead::Empty);
    WriteFile(path, kExample + "stale");
    ASSERT_EQ(ReadDatabaseFile(path, db), DbRead::Ok);
    EXPECT_FALSE(CreateDatabaseFile(path));  // an existing file is never truncated
    EXPECT_EQ(ReadFile(path).size(), 47u);
    db.DiscNames[0] = "A";
    ASSERT_TRUE(WriteDatabaseFile(path, db));
    EXPECT_EQ(ReadFile(path).size(), 40u);
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));

    // A corrupt file is refused with its reason, and moved aside beside earlier ones.
    WriteFile(path, "garbage");
    WriteFile(path + ".unreadable", "earlier");
    std::string why;
    EXPECT_EQ(ReadDatabaseFile(path, db, &why), DbRead::Unreadable);
    EXPECT_EQ(why, "the file does not start a new class");
    EXPECT_EQ(ReadFile(path), "garbage");  // reading alone changes nothing
    std::string kept;
    ASSERT_TRUE(SetAsideDatabaseFile(path, kept, why));
    EXPECT_EQ(kept, path + ".unreadable-2");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadFile(path + ".unreadable"), "earlier");
    EXPECT_EQ(ReadFile(path + ".unreadable-2"), "garbage");
}

TEST(McdbFile, NothingIsWrittenWhenTheFileCannotBeOpenedForWriting) {
    TempDir dir;
    const std::string path = (dir / "Nerop.DB").string();
    std::filesystem::create_directory(path);  // opening it for writing fails, even for root
    EXPECT_FALSE(WriteDatabaseFile(path, ExampleRecord()));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

namespace {

// Bytes this process has read through read() and similar calls so far.
std::uint64_t BytesReadSoFar() {
    std::istringstream io(ReadFile("/proc/self/io"));
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

}  // namespace

TEST(McdbFile, OnlyRegularFilesAreReadAndOnlyAsFarAsTheRecordGoes) {
    TempDir dir;
    const std::string path = (dir / "Nerop.DB").string();
    MCDB db = ExampleRecord();
    std::string why;

    // A FIFO with no writer would block a plain open for ever.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadDatabaseFile(path, db, &why), DbRead::Unreadable);
    EXPECT_EQ(why, "it is not a regular file");
    std::filesystem::remove(path);

    // An endless file behind a link, and a folder.
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(ReadDatabaseFile(path, db, &why), DbRead::Unreadable);
    EXPECT_EQ(why, "it is not a regular file");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_EQ(ReadDatabaseFile(path, db, &why), DbRead::Unreadable);
    std::filesystem::remove(path);

    // Larger than any database: refused by its size, without reading it (the file is sparse).
    WriteFile(path, kExample);
    std::filesystem::resize_file(path, kMaxDatabaseBytes + 1);
    std::uint64_t before = BytesReadSoFar();
    EXPECT_EQ(ReadDatabaseFile(path, db, &why), DbRead::Unreadable);
    EXPECT_EQ(why, "it is larger than a song database can be");
    EXPECT_LT(BytesReadSoFar() - before, 4096u);
    EXPECT_EQ(db.DiscIds, ExampleRecord().DiscIds);  // untouched

    // A record followed by a long stale tail: only the record's bytes are read.
    std::filesystem::resize_file(path, kMaxDatabaseBytes);
    before = BytesReadSoFar();
    MCDB read;
    ASSERT_EQ(ReadDatabaseFile(path, read, &why), DbRead::Ok) << why;
    EXPECT_EQ(read.DiscNames, ExampleRecord().DiscNames);
    EXPECT_LT(BytesReadSoFar() - before, 256u * 1024);

    // A count that claims more names than the file holds is refused before anything is read
    // into memory.
    std::string huge = kExample.substr(0, 10) + std::string("\xFF\xFF\xFF\xFF\xFF\x0F", 6);
    WriteFile(path, huge);
    EXPECT_EQ(ReadDatabaseFile(path, read, &why), DbRead::Unreadable);
    EXPECT_EQ(why, "a count runs past the end of the file");
}

#include "encoder/rip/sample_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

#include "encoder/cdda/reading.h"
#include "encoder/cdda/track_list.h"
#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

constexpr std::uint32_t kSamples = kFrameBytes / 4;

// Tracks of 100, 32 and 30 sectors on an image drive whose faults each test sets.
class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Thousands of requests on a busy machine: none may count as a drive that stopped
        // answering.
        SetAspiWaitMs(600000);
        drive_ = test::ImageOf(dir_, {100, 32, 30});
        ASSERT_TRUE(drive_);
        transport_ = std::make_unique<test::Transport>(
            std::vector<std::shared_ptr<cdrom::DiscDrive>>{drive_});
        ASSERT_EQ(DiscoverDrives(session_.drives), 1);
        ASSERT_EQ(session_.drives[0].ReadToc(session_.toc), 1);
        ComputeTrackArrays(session_);
        session_.selectedDrive = 0;
        disc_ = test::PatternFrames(0, session_.leadOut);
    }
    void TearDown() override { SetAspiWaitMs(5000); }
    void Faults(const std::string& words) {
        cdrom::FaultPlan plan;
        std::istringstream in(words);
        std::string word, error;
        while (in >> word)
            ASSERT_TRUE(cdrom::ParseFaultWord(word, plan, error)) << error;
        drive_->SetFaults(plan);
    }

    // The disc's frames as a read corrected by offset gives them: silence where the drive
    // reaches no sample.
    std::string Expected(std::uint32_t first, std::uint32_t count, int offset) const {
        std::string out(std::size_t{count} * kFrameBytes, '\0');
        const std::int64_t disc = std::int64_t{session_.leadOut} * kSamples;
        for (std::uint32_t k = 0; k < count * kSamples; ++k) {
            const std::int64_t j = std::int64_t{first} * kSamples + k;
            if (j < 0 || j >= disc || j + offset < 0 || j + offset >= disc) continue;
            std::copy_n(disc_.begin() + j * 4, 4, out.begin() + std::int64_t{k} * 4);
        }
        return out;
    }

    struct SpanRead {
        AspiResult result = 1;
        std::string data;
    };
    // Reads first .. end - 1 through the span loop, n frames a request.
    static SpanRead ReadSpan(SampleReader& reader, std::uint32_t first, std::uint32_t end,
                             std::uint32_t n, bool reread = false) {
        struct Collect final : ReadObserver {
            std::string data;
            bool Samples(std::uint32_t, std::uint32_t count, const std::uint8_t* asRead,
                         const std::uint8_t*) override {
                data.append(asRead, asRead + std::size_t{count} * kFrameBytes);
                return true;
            }
        } collect;
        SpanRequest span;
        span.first = first;
        span.end = end;
        span.chunk = n;
        span.reread = reread;
        SpanRead out;
        out.result = reader.ReadSpan(span, collect).result;
        out.data = std::move(collect.data);
        return out;
    }

    // The frames of the read that differ from the disc and whose sectors were not reported.
    std::vector<std::uint32_t> Unreported(const std::string& data, std::uint32_t first, int offset,
                                          const std::vector<std::uint32_t>& suspicious) const {
        const std::string expected =
            Expected(first, static_cast<std::uint32_t>(data.size() / kFrameBytes), offset);
        std::vector<std::uint32_t> out;
        for (std::size_t f = 0; f * kFrameBytes < data.size(); ++f) {
            if (data.compare(f * kFrameBytes, kFrameBytes, expected, f * kFrameBytes,
                             kFrameBytes) == 0)
                continue;
            // The drive sectors that gave the frame's samples.
            const std::int64_t at =
                (std::int64_t{first} + static_cast<std::int64_t>(f)) * kSamples + offset;
            const std::int64_t s0 = at >= 0 ? at / kSamples : -((-at + kSamples - 1) / kSamples);
            const std::int64_t s1 = at % kSamples ? s0 + 1 : s0;
            const auto reported = [&](std::int64_t s) {
                return s >= 0 && std::find(suspicious.begin(), suspicious.end(),
                                           static_cast<std::uint32_t>(s)) != suspicious.end();
            };
            if (!reported(s0) && !reported(s1))
                out.push_back(first + static_cast<std::uint32_t>(f));
        }
        return out;
    }

    test::TempDir dir_;
    std::shared_ptr<cdrom::ImageDrive> drive_;
    std::unique_ptr<test::Transport> transport_;
    CdSession session_;
    std::string disc_;
};

ReadSettings Secure() {
    ReadSettings s;
    s.mode = ReadMode::Secure;
    return s;
}

TEST_F(ReaderTest, AnUnreadableSectorOfACachingDriveSpoilsOnlyItself) {
    // Windows of a caching drive (the whole first track): the request holding the sector
    // fails, its pieces read; with C2 errors before it the data stays in place.
    for (const char* faults : {"cache=20 fail=40", "cache=20 fail=40 c2=20", "fail=40"}) {
        Faults(faults);
        SampleReader reader(session_.Drive(), session_.leadOut, Secure());
        SpanRead r = ReadSpan(reader, 0, 100, 26);
        ASSERT_EQ(r.result, 1) << faults;
        const bool c2 = std::string(faults).find("c2") != std::string::npos;
        const std::vector<std::uint32_t> named =
            c2 ? std::vector<std::uint32_t>{20, 40} : std::vector<std::uint32_t>{40};
        EXPECT_EQ(reader.Suspicious(), named) << faults;
        std::string expected = Expected(0, 100, 0);
        // The unreadable sector is silence; the one read only with C2 errors keeps its read.
        std::fill_n(expected.begin() + 40 * kFrameBytes, kFrameBytes, '\0');
        if (c2) cdrom::AlterSector(reinterpret_cast<std::uint8_t*>(&expected[20 * kFrameBytes]));
        EXPECT_TRUE(r.data == expected) << faults;
    }
}

TEST_F(ReaderTest, ASectorThatReadsAfterFailingIsComparedWithReadsFromTheDisc) {
    // The cache keeps a flipped first read while the failing request around it is split.
    Faults("cache=20 fail=40 fail_times=4 flip=20,46");
    SampleReader reader(session_.Drive(), session_.leadOut, Secure());
    SpanRead r = ReadSpan(reader, 0, 100, 26);
    ASSERT_EQ(r.result, 1);
    EXPECT_TRUE(reader.Suspicious().empty());
    EXPECT_TRUE(r.data == Expected(0, 100, 0));
}

TEST_F(ReaderTest, ReadsThatNeverAgreeAreSuspiciousAfterTheMostReads) {
    Faults("noisy=5");
    ReadSettings settings = Secure();
    settings.maxReads = 5;
    SampleReader reader(session_.Drive(), session_.leadOut, settings);
    SpanRead r = ReadSpan(reader, 0, 10, 10);
    ASSERT_EQ(r.result, 1);
    EXPECT_EQ(reader.Suspicious(), std::vector<std::uint32_t>{5});
    EXPECT_EQ(Unreported(r.data, 0, 0, reader.Suspicious()), std::vector<std::uint32_t>{});
    // Two reads of everything, then one of the sector alone per pass left.
    EXPECT_EQ(reader.Requests(), 5u);

    // The test and the copy differ; a noisy sector with C2 pointers is suspicious anyway.
    Faults("noisy=5");
    ReadSettings test;
    test.mode = ReadMode::TestAndCopy;
    SampleReader tac(session_.Drive(), session_.leadOut, test);
    EXPECT_FALSE(ReadSpan(tac, 0, 10, 4).data == ReadSpan(tac, 0, 10, 4, true).data);
}

TEST_F(ReaderTest, TestAndCopyFlagsWhatTheDriveCouldNotCorrectAndReadsTheCopyFromTheDisc) {
    // Both reads alike and wrong, flagged by C2 pointers.
    Faults("c2=12");
    ReadSettings settings;
    settings.mode = ReadMode::TestAndCopy;
    SampleReader reader(session_.Drive(), session_.leadOut, settings);
    SpanRead test = ReadSpan(reader, 100, 132, 8), copy = ReadSpan(reader, 100, 132, 8, true);
    EXPECT_TRUE(test.data == copy.data);
    EXPECT_TRUE(reader.Suspicious().empty());  // the sector is not in this track
    test = ReadSpan(reader, 0, 100, 8);
    copy = ReadSpan(reader, 0, 100, 8, true);
    EXPECT_TRUE(test.data == copy.data);
    EXPECT_EQ(reader.Suspicious(), std::vector<std::uint32_t>{12});

    // A short track wholly in the cache: the copy would only repeat the test's flipped read.
    Faults("cache=40 flip=110");
    SampleReader cached(session_.Drive(), session_.leadOut, settings);
    test = ReadSpan(cached, 100, 132, 8);
    copy = ReadSpan(cached, 100, 132, 8, true);
    EXPECT_FALSE(test.data == copy.data);
    EXPECT_TRUE(copy.data == Expected(100, 32, 0));
}

TEST_F(ReaderTest, OverReadingADriveThatCannotGivesSilenceBeyondTheLeadOut) {
    Faults("read_offset=300 flip=161");
    ReadSettings settings = Secure();
    settings.offset = 300;
    settings.overread = true;
    SampleReader reader(session_.Drive(), session_.leadOut, settings);
    SpanRead r = ReadSpan(reader, 132, 162, 7);
    ASSERT_EQ(r.result, 1);
    EXPECT_TRUE(reader.Suspicious().empty());
    EXPECT_TRUE(r.data == Expected(132, 30, 300));
}

TEST_F(ReaderTest, FailuresThatAreNotTheMediumsAndTheCancelEndTheRead) {
    SampleReader reader(session_.Drive(), session_.leadOut, Secure());
    Faults("no_disc");
    std::vector<std::uint8_t> buffer(26 * kFrameBytes);
    EXPECT_EQ((reader.Read(0, 26, buffer.data(), 6) >> 16) & 0x0F, 2);
    // One request: nothing is split or read again for a drive without its disc.
    EXPECT_EQ(reader.Requests(), 1u);

    Faults("fail=0-161");
    bool cancel = false;
    int asked = 0;
    reader.SetCancelCheck([&] { return ++asked > 3 && (cancel = true); });
    EXPECT_EQ(reader.Read(0, 26, buffer.data(), 6), kReadCancelled);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(reader.Requests(), 4u);
}

TEST_F(ReaderTest, TheSpanLoopHandsOnEachChunkAndStopsWhereItIsTold) {
    // Sees every chunk; stops after chunk `cancelAfter` (ChunkDone) or before request
    // `stopAt` (StopRequested).
    struct Watch final : ReadObserver {
        int cancelAfter = -1, stopAt = -1, asked = 0;
        std::vector<std::uint32_t> read, done;
        std::string asRead, samples;
        bool StopRequested() override { return ++asked == stopAt; }
        bool Samples(std::uint32_t first, std::uint32_t count, const std::uint8_t* a,
                     const std::uint8_t* s) override {
            read.push_back(first);
            asRead.append(a, a + std::size_t{count} * kFrameBytes);
            samples.append(s, s + std::size_t{count} * kFrameBytes);
            return true;
        }
        bool ChunkDone(std::uint32_t first, std::uint32_t, AspiResult) override {
            done.push_back(first);
            return static_cast<int>(done.size()) == cancelAfter;
        }
    };
    SpanRequest span;
    span.end = 100;
    span.chunk = 26;
    {
        SampleReader reader(session_.Drive(), session_.leadOut, ReadSettings{});
        Watch w;
        w.cancelAfter = 2;
        EXPECT_EQ(reader.ReadSpan(span, w).outcome, SpanOutcome::Cancelled);
        EXPECT_EQ(w.done, (std::vector<std::uint32_t>{0, 26}));
        EXPECT_EQ(reader.Requests(), 2u);
    }
    {
        SampleReader reader(session_.Drive(), session_.leadOut, ReadSettings{});
        Watch w;
        w.stopAt = 3;
        const SpanResult r = reader.ReadSpan(span, w);
        EXPECT_EQ(r.outcome, SpanOutcome::Failed);
        EXPECT_EQ(r.result, kReadCancelled);
        EXPECT_EQ(r.first, 52u);
        EXPECT_EQ(reader.Requests(), 2u);
    }
    {
        // A chunk that never reads is seen as done, not as samples, and ends the span.
        Faults("fail=60");
        SampleReader reader(session_.Drive(), session_.leadOut, ReadSettings{});
        Watch w;
        const SpanResult r = reader.ReadSpan(span, w);
        EXPECT_EQ(r.outcome, SpanOutcome::Failed);
        EXPECT_EQ(r.first, 52u);
        EXPECT_EQ(r.count, 26u);
        EXPECT_EQ((r.result >> 16) & 0x0F, 3);
        EXPECT_EQ(w.read, (std::vector<std::uint32_t>{0, 26}));
        EXPECT_EQ(w.done, (std::vector<std::uint32_t>{0, 26, 52}));
        EXPECT_EQ(reader.Requests(), 2u + 6u);
    }
    {
        // De-emphasis: the samples as read and as they go on, the filter running across chunks.
        Faults("");
        SampleReader reader(session_.Drive(), session_.leadOut, ReadSettings{});
        Watch w;
        span.deemphasis = true;
        EXPECT_EQ(reader.ReadSpan(span, w).outcome, SpanOutcome::Done);
        EXPECT_TRUE(w.asRead == Expected(0, 100, 0));
        std::string filtered = Expected(0, 100, 0);
        Deemphasis filter;
        filter.Process(reinterpret_cast<std::uint8_t*>(filtered.data()), filtered.size() / 4);
        EXPECT_TRUE(w.samples == filtered);
        EXPECT_FALSE(w.samples == w.asRead);
    }
}

// Random faults, request sizes, offsets and modes: every sector the reader gives as good is the
// disc's, every other one it reports. ORVANE_READER_CASES sets the number of cases,
// ORVANE_READER_SEED the first case's seed.
TEST_F(ReaderTest, WhatIsReportedGoodIsTheDiscsOnEveryDrive) {
    const char* cases = std::getenv("ORVANE_READER_CASES");
    const char* seed = std::getenv("ORVANE_READER_SEED");
    const long count = cases ? std::atol(cases) : 300;
    const unsigned long first = seed ? std::strtoul(seed, nullptr, 10) : 20261209;
    long checked = 0, withFaults = 0;
    for (long c = 0; c < count; ++c) {
        std::mt19937 rng(static_cast<std::uint32_t>(first + static_cast<unsigned long>(c)));
        const auto pick = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(rng);
        };
        std::ostringstream words;
        const auto ranges = [&](const char* name, int most, int length) {
            const int k = pick(0, most);
            if (k == 0) return;
            words << ' ' << name << '=';
            for (int i = 0; i < k; ++i) {
                const int at = pick(0, 161);
                words << (i ? "," : "") << at << '-' << std::min(161, at + pick(0, length - 1));
            }
        };
        ReadSettings settings;
        settings.mode = pick(0, 2) ? ReadMode::Secure : ReadMode::TestAndCopy;
        settings.agree = pick(2, 3);
        settings.maxReads = pick(settings.agree, 8);
        settings.useC2 = pick(0, 3) != 0;
        settings.overread = pick(0, 1) == 1;
        const int caches[] = {0, 0, 5, 20, 40};
        words << "cache=" << caches[pick(0, 4)];
        ranges("fail", 2, 3);
        if (pick(0, 1)) words << " fail_times=" << pick(1, 5);
        ranges("flip", 4, 3);
        // The same wrong samples on every read can only be told by the drive's C2 pointers.
        if (settings.useC2) ranges("c2", 2, 2);
        ranges("noisy", 1, 2);
        settings.offset = pick(0, 2) ? 0 : pick(-700, 700);
        const int offset = settings.offset;
        if (offset) words << " read_offset=" << offset;
        Faults(words.str());
        const auto n = static_cast<std::uint32_t>(pick(1, 30));
        std::ostringstream what;
        what << "case " << first + static_cast<unsigned long>(c) << ":" << words.str() << ", "
             << ReadModeName(settings.mode) << ", agree " << settings.agree << ", reads "
             << settings.maxReads << (settings.useC2 ? ", C2" : "")
             << (settings.overread ? ", overread" : "") << ", " << n << " a request";

        // The disc's tracks in turn through one reader, as a rip reads them.
        SampleReader reader(session_.Drive(), session_.leadOut, settings);
        for (int t = 0; t < session_.TrackCount(); ++t) {
            const FrameRange range = TrackRange(session_, t, false, 0);
            reader.ClearSuspicious();
            SpanRead r = ReadSpan(reader, range.start, range.end, n);
            if (settings.mode == ReadMode::TestAndCopy) {
                SpanRead copy = ReadSpan(reader, range.start, range.end, n, true);
                // A failed read or a test that differs from the copy is the track reported.
                if (r.result != 1 || copy.result != 1 || !(r.data == copy.data)) continue;
                r = copy;
            } else {
                // Only the medium failed: every request gives its samples.
                ASSERT_EQ(r.result, 1) << what.str() << ", track " << t + 1;
            }
            ++checked;
            withFaults += !reader.Suspicious().empty();
            ASSERT_EQ(Unreported(r.data, range.start, offset, reader.Suspicious()),
                      std::vector<std::uint32_t>{})
                << what.str() << ", track " << t + 1;
        }
    }
    RecordProperty("tracks", static_cast<int>(checked));
    std::printf("%ld cases, %ld tracks checked, %ld with suspicious sectors\n", count, checked,
                withFaults);
}

}  // namespace
}  // namespace orvane::cdda

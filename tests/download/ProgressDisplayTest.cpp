// The progress arithmetic against a scripted clock: estimate, bar, texts,
// throttle, speed samples and the limits of each.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "download/ProgressDisplay.h"

namespace {

constexpr int64_t kMB = 1048576;

// Hands out the scripted readings in order and repeats the last one, and
// counts how often the clock was read.
struct ScriptedClock {
    std::vector<uint32_t> readings;
    size_t reads = 0;

    static uint32_t Read(void* context) {
        auto* self = static_cast<ScriptedClock*>(context);
        const size_t i =
            self->reads < self->readings.size() ? self->reads : self->readings.size() - 1;
        ++self->reads;
        return self->readings[i];
    }
};

TransferTally Tally(int32_t fileIndex, int32_t fileCount, int64_t doneBytes, int64_t fileSize,
                    int64_t fileReceived) {
    TransferTally tally = {};
    tally.fileIndex = fileIndex;
    tally.fileCount = fileCount;
    tally.doneBytes = doneBytes;
    tally.fileSize = fileSize;
    tally.fileReceived = fileReceived;
    return tally;
}

bool SameTally(const TransferTally& a, const TransferTally& b) {
    if (a.fileIndex != b.fileIndex || a.fileSize != b.fileSize ||
        a.fileReceived != b.fileReceived || a.fileCount != b.fileCount ||
        a.doneBytes != b.doneBytes || a.lastShownTime != b.lastShownTime) {
        return false;
    }
    for (int i = 0; i < kSpeedSampleSlots; ++i) {
        if (a.sampleTime[i] != b.sampleTime[i] || a.sampleBytes[i] != b.sampleBytes[i])
            return false;
    }
    return true;
}

bool Refresh(TransferTally& tally, std::vector<uint32_t> readings, bool force,
             ProgressFrame& frame) {
    ScriptedClock clock{std::move(readings)};
    return ComputeProgressFrame(tally, force, &ScriptedClock::Read, &clock, frame);
}

TEST(ProgressDisplay, WorkedExampleComesOutExactly) {
    TransferTally tally = Tally(0, 3, 0, 2097152, 1048576);
    RecordSpeedSample(tally, 10000, 0);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {12000}, false, frame));
    EXPECT_EQ(frame.barPosition, 166);
    EXPECT_STREQ(frame.debugLine, "1/3 1.00MB/2.00MB (1.00MB/6.00MB) 16.6%\r\n");
    EXPECT_STREQ(frame.progressText, "1.0MB / 6.0MB ( 0.5MB/s )   00:10\n");
    EXPECT_EQ(tally.lastShownTime, 12000u);
    // The refresh itself became the second sample.
    EXPECT_EQ(tally.sampleTime[1], 12000u);
    EXPECT_EQ(tally.sampleBytes[1], 1048576);
}

// A refresh 400 ms after the last one has no effect at all; force refreshes.
TEST(ProgressDisplay, ThrottleLeavesTheTallyUntouchedInsideOneSecond) {
    TransferTally tally = Tally(0, 3, 0, 2097152, 1048576);
    RecordSpeedSample(tally, 10000, 0);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {12000}, false, frame));

    tally.fileReceived = 1500000;
    const TransferTally before = tally;
    ScriptedClock clock{{12400}};
    EXPECT_FALSE(ComputeProgressFrame(tally, false, &ScriptedClock::Read, &clock, frame));
    EXPECT_TRUE(SameTally(before, tally)) << "not even a speed sample";
    EXPECT_EQ(clock.reads, 1u);

    EXPECT_FALSE(Refresh(tally, {12999}, false, frame));
    EXPECT_TRUE(SameTally(before, tally));

    ASSERT_TRUE(Refresh(tally, {12400}, true, frame)) << "force refreshes at once";
    EXPECT_EQ(tally.lastShownTime, 12400u);
    EXPECT_EQ(tally.sampleTime[2], 12400u);
    EXPECT_EQ(tally.sampleBytes[2], 1500000);

    EXPECT_FALSE(Refresh(tally, {13399}, false, frame));
    EXPECT_TRUE(Refresh(tally, {13400}, false, frame)) << "exactly one second later";
}

TEST(ProgressDisplay, ThrottleHoldsOneSecondAcrossTheClockWrap) {
    struct Case {
        uint32_t lastShown;
        uint32_t now;
        bool refreshes;
    };
    const Case cases[] = {
        {0xFFFFFC00u, 0x00000100u, true},   // 1280 ms, across the wrap
        {0xFFFFFF00u, 0x00000100u, false},  // 512 ms, across the wrap
        {0xFFFFFF00u, 0xFFFFFFF0u, false},  // 240 ms just before the wrap
        {0xFFFFFB00u, 0xFFFFFFF0u, true},   // 1264 ms just before the wrap
        {0, 999, false},                    // no refresh yet, clock young
        {0, 1000, true},
    };
    for (const Case& c : cases) {
        TransferTally tally = Tally(0, 1, 0, 10, 5);
        tally.lastShownTime = c.lastShown;
        ProgressFrame frame;
        EXPECT_EQ(Refresh(tally, {c.now}, false, frame), c.refreshes)
            << std::hex << c.lastShown << " -> " << c.now;
    }
}

TEST(ProgressDisplay, ElapsedTimeIsAnUnsignedDifferenceAcrossTheWrap) {
    // Reference 2000 ms before the counter ends, refresh 256 ms after it
    // wrapped; the refresh's own sample is taken at clock 0 and so cannot
    // become the reference. 2 MB over 2256 ms, 2 MB to go.
    TransferTally tally = Tally(0, 1, 0, 4 * kMB, 2 * kMB);
    RecordSpeedSample(tally, 0xFFFFF830u, 0);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {0x100, 0, 0}, true, frame));
    EXPECT_STREQ(frame.speedText, " ( 0.9MB/s ) ");
    EXPECT_STREQ(frame.timeText, "  00:02\n");

    // At the very end of the counter: 2 MB over 1999 ms.
    TransferTally atLimit = Tally(0, 1, 0, 4 * kMB, 2 * kMB);
    RecordSpeedSample(atLimit, 0xFFFFF830u, 0);
    ASSERT_TRUE(Refresh(atLimit, {0xFFFFFFFFu}, true, frame));
    EXPECT_STREQ(frame.speedText, " ( 1.0MB/s ) ");
    EXPECT_STREQ(frame.timeText, "  00:01\n");
}

TEST(ProgressDisplay, EstimateCountsRemainingFilesAsAverageAndBarIsDoneOverTotal) {
    struct Case {
        const char* what;
        int32_t fileIndex, fileCount;
        int64_t doneBytes, fileSize, fileReceived;
        int32_t bar;
        const char* totals;  // "(B/T)" part of the debug line
    };
    const Case cases[] = {
        // In bytes: E = 5 + 2 = 7, plus 1 * 7 / 2 truncated = 10; B = 6.
        {"truncating division", 1, 3, 5, 2, 1, 600, "(0.00MB/0.00MB)"},
        {"known size", 1, 3, 5 * kMB, 2 * kMB, 1 * kMB, 571, "(6.00MB/10.50MB)"},
        // fileSize 0 stands for "not yet known": what arrived counts.
        {"size unknown yet", 1, 3, 5 * kMB, 0, 2 * kMB, 666, "(7.00MB/10.50MB)"},
        // -1 enters the sum as -1: E = (5 MB - 1) * 3 / 2 truncated.
        {"no length sent", 1, 3, 5 * kMB, -1, 2 * kMB, 933, "(7.00MB/7.50MB)"},
        {"no length, bytes win", 1, 2, 1 * kMB, -1, 2 * kMB, 1000, "(3.00MB/3.00MB)"},
        {"middle of four", 1, 4, 1 * kMB, 3 * kMB, 1 * kMB, 250, "(2.00MB/8.00MB)"},
        {"last, with length", 2, 3, 3 * kMB, 1 * kMB, kMB / 2, 875, "(3.50MB/4.00MB)"},
        {"last, complete", 2, 3, 3 * kMB, 1 * kMB, 1 * kMB, 1000, "(4.00MB/4.00MB)"},
        {"last, no length", 2, 3, 3 * kMB, -1, kMB / 2, 1000, "(3.50MB/3.50MB)"},
        {"nothing yet, no length", 0, 1, 0, -1, 0, 0, "(0.00MB/0.00MB)"},
        {"empty first file", 0, 2, 0, 0, 0, 0, "(0.00MB/0.00MB)"},
    };
    for (const Case& c : cases) {
        TransferTally tally =
            Tally(c.fileIndex, c.fileCount, c.doneBytes, c.fileSize, c.fileReceived);
        RecordSpeedSample(tally, 50000, c.doneBytes);
        ProgressFrame frame;
        ASSERT_TRUE(Refresh(tally, {52000}, true, frame)) << c.what;
        EXPECT_EQ(frame.barPosition, c.bar) << c.what;
        EXPECT_NE(std::string(frame.debugLine).find(c.totals), std::string::npos)
            << c.what << ": " << frame.debugLine;
    }
}

TEST(ProgressDisplay, LastFileCompleteShowsFullBarAndNoTimeLeft) {
    TransferTally tally = Tally(2, 3, 3 * kMB, 1 * kMB, 1 * kMB);
    RecordSpeedSample(tally, 50000, 3 * kMB);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {52000}, true, frame));
    EXPECT_STREQ(frame.debugLine, "3/3 1.00MB/1.00MB (4.00MB/4.00MB) 100.0%\r\n");
    EXPECT_STREQ(frame.progressText, "4.0MB / 4.0MB ( 0.5MB/s )   00:00\n");
}

TEST(ProgressDisplay, LastFileWithoutLengthShowsEqualSizesThroughout) {
    for (const int64_t received : {int64_t{1}, kMB / 2, 3 * kMB}) {
        TransferTally tally = Tally(2, 3, 2 * kMB, -1, received);
        RecordSpeedSample(tally, 50000, 2 * kMB);
        ProgressFrame frame;
        ASSERT_TRUE(Refresh(tally, {51000}, true, frame));
        EXPECT_EQ(frame.barPosition, 1000) << received;
        const std::string size = frame.sizeText;
        const size_t slash = size.find(" / ");
        ASSERT_NE(slash, std::string::npos);
        EXPECT_EQ(size.substr(0, slash), size.substr(slash + 3)) << size;
        EXPECT_STREQ(frame.timeText, "  00:00\n") << received;
        EXPECT_NE(std::string(frame.debugLine).find("/-0.00MB ("), std::string::npos)
            << "the stored -1, not the replacement: " << frame.debugLine;
    }
}

TEST(ProgressDisplay, SizeTextSwitchesToGigabytesAtElevenGigabytes) {
    struct Case {
        int64_t total;
        const char* sizeText;
    };
    const Case cases[] = {
        {11811160063LL, "0.0MB / 11264.0MB"},
        {11811160064LL, "0.00GB / 11.00GB"},
        {10737418240LL, "0.0MB / 10240.0MB"},
        {16106127360LL, "0.00GB / 15.00GB"},
    };
    for (const Case& c : cases) {
        TransferTally tally = Tally(0, 1, 0, c.total, 0);
        ProgressFrame frame;
        ASSERT_TRUE(Refresh(tally, {5000}, true, frame));
        EXPECT_STREQ(frame.sizeText, c.sizeText) << c.total;
    }
}

TEST(ProgressDisplay, NoProgressSinceTheReferenceShowsUnknownTime) {
    TransferTally tally = Tally(0, 2, 0, 4 * kMB, kMB);
    RecordSpeedSample(tally, 10000, kMB);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {14000}, true, frame));
    EXPECT_STREQ(frame.speedText, " ( 0.0MB/s ) ");
    EXPECT_STREQ(frame.timeText, "  599:59\n");
}

TEST(ProgressDisplay, SpeedZeroRoadsNeverDivide) {
    struct Case {
        const char* what;
        std::vector<uint32_t> readings;
    };
    // The only sample is the refresh's own, at the refresh time (dt 0); or
    // the clock reads 0, so that sample looks empty and the reference falls
    // back to the clock minus 100 ms.
    const Case cases[] = {{"dt 0", {7000}}, {"clock at zero", {0, 0, 0}}};
    for (const Case& c : cases) {
        TransferTally tally = Tally(0, 1, 0, 4 * kMB, kMB);
        ProgressFrame frame;
        ScriptedClock clock{c.readings};
        ASSERT_TRUE(ComputeProgressFrame(tally, true, &ScriptedClock::Read, &clock, frame))
            << c.what;
        EXPECT_STREQ(frame.speedText, " ( 0.0MB/s ) ") << c.what;
        EXPECT_STREQ(frame.timeText, "  599:59\n") << c.what;
        EXPECT_LE(clock.reads, 3u) << c.what;
    }
}

TEST(ProgressDisplay, ReferenceAtTheCounterLimitIsUsedWhenNothingElseQualifies) {
    // Slot 0 holds 0xFFFFFFFF and the refresh's own sample is taken at clock
    // 0 (so it looks empty): no slot qualifies, slot 0 is the reference and
    // the elapsed time is 0 - 0xFFFFFFFF = 1 ms.
    TransferTally tally = Tally(0, 1, 0, 4 * kMB, kMB);
    tally.sampleTime[0] = 0xFFFFFFFFu;
    tally.sampleBytes[0] = 0;
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {0}, true, frame));
    EXPECT_STREQ(frame.speedText, " ( 1000.0MB/s ) ");
}

TEST(ProgressDisplay, RemainingTimeBeyond32BitsShowsUnknownTime) {
    // One byte in 4294967294 ms with a gigabyte to go: about 4.6e15 s.
    TransferTally tally = Tally(0, 1, 0, 1024 * kMB, 1);
    RecordSpeedSample(tally, 1, 0);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {0xFFFFFFFFu}, true, frame));
    EXPECT_STREQ(frame.timeText, "  599:59\n");
    EXPECT_STREQ(frame.speedText, " ( 0.0MB/s ) ");
}

TEST(ProgressDisplay, MinutesAreNotLimitedToTwoDigits) {
    // 100 MB to go at 0.01 MB/s: 10000 s.
    TransferTally tally = Tally(0, 1, 0, 101 * kMB, kMB);
    RecordSpeedSample(tally, 1000, 0);
    ProgressFrame frame;
    ASSERT_TRUE(Refresh(tally, {101000}, true, frame));
    EXPECT_STREQ(frame.speedText, " ( 0.0MB/s ) ");
    EXPECT_STREQ(frame.timeText, "  166:40\n");
}

TEST(ProgressDisplay, SampleReplacesTheOldestSlotEmptyOnesFirst) {
    TransferTally tally = {};
    // Empty slots fill lowest first.
    for (uint32_t t = 100; t <= 500; t += 100) RecordSpeedSample(tally, t, t);
    for (int i = 0; i < kSpeedSampleSlots; ++i) {
        EXPECT_EQ(tally.sampleTime[i], 100u * (i + 1));
        EXPECT_EQ(tally.sampleBytes[i], int64_t{100} * (i + 1));
    }
    // Then the oldest goes, round and round.
    RecordSpeedSample(tally, 600, 600);
    EXPECT_EQ(tally.sampleTime[0], 600u);
    RecordSpeedSample(tally, 700, 700);
    EXPECT_EQ(tally.sampleTime[1], 700u);

    // Ties keep the lower slot.
    TransferTally ties = {};
    for (int i = 0; i < kSpeedSampleSlots; ++i) ties.sampleTime[i] = 42;
    ties.sampleTime[0] = 43;
    RecordSpeedSample(ties, 99, 1);
    EXPECT_EQ(ties.sampleTime[1], 99u);
    EXPECT_EQ(ties.sampleTime[2], 42u);
}

TEST(ProgressDisplay, SpeedReferenceIsTheOldestNonEmptySample) {
    struct Case {
        uint32_t times[kSpeedSampleSlots];
        int slot;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0}, 0},            // nothing qualifies
        {{0, 300, 200, 0, 200}, 2},      // smallest non-zero, tie keeps lower
        {{0xFFFFFFFFu, 0, 0, 0, 0}, 0},  // limit value never qualifies
        {{0xFFFFFFFFu, 0, 0xFFFFFFFFu, 7, 0}, 3},
        {{5, 5, 5, 5, 5}, 0},
        {{9, 8, 7, 6, 5}, 4},
    };
    for (const Case& c : cases) {
        TransferTally tally = {};
        memcpy(tally.sampleTime, c.times, sizeof c.times);
        EXPECT_EQ(SpeedReferenceSlot(tally), c.slot) << c.times[0] << "," << c.times[1];
    }
}

TEST(ProgressDisplay, ExtremeTalliesStayBounded) {
    const TransferTally cases[] = {
        Tally(INT32_MAX, INT32_MIN, INT64_MAX, INT64_MAX, INT64_MAX),
        Tally(0, INT32_MAX, INT64_MAX, INT64_MAX, 0),
        Tally(INT32_MIN, INT32_MAX, INT64_MIN, INT64_MIN, INT64_MIN),
        Tally(-1, 5, 1, 1, 1),
        Tally(0, 2, INT64_MAX / 2, INT64_MAX / 2, INT64_MAX / 2),
    };
    for (TransferTally tally : cases) {
        RecordSpeedSample(tally, 1, INT64_MIN);
        ProgressFrame frame;
        ASSERT_TRUE(Refresh(tally, {2}, true, frame));
        EXPECT_GE(frame.barPosition, 0);
        EXPECT_LE(frame.barPosition, 1000);
        const std::string debug = frame.debugLine;
        ASSERT_GE(debug.size(), 2u);
        EXPECT_EQ(debug.substr(debug.size() - 2), "\r\n") << debug;
        EXPECT_EQ(std::string(frame.timeText).back(), '\n');
    }
}

}  // namespace

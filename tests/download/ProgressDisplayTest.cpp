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
        const size_t i = self->reads < self->readings.size() ? self->reads : self->readings.size() - 1;
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

bool Refresh(TransferTally& tally, std::vector<uint32_t> readings, bool force, ProgressFrame& frame) {
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

TEST(ProgressDisplay, ThrottleAcrossTheClockWrap) {
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

TEST(ProgressDisplay, EstimateAndBarPosition) {
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
        TransferTally tally = Tally(c.fileIndex, c.fileCount, c.doneBytes, c.fileSize, c.fileReceived);
        RecordSpeedSample(tally, 50000, c.doneBytes);
        ProgressFrame frame;
        ASSERT_TRUE(Refresh(tally, {52000}, true, frame)) << c.what;
        EXPECT_EQ(frame.barPosition, c.bar) << c.what;
        EXPECT_NE(std::string(frame.debugLine).find(c.totals), std::string::npos)
            << c.what << ": " << frame.debugLine;
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

}  // namespace

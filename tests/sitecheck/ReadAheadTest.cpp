// Reading a folder's files ahead of the checker: each answer once, in order,
// never more than the window ahead, and whatever the caller does out of
// order, no wait without an end.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "sitecheck/ReadAhead.h"

namespace {

using sitecheck::Fetched;
using sitecheck::ReadAhead;

Fetched Answer(std::size_t i) {
    Fetched fetched;
    fetched.detail = "file " + std::to_string(i);
    return fetched;
}

TEST(ReadAhead, EachPositionIsReadOnceAndNeverFurtherAheadThanTheWindow) {
    const std::size_t count = 3 * ReadAhead::kWindow + 5;
    std::vector<std::atomic<int>> reads(count);
    std::atomic<std::size_t> taken{0};
    std::atomic<bool> tooFarAhead{false};
    {
        ReadAhead ahead(count, [&](std::size_t i) {
            // taken lags the window by the one position Take has just handed out.
            if (i > taken + ReadAhead::kWindow) tooFarAhead = true;
            ++reads[i];
            return Answer(i);
        });
        for (std::size_t i = 0; i < count; ++i) {
            const std::optional<Fetched> answer = ahead.Take(i);
            ASSERT_TRUE(answer.has_value()) << i;
            EXPECT_EQ(answer->detail, "file " + std::to_string(i));
            taken = i + 1;
            // Asked again, it is the caller's to read.
            EXPECT_FALSE(ahead.Take(i).has_value()) << i;
        }
        EXPECT_FALSE(ahead.Take(count).has_value());
    }
    EXPECT_FALSE(tooFarAhead);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(reads[i], 1) << i;
}

// A caller that skips (a file asked for with another head) or jumps past
// the window gets the later answers, and nullopt for what it passed over.
TEST(ReadAhead, PositionsPassedOverAreTheCallersAndAJumpPastTheWindowIsAnswered) {
    const std::size_t count = 2 * ReadAhead::kWindow;
    ReadAhead ahead(count, Answer);
    ASSERT_TRUE(ahead.Take(3).has_value());
    EXPECT_FALSE(ahead.Take(1).has_value());
    const std::size_t far = ReadAhead::kWindow + 40;
    const std::optional<Fetched> jumped = ahead.Take(far);
    ASSERT_TRUE(jumped.has_value());
    EXPECT_EQ(jumped->detail, "file " + std::to_string(far));
    EXPECT_FALSE(ahead.Take(far - 1).has_value());
    EXPECT_EQ(ahead.Take(far + 1)->detail, "file " + std::to_string(far + 1));
}

// A read that throws ends the reading ahead; every position after it is
// left to the caller, and none of its waits is left without an end.
TEST(ReadAhead, AFailedReadLeavesTheRestToTheCaller) {
    ReadAhead ahead(100, [](std::size_t i) {
        if (i == 40) throw std::runtime_error("no memory");
        return Answer(i);
    });
    for (std::size_t i = 0; i < 32; ++i) EXPECT_TRUE(ahead.Take(i).has_value()) << i;
    for (std::size_t i = 32; i < 100; ++i) EXPECT_FALSE(ahead.Take(i).has_value()) << i;
}

// Destroyed while its thread waits for the window to move, or before any
// answer was taken: it returns.
TEST(ReadAhead, DestroyedWithAFullWindowReturns) {
    std::atomic<std::size_t> read{0};
    {
        ReadAhead ahead(10 * ReadAhead::kWindow, [&](std::size_t i) {
            ++read;
            return Answer(i);
        });
        EXPECT_TRUE(ahead.Take(0).has_value());
    }
    EXPECT_LE(read.load(), ReadAhead::kWindow + ReadAhead::kBatch);
}

}  // namespace

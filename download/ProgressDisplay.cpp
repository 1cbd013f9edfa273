#include "download/ProgressDisplay.h"

#include <cstdio>
#include <cstring>

#include "common/CustomerTexts.h"

namespace {

constexpr double kBytesToMegabytes = 9.5367431640625e-07;    // 2^-20
constexpr double kBytesToGigabytes = 9.313225746154785e-10;  // 2^-30
constexpr uint32_t kRefreshInterval = 1000;
constexpr uint32_t kMissingReferenceAge = 100;
// 599:59 is what the window shows when no sensible estimate exists.
constexpr int32_t kUnknownSeconds = 35999;

// The counters are signed 64-bit, but a tally pushed to its limits (the
// fuzzer does that) would overflow the extrapolation; the sums are taken one
// size up and clamped back, which changes nothing for real byte counts.
using Wide = __int128;

int64_t ClampToInt64(Wide value) {
    if (value > INT64_MAX) return INT64_MAX;
    if (value < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(value);
}

// The run's total, assuming the files still to come are as large on average
// as the ones seen so far (the current one included).
int64_t EstimateTotal(const TransferTally& tally) {
    const int64_t currentSize = tally.fileSize != 0 ? tally.fileSize : tally.fileReceived;
    Wide estimate = static_cast<Wide>(tally.doneBytes) + currentSize;
    const int64_t remaining = static_cast<int64_t>(tally.fileCount) - tally.fileIndex - 1;
    const int64_t filesSeen = static_cast<int64_t>(tally.fileIndex) + 1;
    if (remaining > 0 && filesSeen > 0) {
        estimate += static_cast<Wide>(remaining) * estimate / filesSeen;
    }
    return ClampToInt64(estimate);
}

int32_t BarPosition(int64_t bytesDone, int64_t total) {
    // Nothing known yet (no byte, no length): an empty bar rather than a
    // division by zero.
    if (total <= 0) return 0;
    const Wide position = static_cast<Wide>(bytesDone) * kProgressBarRange / total;
    if (position < 0) return 0;
    if (position > kProgressBarRange) return kProgressBarRange;
    return static_cast<int32_t>(position);
}

double Megabytes(int64_t bytes) { return static_cast<double>(bytes) * kBytesToMegabytes; }

int32_t RemainingSeconds(double megabytesPerSecond, int64_t bytesDone, int64_t total) {
    if (!(megabytesPerSecond > 0) || total <= 0) return kUnknownSeconds;
    const double left = static_cast<double>(static_cast<Wide>(total) - bytesDone) *
                        kBytesToMegabytes / megabytesPerSecond;
    // A crawl gives more seconds than an int holds; the cast would be
    // undefined, so such an estimate is treated as unknown.
    if (!(left < 2147483648.0)) return kUnknownSeconds;
    if (left < 0) return 0;
    return static_cast<int32_t>(left);
}

}  // namespace

void RecordSpeedSample(TransferTally& tally, uint32_t time, int64_t bytes) {
    int slot = 0;
    for (int i = 1; i < kSpeedSampleSlots; ++i) {
        if (tally.sampleTime[i] < tally.sampleTime[slot]) slot = i;
    }
    tally.sampleTime[slot] = time;
    tally.sampleBytes[slot] = bytes;
}

int SpeedReferenceSlot(const TransferTally& tally) {
    // 0xFFFFFFFF can never be "strictly older" than the starting bound, so a
    // sample taken at that very clock value is passed over like an empty one.
    int slot = 0;
    uint32_t oldest = 0xFFFFFFFFu;
    for (int i = 0; i < kSpeedSampleSlots; ++i) {
        const uint32_t time = tally.sampleTime[i];
        if (time != 0 && time < oldest) {
            oldest = time;
            slot = i;
        }
    }
    return slot;
}

bool ComputeProgressFrame(TransferTally& tally, bool force, MillisecondClock clock, void* context,
                          ProgressFrame& frame) {
    const uint32_t now = clock(context);
    // Measured as an unsigned difference so that the throttle also holds in
    // the second before the counter wraps.
    if (!force && static_cast<uint32_t>(now - tally.lastShownTime) < kRefreshInterval) {
        return false;
    }

    const int64_t bytesDone = ClampToInt64(static_cast<Wide>(tally.doneBytes) + tally.fileReceived);
    RecordSpeedSample(tally, clock(context), bytesDone);

    const int64_t estimate = EstimateTotal(tally);
    const int64_t total = estimate > bytesDone ? estimate : bytesDone;
    frame.barPosition = BarPosition(bytesDone, total);

    // Wrapping increment: fileIndex + 1 overflows only for a corrupt tally.
    const int32_t fileNumber = static_cast<int32_t>(static_cast<uint32_t>(tally.fileIndex) + 1u);
    snprintf(frame.debugLine, sizeof frame.debugLine,
             "%d/%d %.2fMB/%.2fMB (%.2fMB/%.2fMB) %d.%d%%\r\n", fileNumber, tally.fileCount,
             Megabytes(tally.fileReceived), Megabytes(tally.fileSize), Megabytes(bytesDone),
             Megabytes(total), frame.barPosition / 10, frame.barPosition % 10);

    const int reference = SpeedReferenceSlot(tally);
    uint32_t referenceTime = tally.sampleTime[reference];
    if (referenceTime == 0) referenceTime = clock(context) - kMissingReferenceAge;
    const uint32_t elapsed = now - referenceTime;
    double speed = 0;
    if (elapsed != 0) {
        const uint64_t gained =
            static_cast<uint64_t>(bytesDone) - static_cast<uint64_t>(tally.sampleBytes[reference]);
        speed = static_cast<double>(gained) * kBytesToMegabytes / (elapsed / 1000.0);
    }
    const int32_t seconds = RemainingSeconds(speed, bytesDone, total);

    if ((total >> 30) > 10) {
        snprintf(frame.sizeText, sizeof frame.sizeText, texts::kProgressSizeGbFormat,
                 static_cast<double>(bytesDone) * kBytesToGigabytes,
                 static_cast<double>(total) * kBytesToGigabytes);
    } else {
        snprintf(frame.sizeText, sizeof frame.sizeText, texts::kProgressSizeMbFormat,
                 Megabytes(bytesDone), Megabytes(total));
    }
    snprintf(frame.speedText, sizeof frame.speedText, texts::kProgressSpeedFormat, speed);
    snprintf(frame.timeText, sizeof frame.timeText, texts::kProgressTimeFormat, seconds / 60,
             seconds % 60);
    snprintf(frame.progressText, sizeof frame.progressText, "%s%s%s", frame.sizeText,
             frame.speedText, frame.timeText);

    tally.lastShownTime = now;
    return true;
}

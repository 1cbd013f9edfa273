#pragma once
// What the progress window shows, computed without the platform: the
// estimate of the run's total, the bar position, the debugger line and the
// size, speed and remaining-time texts, with the once-a-second throttle.
// The window code only applies a ProgressFrame; nothing here allocates.
#include <cstdint>

constexpr int kSpeedSampleSlots = 5;

// Counters of one download run, zeroed by the download loop at its start.
// Only the main thread touches it.
struct TransferTally {
    int32_t fileIndex;       // 0-based index of the file being downloaded
    int64_t fileSize;        // Content-Length of that file; 0 until known, -1 when none was sent
    int64_t fileReceived;    // bytes of that file so far
    int32_t fileCount;       // files of the run
    int64_t doneBytes;       // bytes of the files already finished
    uint32_t lastShownTime;  // clock of the last refresh, 0 before the first
    uint32_t sampleTime[kSpeedSampleSlots];  // 0 marks an empty slot
    int64_t sampleBytes[kSpeedSampleSlots];  // doneBytes + fileReceived at that time
};

// The system's 32-bit millisecond counter, passed in so that the arithmetic
// can be driven by a test clock. Read at most three times per refresh.
using MillisecondClock = uint32_t (*)(void* context);

// Overwrites the oldest sample; empty slots are filled first, lowest first.
void RecordSpeedSample(TransferTally& tally, uint32_t time, int64_t bytes);

// Index of the sample the speed is measured from: the oldest non-empty one.
int SpeedReferenceSlot(const TransferTally& tally);

constexpr int kProgressBarRange = 1000;

struct ProgressFrame {
    int32_t barPosition;  // 0..1000
    char debugLine[512];  // ends in CR LF
    char sizeText[256];
    char speedText[256];
    char timeText[256];      // ends in LF
    char progressText[768];  // size, speed and time texts joined
};

// One refresh of the display. Returns false, having changed nothing (not even
// a speed sample), when the last refresh is less than 1000 ms old and force
// is not set; otherwise records a sample, fills the frame and stamps the
// tally with the refresh time.
bool ComputeProgressFrame(TransferTally& tally, bool force, MillisecondClock clock, void* context,
                          ProgressFrame& frame);

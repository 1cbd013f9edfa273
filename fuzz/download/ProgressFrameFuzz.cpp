// The progress arithmetic over arbitrary tallies and clock readings, the
// extremes of 64-bit counters included: no overflow (the sanitizers watch),
// no division by zero, a bar inside its range, bounded texts with their line
// ends, and a throttled call that changes nothing at all.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "download/ProgressDisplay.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    template <typename T>
    T Take() {
        T value{};
        const size_t n = size - at < sizeof value ? size - at : sizeof value;
        memcpy(&value, data + at, n);
        at += n;
        return value;
    }
};

struct Clock {
    uint32_t readings[3];
    int reads = 0;
    static uint32_t Read(void* context) {
        auto* self = static_cast<Clock*>(context);
        const int i = self->reads < 3 ? self->reads : 2;
        ++self->reads;
        return self->readings[i];
    }
};

bool SameTally(const TransferTally& a, const TransferTally& b) {
    if (a.fileIndex != b.fileIndex || a.fileSize != b.fileSize || a.fileReceived != b.fileReceived ||
        a.fileCount != b.fileCount || a.doneBytes != b.doneBytes || a.lastShownTime != b.lastShownTime) {
        return false;
    }
    for (int i = 0; i < kSpeedSampleSlots; ++i) {
        if (a.sampleTime[i] != b.sampleTime[i] || a.sampleBytes[i] != b.sampleBytes[i]) return false;
    }
    return true;
}

void CheckText(const char* text, size_t capacity, const char* ending) {
    const size_t length = strnlen(text, capacity);
    if (length == capacity) abort();
    const size_t endLength = strlen(ending);
    if (length < endLength || strcmp(text + length - endLength, ending) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    TransferTally tally = {};
    tally.fileIndex = in.Take<int32_t>();
    tally.fileSize = in.Take<int64_t>();
    tally.fileReceived = in.Take<int64_t>();
    tally.fileCount = in.Take<int32_t>();
    tally.doneBytes = in.Take<int64_t>();
    tally.lastShownTime = in.Take<uint32_t>();
    for (int i = 0; i < kSpeedSampleSlots; ++i) {
        tally.sampleTime[i] = in.Take<uint32_t>();
        tally.sampleBytes[i] = in.Take<int64_t>();
    }
    const bool force = (in.Take<uint8_t>() & 1) != 0;
    Clock clock{{in.Take<uint32_t>(), in.Take<uint32_t>(), in.Take<uint32_t>()}};

    const TransferTally before = tally;
    ProgressFrame frame;
    const bool shown = ComputeProgressFrame(tally, force, &Clock::Read, &clock, frame);
    if (clock.reads > 3) abort();
    const bool throttled = !force && static_cast<uint32_t>(clock.readings[0] - before.lastShownTime) < 1000;
    if (shown == throttled) abort();
    if (!shown) {
        if (!SameTally(before, tally)) abort();
        return 0;
    }
    if (tally.lastShownTime != clock.readings[0]) abort();
    if (frame.barPosition < 0 || frame.barPosition > 1000) abort();
    // The 512-byte buffer is never filled, so the line always keeps its end.
    if (strlen(frame.debugLine) >= sizeof frame.debugLine - 1) abort();
    CheckText(frame.debugLine, sizeof frame.debugLine, "%\r\n");
    CheckText(frame.sizeText, sizeof frame.sizeText, "B");
    CheckText(frame.speedText, sizeof frame.speedText, "MB/s ) ");
    CheckText(frame.timeText, sizeof frame.timeText, "\n");
    const std::string joined = std::string(frame.sizeText) + frame.speedText + frame.timeText;
    if (joined != frame.progressText) abort();

    // A second refresh right away, unforced, must hold back.
    Clock again{{clock.readings[0], clock.readings[0], clock.readings[0]}};
    const TransferTally afterFirst = tally;
    if (ComputeProgressFrame(tally, false, &Clock::Read, &again, frame)) abort();
    if (!SameTally(afterFirst, tally)) abort();
    return 0;
}

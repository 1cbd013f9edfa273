// The progress arithmetic over arbitrary tallies and clock readings: no
// overflow or division by zero (the sanitizers watch), a bar in its range,
// bounded texts with their ends, and a throttled call that changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "download/ProgressDisplay.h"

namespace {

struct Clock {
    uint32_t readings[3];
    int reads = 0;
    static uint32_t Read(void* context) {
        auto* self = static_cast<Clock*>(context);
        return self->readings[std::min(self->reads++, 2)];
    }
};

bool EndsWith(const char* text, size_t capacity, const char* end) {
    const size_t n = strnlen(text, capacity), e = strlen(end);
    return n < capacity && n >= e && strcmp(text + n - e, end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The fields in order, packed; a short input leaves the rest zero.
    size_t at = 0;
    auto take = [&](auto& v) {
        memcpy(&v, data + at, std::min(size - at, sizeof v)), at += std::min(size - at, sizeof v);
    };
    TransferTally tally, before;
    memset(&tally, 0, sizeof tally);  // padding too: tallies are compared bytewise
    take(tally.fileIndex), take(tally.fileSize), take(tally.fileReceived), take(tally.fileCount);
    take(tally.doneBytes), take(tally.lastShownTime);
    for (int i = 0; i < kSpeedSampleSlots; ++i)
        take(tally.sampleTime[i]), take(tally.sampleBytes[i]);
    uint8_t force = 0;
    Clock clock{};
    take(force);
    for (uint32_t& reading : clock.readings) take(reading);

    memcpy(&before, &tally, sizeof tally);
    ProgressFrame frame;
    const bool shown = ComputeProgressFrame(tally, force & 1, &Clock::Read, &clock, frame);
    const bool throttled = !(force & 1) && clock.readings[0] - before.lastShownTime < 1000u;
    if (clock.reads > 3 || shown == throttled) abort();
    if (!shown && memcmp(&before, &tally, sizeof tally) != 0) abort();
    if (!shown) return 0;
    // The 512-byte line is never filled, so it always keeps its end.
    if (tally.lastShownTime != clock.readings[0] || frame.barPosition < 0 ||
        frame.barPosition > 1000 || strlen(frame.debugLine) >= sizeof frame.debugLine - 1 ||
        !EndsWith(frame.debugLine, sizeof frame.debugLine, "%\r\n") ||
        !EndsWith(frame.sizeText, sizeof frame.sizeText, "B") ||
        !EndsWith(frame.speedText, sizeof frame.speedText, "MB/s ) ") ||
        !EndsWith(frame.timeText, sizeof frame.timeText, "\n") ||
        std::string(frame.sizeText) + frame.speedText + frame.timeText != frame.progressText)
        abort();
    // A second refresh right away, unforced, must hold back.
    Clock again{{clock.readings[0], clock.readings[0], clock.readings[0]}};
    memcpy(&before, &tally, sizeof tally);
    if (ComputeProgressFrame(tally, false, &Clock::Read, &again, frame)) abort();
    return memcmp(&before, &tally, sizeof tally) == 0 ? 0 : (abort(), 0);
}

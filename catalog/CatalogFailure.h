#pragma once
// Which of the three catalog failure messages a request's final state calls
// for. Kept apart from the texts (common/CustomerTexts.h) so that
// every state, also those the real transport hardly ever ends in, is tested.
#include <cstdint>

enum class CatalogFailure {
    Communication,  // the request failed
    Undefined,      // the request never left the idle state
    NoResponse,     // still under way when the time limit ran out
};

// state is a request state other than Completed (4); -1 is Failed, 0 Idle.
constexpr CatalogFailure CatalogFailureFor(int32_t state) {
    if (state == -1) return CatalogFailure::Communication;
    if (state == 0) return CatalogFailure::Undefined;
    return CatalogFailure::NoResponse;
}

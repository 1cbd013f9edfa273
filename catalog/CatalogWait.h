#pragma once
// How long the tool waits for the whole catalog. The site checker judges a
// live catalog's time against the same number.
#include <cstdint>

constexpr uint32_t kCatalogWaitMs = 5000;

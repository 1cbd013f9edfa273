#pragma once
// SHA-256 (FIPS 180-4), streamed: a file of any size is hashed in pieces,
// so that the planner can tell a replaced file from the same bytes without
// holding either in memory.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sitecheck {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    void Add(const void* data, std::size_t size);
    void Add(std::string_view bytes) { Add(bytes.data(), bytes.size()); }
    // Ends the hash; the object is spent afterwards.
    Sha256Digest Finish();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_pending{};
    std::size_t m_pendingSize = 0;
    uint64_t m_totalBytes = 0;
};

Sha256Digest Sha256Of(std::string_view bytes);
// Lower-case hexadecimal, 64 characters.
std::string HexOf(const Sha256Digest& digest);

}  // namespace sitecheck

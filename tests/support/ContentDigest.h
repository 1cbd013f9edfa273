#pragma once
// A digest of a file's bytes (64-bit FNV-1a) that a stand-in program can
// write and a test can compare with the bytes it served: which version of a
// file a run ended up with. Header-only, so that a stand-in built without
// any library shares the one definition.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velta_test {

class ContentDigest {
public:
    void Add(const void* data, std::size_t size) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            m_value ^= bytes[i];
            m_value *= 0x100000001b3ULL;
        }
    }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_value));
        return text;
    }

private:
    uint64_t m_value = 0xcbf29ce484222325ULL;
};

inline std::string DigestOf(const std::string& bytes) {
    ContentDigest digest;
    digest.Add(bytes.data(), bytes.size());
    return digest.Hex();
}

}  // namespace velta_test

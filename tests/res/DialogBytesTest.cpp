// The two dialog templates byte for byte, as digests of their bytes in the
// built executable. The resource script writes styles with their symbols;
// these digests, taken from templates written in plain numbers, show that
// the symbols give exactly the same bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// FNV-1a, 64 bits: enough to tell any changed byte from the recorded one.
uint64_t Fnv1a(const std::string& bytes) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string TemplateBytes(HMODULE module, LPCSTR name) {
    HRSRC info = FindResourceExA(module, RT_DIALOG, name, kJapanese);
    const void* bytes = info ? LockResource(LoadResource(module, info)) : nullptr;
    return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module, info))
                 : std::string();
}

TEST(DialogTemplateBytes, UnchangedSinceTheyWereWrittenInNumbers) {
    HMODULE module = LoadLibraryExA(VELTA_APP_PATH, nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << VELTA_APP_PATH << " error " << GetLastError();
    struct Expected {
        LPCSTR name;
        size_t size;
        uint64_t digest;
    };
    const Expected expected[] = {
        {"DOWNLOADSELECTOR", 662, 0x730C01EF23E7DC15ull},
        {MAKEINTRESOURCEA(110), 630, 0x0EC7DEF62734B41Aull},
    };
    for (const Expected& e : expected) {
        const std::string bytes = TemplateBytes(module, e.name);
        char digest[32];
        snprintf(digest, sizeof digest, "0x%016llXull",
                 static_cast<unsigned long long>(Fnv1a(bytes)));
        EXPECT_EQ(bytes.size(), e.size) << digest;
        EXPECT_EQ(Fnv1a(bytes), e.digest) << digest << " size " << bytes.size();
    }
    FreeLibrary(module);
}

}  // namespace

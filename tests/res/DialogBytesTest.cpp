// The two dialog templates, the version record and the manifest byte for
// byte, as digests of their bytes in the built executable. The resource
// script writes styles, flags and ids with their symbols; these digests,
// taken from resources written in plain numbers, show that the symbols give
// exactly the same bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
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

std::string ResourceBytes(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    HRSRC info = FindResourceExA(module, type, name, language);
    const void* bytes = info ? LockResource(LoadResource(module, info)) : nullptr;
    return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module, info))
                 : std::string();
}

struct ExpectedResource {
    LPCSTR type;
    LPCSTR name;
    WORD language;
    size_t size;
    uint64_t digest;
};

void ExpectRecordedBytes(const ExpectedResource* begin, const ExpectedResource* end) {
    HMODULE module = LoadLibraryExA(VELTA_APP_PATH, nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << VELTA_APP_PATH << " error " << GetLastError();
    for (const ExpectedResource* e = begin; e != end; ++e) {
        const std::string bytes = ResourceBytes(module, e->type, e->name, e->language);
        char digest[32];
        snprintf(digest, sizeof digest, "0x%016llXull",
                 static_cast<unsigned long long>(Fnv1a(bytes)));
        EXPECT_EQ(bytes.size(), e->size) << digest;
        EXPECT_EQ(Fnv1a(bytes), e->digest) << digest << " size " << bytes.size();
    }
    FreeLibrary(module);
}

TEST(DialogTemplateBytes, UnchangedSinceTheyWereWrittenInNumbers) {
    const ExpectedResource expected[] = {
        {RT_DIALOG, "DOWNLOADSELECTOR", kJapanese, 662, 0x730C01EF23E7DC15ull},
        {RT_DIALOG, MAKEINTRESOURCEA(110), kJapanese, 630, 0x0EC7DEF62734B41Aull},
    };
    ExpectRecordedBytes(std::begin(expected), std::end(expected));
}

TEST(VersionAndManifestBytes, UnchangedSinceTheyWereWrittenInNumbers) {
    constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const ExpectedResource expected[] = {
        {RT_VERSION, MAKEINTRESOURCEA(1), kJapanese, 616, 0x9FDF1C6AB2E9FAC1ull},
        {RT_MANIFEST, MAKEINTRESOURCEA(1), kUsEnglish, 625, 0xF565D23982BBC2BDull},
    };
    ExpectRecordedBytes(std::begin(expected), std::end(expected));
}

}  // namespace

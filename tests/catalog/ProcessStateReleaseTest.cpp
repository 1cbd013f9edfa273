// The release order of the process-wide objects at exit. Their storage is
// freed by their destructors, so this program replaces the global operator
// new and delete and notes, in order, when each object's buffer is freed.
// The exit itself runs in a death-test child, whose standard error is
// matched against the expected order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "catalog/ProcessState.h"

namespace {

struct Watched {
    const void* buffer;
    const char* name;
};
Watched g_watched[3] = {};

void NoteRelease(const void* pointer) {
    if (pointer == nullptr) return;
    for (Watched& watched : g_watched) {
        if (watched.buffer != pointer) continue;
        // Once only: the address may be handed out and freed again later.
        watched.buffer = nullptr;
        std::fprintf(stderr, "%s ", watched.name);
        std::fflush(stderr);
    }
}

// Fills each object so that it owns heap storage, watches that storage, and
// leaves through exit(), which runs the static destructors.
[[noreturn]] void FillAndExit() {
    g_productName = "a product name too long for the short-string buffer";
    SelectedFileList = {"https://example.test/p/setup.exe"};
    ProductCatalog = {CatalogEntry{1, "20260101", "Product", "https://example.test/p/"}};
    g_watched[0] = {g_productName.data(), "g_productName"};
    g_watched[1] = {SelectedFileList.data(), "SelectedFileList"};
    g_watched[2] = {ProductCatalog.data(), "ProductCatalog"};
    std::fprintf(stderr, "released: ");
    std::exit(0);
}

TEST(ProcessStateRelease, ExitReleasesProductNameThenFileListThenCatalog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(FillAndExit(), ::testing::ExitedWithCode(0),
                "released: g_productName SelectedFileList ProductCatalog ");
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* pointer = std::malloc(size != 0 ? size : 1)) return pointer;
    throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept {
    NoteRelease(pointer);
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    NoteRelease(pointer);
    std::free(pointer);
}

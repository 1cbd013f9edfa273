// A request whose mutex, events or worker thread cannot be created must end
// Failed without any Wait hanging and without holding its target file. Wine
// never fails these creations on demand, so they are swapped for failing ones.
#include <cstring>
#include <memory>

#include "http/WorkerPlatform.h"
#include "tests/http/HttpTestSupport.h"

namespace {
using namespace http_test;

int g_failAt = -1;  // creation number that fails: 0 mutex, 1..3 events, 4 thread
int g_creations = 0;

// Counts the creation; the one numbered g_failAt fails with the error.
bool Fails(DWORD error) {
    if (g_creations++ != g_failAt) return false;
    SetLastError(error);
    return true;
}
HANDLE WINAPI Mutex(LPSECURITY_ATTRIBUTES a, BOOL o, LPCSTR n) {
    return Fails(ERROR_NOT_ENOUGH_MEMORY) ? nullptr : CreateMutexA(a, o, n);
}
HANDLE WINAPI Event(LPSECURITY_ATTRIBUTES a, BOOL m, BOOL i, LPCSTR n) {
    return Fails(ERROR_NO_SYSTEM_RESOURCES) ? nullptr : CreateEventA(a, m, i, n);
}
HANDLE WINAPI Thread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE e, LPVOID p, DWORD f,
                     LPDWORD id) {
    return Fails(ERROR_MAX_THRDS_REACHED) ? nullptr : CreateThread(a, s, e, p, f, id);
}

TEST(WorkerCreationFailure, EachCreationEndsFailedAndReleasesTheFile) {
    const WorkerPlatform saved = CurrentWorkerPlatform();
    CurrentWorkerPlatform() = WorkerPlatform{&Mutex, &Event, &Thread};
    const uint32_t errors[] = {ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_SYSTEM_RESOURCES,
                               ERROR_NO_SYSTEM_RESOURCES, ERROR_NO_SYSTEM_RESOURCES,
                               ERROR_MAX_THRDS_REACHED};
    for (g_failAt = 0; g_failAt < 5; ++g_failAt) {
        g_creations = 0;
        const std::string path = ScratchFolder() + "target.bin";
        auto r =
            std::make_unique<CHttpWebRequest>("http://127.0.0.1:9/never");  // never sent anyway
        EXPECT_EQ(1, r->StartToFile(path.c_str()));
        EXPECT_EQ(Failed, r->Wait(kWaitForever)) << g_failAt;
        EXPECT_EQ(errors[g_failAt], r->GetLastErrorCode()) << g_failAt;
        EXPECT_EQ(0u, r->GetStatusCode());
        EXPECT_TRUE(NobodyHoldsOpen(path)) << g_failAt;  // no worker exists to close it
        EXPECT_EQ(1, r->Start());                        // neither hangs nor revives the request
        EXPECT_EQ(Failed, r->Wait(kWaitForever));
    }
    EXPECT_EQ(5, g_creations);  // the thread, the last creation, went through the table too
    CurrentWorkerPlatform() = saved;
    g_failAt = -1;
}

// Code built elsewhere calls the operations by position in the table. Under
// the Itanium C++ ABI (mingw) a pointer to a virtual member holds 1 + its byte
// offset in the table.
template <typename Member>
ptrdiff_t SlotOf(Member member) {
    static_assert(sizeof(member) == 2 * sizeof(ptrdiff_t), "Itanium member pointer layout");
    ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof(words));
    EXPECT_EQ(1, words[0] & 1) << "not a virtual member";
    return (words[0] - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

TEST(InterfaceSlots, OperationsKeepTheirOrderAroundTheDestructor) {
    using I = IHttpWebRequest;
    const ptrdiff_t slots[] = {SlotOf(&I::SetContext),      SlotOf(&I::Start),
                               SlotOf(&I::StartToFile),     SlotOf(&I::Wait),
                               SlotOf(&I::GetLastModified), SlotOf(&I::GetContentLength),
                               SlotOf(&I::GetReceivedSize), SlotOf(&I::GetResponseData),
                               SlotOf(&I::GetUrl),          SlotOf(&I::GetFilePath),
                               SlotOf(&I::GetStatusCode),   SlotOf(&I::AddFormField),
                               SlotOf(&I::AddFormFile),     SlotOf(&I::AddFormData)};
    // The virtual destructor takes two entries (complete and deleting), 11 and 12.
    for (ptrdiff_t i = 0; i < 14; ++i) EXPECT_EQ(i < 11 ? i : i + 2, slots[i]) << i;
}
}  // namespace

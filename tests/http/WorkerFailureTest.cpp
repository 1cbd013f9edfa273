// A request whose mutex, events or worker thread cannot be created must end
// Failed without leaving any Wait hanging, and must not hold its target file.
// The platform never fails these creations on demand, so the creations are
// swapped for ones that fail at a chosen step.
#include <gtest/gtest.h>

#include <memory>

#include "http/WorkerPlatform.h"
#include "tests/http/HttpTestSupport.h"

namespace {
using namespace http_test;

// Creation number (0 mutex, 1..3 events, 4 thread) that fails; -1 none.
int g_failAt = -1;
int g_creations = 0;

bool ShouldFail() { return g_creations++ == g_failAt; }

HANDLE WINAPI FailingMutex(LPSECURITY_ATTRIBUTES a, BOOL owned, LPCSTR name) {
    if (ShouldFail()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateMutexA(a, owned, name);
}

HANDLE WINAPI FailingEvent(LPSECURITY_ATTRIBUTES a, BOOL manual, BOOL initial, LPCSTR name) {
    if (ShouldFail()) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return nullptr;
    }
    return CreateEventA(a, manual, initial, name);
}

HANDLE WINAPI FailingThread(LPSECURITY_ATTRIBUTES a, SIZE_T stack, LPTHREAD_START_ROUTINE entry, LPVOID p,
                            DWORD flags, LPDWORD id) {
    if (ShouldFail()) {
        SetLastError(ERROR_MAX_THRDS_REACHED);
        return nullptr;
    }
    return CreateThread(a, stack, entry, p, flags, id);
}

class WorkerCreationFailure : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        m_saved = CurrentWorkerPlatform();
        CurrentWorkerPlatform().createMutex = &FailingMutex;
        CurrentWorkerPlatform().createEvent = &FailingEvent;
        CurrentWorkerPlatform().createThread = &FailingThread;
        g_failAt = GetParam();
        g_creations = 0;
    }
    void TearDown() override {
        CurrentWorkerPlatform() = m_saved;
        g_failAt = -1;
    }
    WorkerPlatform m_saved;
};

uint32_t ExpectedError(int step) {
    return step == 0 ? ERROR_NOT_ENOUGH_MEMORY : step == 4 ? ERROR_MAX_THRDS_REACHED : ERROR_NO_SYSTEM_RESOURCES;
}

TEST_P(WorkerCreationFailure, StartEndsFailedAndWaitReturns) {
    // Port 9 of loopback: nothing is sent anyway, the request never runs.
    CHttpWebRequest r("http://127.0.0.1:9/never");
    EXPECT_EQ(1, r.Start());
    EXPECT_EQ(Failed, r.Wait(kWaitForever));
    EXPECT_EQ(Failed, r.Wait(0));
    EXPECT_EQ(ExpectedError(GetParam()), r.GetLastErrorCode());
    EXPECT_EQ(0u, r.GetStatusCode());
    // A second start neither hangs nor revives the request.
    EXPECT_EQ(1, r.Start());
    EXPECT_EQ(Failed, r.Wait(kWaitForever));
}

TEST_P(WorkerCreationFailure, StartToFileReleasesItsFile) {
    const std::string path = ScratchFolder() + "target.bin";
    auto r = std::make_unique<CHttpWebRequest>("http://127.0.0.1:9/never");
    EXPECT_EQ(1, r->StartToFile(path.c_str()));
    EXPECT_EQ(Failed, r->Wait(kWaitForever));
    // Nobody else would ever close the file: no worker exists to do it.
    EXPECT_TRUE(NobodyHoldsOpen(path));
    r.reset();
    EXPECT_TRUE(NobodyHoldsOpen(path));
}

std::string CreationName(const ::testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"Mutex", "StartEvent", "DoneEvent", "StopEvent", "Thread"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(EachCreation, WorkerCreationFailure, ::testing::Values(0, 1, 2, 3, 4), CreationName);

TEST(WorkerCreation, EveryCreationGoesThroughTheTable) {
    g_creations = 0;
    CurrentWorkerPlatform().createMutex = &FailingMutex;
    CurrentWorkerPlatform().createEvent = &FailingEvent;
    CurrentWorkerPlatform().createThread = &FailingThread;
    g_failAt = -1;
    {
        CHttpWebRequest r("http://127.0.0.1:9/never");
        r.Start();
        EXPECT_EQ(Failed, r.Wait(kWaitForever));  // nothing listens on port 9
        EXPECT_EQ(static_cast<uint32_t>(ERROR_INTERNET_CANNOT_CONNECT), r.GetLastErrorCode());
    }
    EXPECT_EQ(5, g_creations);  // mutex, three events, thread
    CurrentWorkerPlatform() = WorkerPlatform{};
}
}  // namespace

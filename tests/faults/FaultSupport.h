#pragma once
// The process's own handles, threads and private memory read through the
// platform, and a whole download run in this process: Downloads moved to a
// scratch folder, the fixture program served as the setup, which records
// what it found beside itself.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "catalog/CatalogTypes.h"
#include "tests/support/Downloads.h"
#include "tests/support/FailureBoxes.h"
#include "tests/support/Files.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/Routes.h"
#include "tests/support/RunSupport.h"
#include "tests/support/TestServer.h"
#include "tests/support/Wait.h"

namespace velta_test {

struct Counters {
    DWORD handles = 0, threads = 0;
    uint64_t privateBytes = 0;
};
std::ostream& operator<<(std::ostream& out, const Counters& c);
Counters ReadCounters();
// Wine's WinINet pool keeps a helper thread and a few handles that come and
// go on their own time (measured: 2 to 3 threads after a warm-up), so up to
// 4 handles and 1 thread above the baseline pass; polled for 20 s.
void ExpectCountersBack(const Counters& baseline);
// One HTTP and HTTPS request and one whole run, so that one-time
// allocations are made before a baseline is taken.
void WarmUp();
// Runs f while a second thread resets the server should f still be running
// after 65 s, so that a stall that is never cut cannot hang the suite.
// Returns how long f took.
DWORD WithSafetyNet(const std::function<void()>& f);
// The fixture program as the body, served as a product's setup.
Route SetupRoute(const std::string& target);

struct RunHarness {
    // downloads: the folder standing in for Downloads; empty for a scratch one.
    explicit RunHarness(const std::string& downloads = std::string());
    ~RunHarness();
    bool NothingLeftBehind() const;  // no VELTADL* left in Downloads
    int Run(const FileList& files);
    // Name -> size of what the setup saw beside itself; empty when it never ran.
    std::map<std::string, uint64_t> SetupSaw() const;

    ProcessStateGuard state;
    ScratchFolder scratch{"faults-dl"}, records{"faults-rec"};
    const std::string downloads;
    DownloadsFolderOverride override;
    bool ready;
};

}  // namespace velta_test

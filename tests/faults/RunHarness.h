#pragma once
// A whole download run in this process: Downloads moved to a scratch
// folder, the real progress window from the linked resources, the fixture
// program served as the setup so that a run can really start it, and what
// that setup saw of the work folder read back afterwards.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"
#include "tests/download/DownloadRunTestSupport.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/TestServer.h"

namespace fault_test {

inline constexpr char kFailureText[] = "ダウンロードに失敗しました。";
inline constexpr char kFailureCaption[] = "接続エラー";
inline constexpr char kLaunchFailureText[] = "ダウンロードファイルの実行に失敗しました。";
inline constexpr char kLaunchFailureCaption[] = "実行失敗";
inline constexpr char kCancelText[] = "ダウンロードを中止しました。";
inline constexpr char kCancelCaption[] = "ダウンロード中止";

// What the fixture setup wrote while it ran from the work folder.
struct SetupRecord {
    bool exists = false;
    std::string path;
    std::map<std::string, uint64_t> files;  // name -> size, beside the setup
};

class RunHarness {
public:
    // downloads: the folder to stand in for the user's Downloads folder;
    // empty for a fresh scratch folder.
    explicit RunHarness(const std::string& downloads = std::string());
    ~RunHarness();
    RunHarness(const RunHarness&) = delete;
    RunHarness& operator=(const RunHarness&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Downloads() const { return m_downloads; }
    std::string WorkFolder() const { return m_downloads + "VELTADL0\\"; }
    // Nothing named VELTADL* left in the Downloads folder.
    bool NothingLeftBehind() const;

    // The fixture program, to be served as a product's first file.
    const std::string& SetupBytes() const { return m_fixture; }
    velta_test::Route SetupRoute(const std::string& target) const;

    int Run(const FileList& files, DWORD* elapsedMs = nullptr);
    SetupRecord ReadRecord() const;

private:
    bool m_ready = false;
    std::unique_ptr<run_test::ScratchFolder> m_scratch;
    std::unique_ptr<run_test::ScratchFolder> m_records;
    std::unique_ptr<run_test::DownloadsFolderOverride> m_override;
    std::unique_ptr<run_test::ProcessStateGuard> m_state;
    std::string m_downloads;
    std::string m_recordPath;
    std::string m_fixture;
};

// WarmUp() and one whole run, so that the window classes, the progress
// window's resources and the launcher have made their one-time allocations
// before a baseline is taken.
void WarmUpRun();

velta_test::Route PatternRoute(const std::string& target, int64_t size);

// Failure box of one file: owned by the progress window, error icon, OK.
void ExpectFailureBox(const velta_test::SeenMessageBox& box, const std::string& where);
// The setup did not start: no owner, no icon, OK.
void ExpectLaunchFailureBox(const velta_test::SeenMessageBox& box, const std::string& where);

}  // namespace fault_test

#pragma once
// The boxes a download run shows, checked field by field: a file that
// failed, a setup that did not start, the cancel notice.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/MessageBoxWatcher.h"

namespace velta_test {

// One failed file: owned by the progress window and modal to it, error icon, OK.
inline void ExpectFailureBox(const SeenMessageBox& box, const std::string& where = {}) {
    EXPECT_EQ(box.text, "ダウンロードに失敗しました。") << where;
    EXPECT_EQ(box.caption, "接続エラー") << where;
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR)) << where;
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << where;
    EXPECT_NE(box.owner, nullptr) << where << ": owned by the progress window";
    EXPECT_TRUE(box.ownerWasDisabled) << where;
}

// The setup did not start: no owner, no icon, OK.
inline void ExpectLaunchFailureBox(const SeenMessageBox& box, const std::string& where = {}) {
    EXPECT_EQ(box.text, "ダウンロードファイルの実行に失敗しました。") << where;
    EXPECT_EQ(box.caption, "実行失敗") << where;
    EXPECT_EQ(box.icon, 0u) << where;
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << where;
    EXPECT_EQ(box.owner, nullptr) << where;
}

// The cancel button's notice: owned by the progress window, warning icon, OK.
inline void ExpectCancelNotice(const SeenMessageBox& box, const std::string& where = {}) {
    EXPECT_EQ(box.text, "ダウンロードを中止しました。") << where;
    EXPECT_EQ(box.caption, "ダウンロード中止") << where;
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING)) << where;
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << where;
    EXPECT_NE(box.owner, nullptr) << where;
}

}  // namespace velta_test

#include <gtest/gtest.h>

#include "app/TestMode.h"

TEST(TestModeFromPath, MarkerInNameOrExtensionSelectsTestMode) {
    EXPECT_EQ(1, TestModeFromPath("C:\\dl\\qrntest.exe"));
    EXPECT_EQ(1, TestModeFromPath("C:\\dl\\VELTADL_qrntest.exe"));
    EXPECT_EQ(1, TestModeFromPath("C:\\dl\\VELTADL.qrntest"));
}

TEST(TestModeFromPath, OtherNamesFoldersAndCaseStayNormal) {
    EXPECT_EQ(0, TestModeFromPath("C:\\dl\\VELTADL.exe"));
    EXPECT_EQ(0, TestModeFromPath("C:\\dl\\VELTADL_QRNTEST.exe"));
    EXPECT_EQ(0, TestModeFromPath("C:\\qrntest\\VELTADL.exe"));
    EXPECT_EQ(0, TestModeFromPath("C:\\dl\\qrntes.t"));
}

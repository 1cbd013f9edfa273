#pragma once
// Between Wine's two views of a path. (Code page 932 and UTF-16 convert with
// ToCp932 and FromCp932 of WindowHelpers.h.)
#include <string>

namespace velta_test {

// The Windows path of a Unix path compiled into a test (through the Z: drive).
std::string WindowsPathOfUnix(const std::string& unixPath);
// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPathOf(const std::string& windowsPath);

}  // namespace velta_test

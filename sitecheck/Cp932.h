#pragma once
// The checker quotes and judges the vendor's texts with the tool's own
// code page 932 decoder.
#include "common/Cp932.h"

namespace sitecheck {

using cp932::Cp932ToUtf8;
using cp932::FirstUndecodableByte;
using cp932::IsUtf8WithNonAscii;
using cp932::Utf8ToCp932;

}  // namespace sitecheck

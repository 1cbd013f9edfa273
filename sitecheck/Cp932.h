#pragma once
// The checker quotes and judges the vendor's texts with its model's code
// page 932 decoder.
#include "sitecheck/model/Cp932.h"

namespace sitecheck {

using cp932::Cp932ToUtf8;
using cp932::FirstUndecodableByte;
using cp932::IsUtf8WithNonAscii;
using cp932::Utf8ToCp932;

}  // namespace sitecheck

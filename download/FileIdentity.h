#pragma once
// Whether two paths name one file, as the file system answers it: every
// alias of a name (case, trailing dots and blanks, an 8.3 short name) and
// every file system the Downloads folder may live on give the same answer.
#include <windows.h>

// True when both paths name an existing file and it is the same one (volume
// serial number and file index). Neither file is truncated or kept open; a
// path that cannot be opened names no file, so the answer is false.
bool IsSameExistingFile(const char* a, const char* b);

#pragma once
// The text side of the work folder: naming, the folder part of a path and
// the long-path form used while removing a tree. Portable, so the byte rules
// (code page 932 trail bytes, length limits) are checked natively too.
#include <cstddef>
#include <string>
#include <vector>

#include "common/PathSplit.h"

// Length of drive plus directory of the path (everything up to and including
// its last '\' or '/'), split the way the runtime's path splitter does.
// 0 when the splitter would give empty parts (some part over kMaxSplitPart)
// or the path has no folder part.
std::size_t FolderPartLength(const char* path);

// Lengths of the prefixes of folderPart that name a folder to create, in the
// order they must be created: the text before every single-byte separator
// from the second byte on, then the whole text; prefixes ending in ':' (a
// bare drive) are left out. A trail byte 0x5C never ends a prefix.
std::vector<std::size_t> FolderPrefixLengths(const char* folderPart, std::size_t length);

// The work folder path is formatted into a buffer of MAX_PATH bytes, so it
// has at most 259; the site checker judges a Downloads folder by the same
// buffer.
constexpr std::size_t kWorkFolderCapacity = 260;

// Writes "<base>VELTADL<counter>\" into out. False, leaving out empty, when it
// would need more than capacity bytes with its terminator.
bool FormatWorkFolderCandidate(char* out, std::size_t capacity, const char* base, unsigned counter);

// The long-path form of a full path as the platform's path resolver gives it:
// "\\?\" before a drive path, "\\?\UNC\" in place of the two backslashes
// of a share; a path already in a device form ("\\?\", "\\.\") stays as
// it is. Through this form the wide file functions take paths of any length
// and names as they are listed (trailing dots and blanks included).
std::wstring LongPathForm(const std::wstring& fullPath);

#pragma once
// Windows' rules for a local file name, as the site checker models a
// customer's machine: the path limit counted in UTF-16 characters, the
// characters and device names Windows refuses or takes for itself, and how
// the file system compares names. The tool does not follow these rules; it
// asks the platform, and the checker's tests hold them against it.
#include <cstddef>
#include <optional>
#include <string>

// The most characters a local path may have. The ANSI file functions
// convert a path to UTF-16 before anything else, so the limit counts
// characters, not code page 932 bytes. Windows documents MAX_PATH (260) as
// the path with its terminator: 259 characters. Wine's CreateFileA takes one
// more (260) and refuses 261 with ERROR_FILENAME_EXCED_RANGE, whatever the
// path's bytes (FileModelPlatform test); the customer runs Windows, so the
// model keeps to the documented limit.
constexpr std::size_t kPlatformPathCharacters = 259;

// The path's length in UTF-16 characters, as the ANSI functions count it.
std::size_t PathCharacters(const std::string& path);

// name as the file system stores and compares it: trailing dots and blanks
// dropped, UTF-16, upper-cased as NTFS compares names. An 8.3 short name is
// another name for a file that this key cannot see.
std::u16string FileSystemKey(const std::string& name);

// The first character of name that Windows refuses in file names (below
// 0x20, or one of < > : " / \ | ? *), looked for in the name's UTF-16 form:
// a trail byte 0x7C or 0x3F of a two-byte character is no '|' and no '?'.
std::optional<unsigned char> RefusedCharacter(const std::string& name);

// Whether Windows reserves the name for a device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, with or without an extension).
bool IsReservedDeviceName(const std::string& name);

// Whether the name is the console's (CON with any extension): the one device
// that cannot be opened the way the tool opens its target.
bool IsConsoleName(const std::string& name);

#pragma once
// File names taken from URLs and paths, in code page 932 and without the
// platform, so that the same rules hold in the tool and in the fuzzer.
#include <cstddef>

// Capacity of the download run's buffers for a file name and for its local
// path (work folder and name), terminator included.
constexpr size_t kLocalPathCapacity = 512;

// Writes the last component of a path or URL (base name and extension,
// everything after the last '/' or '\') into buffer. The text is split the
// way the runtime's bounded path splitter does: when the directory part,
// base name or extension exceeds 255 bytes, every part comes out empty and
// so does the name. A trail byte 0x5C of a double-byte character is never a
// separator. No URL decoding. Answers false, leaving the buffer untouched,
// when the name and its terminator need more than capacity bytes.
bool FileNameOfPath(const char* path, char* buffer, size_t capacity);

// Writes folder followed directly by name into buffer; false, leaving the
// buffer untouched, when the joined path and its terminator need more than
// capacity bytes.
bool JoinLocalPath(const char* folder, const char* name, char* buffer, size_t capacity);

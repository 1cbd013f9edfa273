#pragma once
// Command-line building for the setup start. Portable: the bytes are code
// page 932 text, but nothing here calls the platform.
#include <cstddef>

// Appends the argument, quoted when it holds a blank and escaped so that the
// started program's standard command-line parsing gives it back unchanged
// (for the paths passed here: blanks, and a single backslash before a double
// quote or at the end). A separating blank comes first when the command line
// is not empty. False, with nothing appended, when it does not fit capacity
// bytes (terminator included).
bool AppendQuotedArg(char* commandLine, std::size_t capacity, const char* argument);

// Appends the text unchanged, after a separating blank when the command line
// is not empty. False, with nothing appended, when
// length(commandLine) + length(text) + 2 > capacity.
bool AppendArg(char* commandLine, std::size_t capacity, const char* text);

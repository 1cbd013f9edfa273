#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "sitecheck/Command.h"
#include "sitecheck/Console.h"

namespace {

// The arguments in UTF-8: on Windows from the UTF-16 command line, so that
// a folder name outside the ANSI code page survives.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), length, nullptr, nullptr);
        utf8.resize(utf8.size() - 1);
        arguments.push_back(utf8);
    }
    if (wide != nullptr) LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    using sitecheck::Stream;
    std::string out, err;
    sitecheck::CommandIo io;
    // The progress line lives on a terminal only: a pipe or file gets the
    // findings and nothing that rewrites itself.
    if (sitecheck::IsTerminal(Stream::Err)) {
        io.progress = [](const std::string& line) { sitecheck::WriteUtf8(Stream::Err, line); };
    }
    const int status = sitecheck::RunCommand(Arguments(argc, argv), out, err, io);
    sitecheck::WriteUtf8(Stream::Out, out);
    sitecheck::WriteUtf8(Stream::Err, err);
    return status;
}

#include <cstdio>
#include <string>
#include <vector>

#include "sitecheck/Command.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string out, err;
    const int status = sitecheck::RunCommand(arguments, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}

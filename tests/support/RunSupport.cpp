#include "tests/support/RunSupport.h"

#include <sstream>

#include "tests/support/Files.h"

namespace velta_test {

SetupRecord ReadSetupRecord(const std::string& recordPath) {
    SetupRecord record;
    const std::string text = ReadWholeFile(recordPath);
    if (text.find("\nend\n") == std::string::npos) return record;
    record.exists = true;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("path=", 0) == 0) record.path = line.substr(5);
        if (line.rfind("command=", 0) == 0) record.command = line.substr(8);
        if (line.rfind("current=", 0) == 0) record.current = line.substr(8);
        if (line.rfind("digest=", 0) == 0) {
            const size_t blank = line.rfind(' ');
            record.digests[line.substr(7, blank - 7)] = line.substr(blank + 1);
        }
        if (line.rfind("file=", 0) == 0) {
            const size_t blank = line.rfind(' ');
            record.files[line.substr(5, blank - 5)] = std::stoull(line.substr(blank + 1));
        }
    }
    return record;
}

}  // namespace velta_test

// PlanFiles on arbitrary file lists: an entry replaces only an earlier one
// that lands on the same key and creates a file; nothing after an entry
// that ends the loop is reached; the character count never exceeds the
// byte count; a path that fits the platform's limit has no path fault.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/FilePlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FileList files;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            files.push_back("https://h/p/" + current);
            current.clear();
        } else if (data[i] != 0) {
            current += static_cast<char>(data[i]);
        }
    }
    files.push_back("https://h/p/" + current);
    const std::vector<FilePlanEntry> plan = PlanFiles(files, "C:\\Users\\a\\Downloads\\VELTADL0\\");
    if (plan.size() != files.size()) abort();
    bool ended = false;
    for (size_t i = 0; i < plan.size(); ++i) {
        const FilePlanEntry& e = plan[i];
        if (e.reached == ended) abort();
        if (e.setup != (i == 0)) abort();
        if (e.pathCharacters > e.pathBytes) abort();
        if (e.replaces) {
            const FilePlanEntry& earlier = plan[*e.replaces];
            if (*e.replaces >= i || earlier.endsLoop || earlier.fileKey != e.fileKey) abort();
        }
        if (e.endsLoop != (e.fault != TargetFault::None)) abort();
        if (!e.endsLoop && (e.path.size() != e.pathBytes || e.pathCharacters > 260)) abort();
        ended = ended || e.endsLoop;
    }
    return 0;
}

// ModelFiles on arbitrary file lists: the model keeps the tool's plan (URL,
// name, path, setup); an entry replaces only the latest earlier one that
// lands on the same key and creates a file; nothing after an entry that
// ends the loop is reached; the character count never exceeds the byte
// count; a path that fits the platform's limit has no path fault.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "download/FilePlan.h"
#include "sitecheck/model/FileModel.h"

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
    const std::string folder = "C:\\Users\\a\\Downloads\\VELTADL0\\";
    const std::vector<FilePlanEntry> plan = PlanFiles(files, folder);
    const std::vector<ModelledFile> model = ModelFiles(files, folder);
    if (plan.size() != files.size() || model.size() != files.size()) abort();
    bool ended = false;
    for (size_t i = 0; i < model.size(); ++i) {
        const ModelledFile& e = model[i];
        const FilePlanEntry& p = plan[i];
        if (e.url != files[i] || p.url != files[i] || e.name != p.name || e.path != p.path) abort();
        if ((p.fault == BufferFault::None) !=
            (e.fault != TargetFault::NameBuffer && e.fault != TargetFault::PathBuffer))
            abort();
        if (e.reached == ended) abort();
        if (e.setup != (i == 0) || p.setup != (i == 0)) abort();
        if (e.pathCharacters > e.pathBytes) abort();
        // The latest earlier entry that created a file, found the slow way.
        std::optional<size_t> expected;
        if (!e.endsLoop) {
            for (size_t k = i; k-- > 0;) {
                if (!model[k].endsLoop && model[k].fileKey == e.fileKey) {
                    expected = k;
                    break;
                }
            }
        }
        if (e.replaces != expected) abort();
        if (e.endsLoop != (e.fault != TargetFault::None)) abort();
        if (!e.endsLoop && (e.path.size() != e.pathBytes || e.pathCharacters > 260)) abort();
        ended = ended || e.endsLoop;
    }
    return 0;
}

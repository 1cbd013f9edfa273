#include "download/FilePlan.h"

#include "download/FileName.h"

namespace {

FilePlanEntry PlanEntry(const std::string& url, const std::string& folder) {
    FilePlanEntry entry;
    entry.url = url;
    char name[kLocalPathCapacity] = "";
    if (!FileNameOfPath(entry.url.c_str(), name, sizeof name)) {
        entry.fault = BufferFault::NameBuffer;
        return entry;
    }
    entry.name = name;
    entry.pathBytes = folder.size() + entry.name.size();
    char path[kLocalPathCapacity];
    if (!JoinLocalPath(folder.c_str(), name, path, sizeof path)) {
        entry.fault = BufferFault::PathBuffer;
        return entry;
    }
    entry.path = path;
    return entry;
}

}  // namespace

std::vector<FilePlanEntry> PlanFiles(const FileList& files, const std::string& folder) {
    std::vector<FilePlanEntry> plan;
    plan.reserve(files.size());
    for (const std::string& url : files) {
        plan.push_back(PlanEntry(url, folder));
        plan.back().setup = plan.size() == 1;
    }
    return plan;
}

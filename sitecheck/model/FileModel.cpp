#include "sitecheck/model/FileModel.h"

#include <unordered_map>

#include "download/FilePlan.h"
#include "sitecheck/model/NameRules.h"

namespace {

TargetFault JudgeTarget(const ModelledFile& file) {
    if (file.name.empty()) return TargetFault::EmptyName;
    if (file.fileKey.empty()) return TargetFault::FolderName;
    if (RefusedCharacter(file.name)) return TargetFault::RefusedCharacter;
    if (file.pathCharacters > kPlatformPathCharacters) return TargetFault::PlatformPath;
    // The console cannot be opened as the run opens its target: CreateFileA
    // fails (ERROR_INVALID_HANDLE under Wine).
    if (IsConsoleName(file.name)) return TargetFault::ConsoleName;
    return TargetFault::None;
}

ModelledFile Model(FilePlanEntry&& planned) {
    ModelledFile file;
    file.url = std::move(planned.url);
    file.name = std::move(planned.name);
    file.path = std::move(planned.path);
    file.pathBytes = planned.pathBytes;
    file.setup = planned.setup;
    file.deviceName = IsReservedDeviceName(file.name);
    switch (planned.fault) {
        case BufferFault::NameBuffer:
            file.fault = TargetFault::NameBuffer;
            return file;
        case BufferFault::PathBuffer:
            file.fault = TargetFault::PathBuffer;
            return file;
        case BufferFault::None:
            break;
    }
    file.pathCharacters = PathCharacters(file.path);
    file.fileKey = FileSystemKey(file.name);
    file.fault = JudgeTarget(file);
    if (file.fault == TargetFault::RefusedCharacter)
        file.refusedByte = *RefusedCharacter(file.name);
    return file;
}

}  // namespace

std::vector<ModelledFile> ModelFiles(const FileList& files, const std::string& folder) {
    std::vector<FilePlanEntry> plan = PlanFiles(files, folder);
    std::vector<ModelledFile> model;
    model.reserve(plan.size());
    // The latest entry that created a file, by key: the one on disk.
    std::unordered_map<std::u16string, std::size_t> onDisk;
    onDisk.reserve(plan.size());
    bool loopEnded = false;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        ModelledFile file = Model(std::move(plan[i]));
        file.reached = !loopEnded;
        file.endsLoop = file.fault != TargetFault::None;
        if (!file.endsLoop) {
            const auto [earlier, added] = onDisk.try_emplace(file.fileKey, i);
            if (!added) {
                file.replaces = earlier->second;
                earlier->second = i;
            }
        }
        loopEnded = loopEnded || file.endsLoop;
        model.push_back(std::move(file));
    }
    return model;
}

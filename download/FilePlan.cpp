#include "download/FilePlan.h"

#include <cstring>

#include "common/Cp932.h"
#include "common/ShiftJis.h"
#include "download/FileName.h"

namespace {

bool IsDotOrBlank(char c) { return c == '.' || c == ' '; }

// The first single-byte character Windows refuses in a file name; a trail
// byte 0x7C of a double-byte character is no '|'.
std::optional<unsigned char> RefusedCharacter(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (sjis::IsDoubleByteAt(name.c_str(), i)) {
            ++i;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr) return c;
    }
    return std::nullopt;
}

// The part of a name before its first dot, without trailing blanks, in upper
// case: what Windows matches against its device names.
std::string DeviceStem(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return stem;
}

void JudgeTarget(FilePlanEntry& entry, const std::string& folder) {
    char name[kLocalPathCapacity] = "";
    if (!FileNameOfPath(entry.url.c_str(), name, sizeof name)) {
        entry.fault = TargetFault::NameBuffer;
        return;
    }
    entry.name = name;
    entry.pathBytes = folder.size() + entry.name.size();
    char path[kLocalPathCapacity];
    if (!JoinLocalPath(folder.c_str(), name, path, sizeof path)) {
        entry.fault = TargetFault::PathBuffer;
        return;
    }
    entry.path = path;
    entry.pathCharacters = cp932::Cp932ToUtf16(entry.path).size();
    entry.fileKey = FileSystemKey(entry.name);
    if (entry.name.empty()) {
        entry.fault = TargetFault::EmptyName;
    } else if (entry.fileKey.empty()) {
        entry.fault = TargetFault::FolderName;
    } else if (const auto refused = RefusedCharacter(entry.name)) {
        entry.fault = TargetFault::RefusedCharacter;
        entry.refusedByte = *refused;
    } else if (entry.pathCharacters > kPlatformPathCharacters) {
        entry.fault = TargetFault::PlatformPath;
    } else if (IsReservedDeviceName(entry.name) && DeviceStem(entry.name) == "CON") {
        // The console cannot be opened as the run opens its target:
        // CreateFileA fails (ERROR_INVALID_HANDLE under Wine).
        entry.fault = TargetFault::ConsoleName;
    }
}

}  // namespace

std::u16string FileSystemKey(const std::string& name) {
    std::size_t end = name.size();
    while (end > 0 && IsDotOrBlank(name[end - 1])) --end;
    // A trail byte is never '.' or ' ', so the cut never splits a character.
    std::u16string key = cp932::Cp932ToUtf16(std::string_view(name).substr(0, end));
    for (char16_t& c : key) c = cp932::UpcaseForFileNames(c);
    return key;
}

bool IsReservedDeviceName(const std::string& name) {
    const std::string stem = DeviceStem(name);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

std::vector<FilePlanEntry> PlanFiles(const FileList& files, const std::string& folder) {
    std::vector<FilePlanEntry> plan;
    plan.reserve(files.size());
    bool loopEnded = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        FilePlanEntry entry;
        entry.url = files[i];
        entry.setup = i == 0;
        entry.reached = !loopEnded;
        JudgeTarget(entry, folder);
        entry.endsLoop = entry.fault != TargetFault::None;
        entry.deviceName = IsReservedDeviceName(entry.name);
        if (!entry.endsLoop) {
            // The latest earlier file of the same key is the one on disk.
            for (std::size_t k = i; k-- > 0;) {
                if (!plan[k].endsLoop && plan[k].fileKey == entry.fileKey) {
                    entry.replaces = k;
                    break;
                }
            }
            entry.landsOnSetup =
                entry.setup || (!plan.front().endsLoop && plan.front().fileKey == entry.fileKey);
        }
        loopEnded = loopEnded || entry.endsLoop;
        plan.push_back(std::move(entry));
    }
    return plan;
}

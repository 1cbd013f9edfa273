#include "download/FileIdentity.h"

#include <optional>

#include "common/UniqueHandle.h"

namespace {

struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// Opened for its attributes only, sharing everything, so that neither a
// writer nor the run's own removal of the file is held up by the look.
std::optional<FileIdentity> IdentityOf(const char* path) {
    const UniqueFileHandle file(CreateFileA(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}

}  // namespace

bool IsSameExistingFile(const char* a, const char* b) {
    const std::optional<FileIdentity> first = IdentityOf(a);
    if (!first) return false;
    const std::optional<FileIdentity> second = IdentityOf(b);
    return second && first->volume == second->volume && first->indexHigh == second->indexHigh &&
           first->indexLow == second->indexLow;
}

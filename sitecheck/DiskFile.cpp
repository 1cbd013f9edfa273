#include "sitecheck/DiskFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sitecheck {
namespace {

#ifdef _WIN32
using StatBuffer = struct _stat64;
int StatPath(const std::filesystem::path& path, StatBuffer& status) {
    return _wstat64(path.c_str(), &status);
}
int OpenForReading(const std::filesystem::path& path) {
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}
int ReadSome(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(size));
}
int CloseFile(int fd) { return _close(fd); }
bool IsRegular(const StatBuffer& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
#else
using StatBuffer = struct stat;
int StatPath(const std::filesystem::path& path, StatBuffer& status) {
    return ::stat(path.c_str(), &status);
}
// Non-blocking, so that a pipe put in place of the file since its status
// was taken cannot hold the check.
int OpenForReading(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
ssize_t ReadSome(int fd, char* data, std::size_t size) { return ::read(fd, data, size); }
int CloseFile(int fd) { return ::close(fd); }
bool IsRegular(const StatBuffer& status) { return S_ISREG(status.st_mode); }
#endif

constexpr std::size_t kMostPerRead = std::size_t{1} << 30;

class OpenFile {
public:
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile() {
        if (m_fd >= 0) CloseFile(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Reads want bytes, fewer if the file has shrunk since; false on a failure.
bool ReadHead(const std::filesystem::path& path, std::size_t want, std::string& head) {
    const OpenFile file(OpenForReading(path));
    if (file.get() < 0) return false;
    head.resize(want);
    std::size_t got = 0;
    while (got < want) {
        // One call reads at most what a 32-bit count can say.
        const std::size_t chunk = want - got < kMostPerRead ? want - got : kMostPerRead;
        const auto read = ReadSome(file.get(), head.data() + got, chunk);
        if (read < 0) return false;
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    head.resize(got);
    return true;
}

}  // namespace

DiskFile ReadDiskFile(const std::filesystem::path& path, std::size_t headBytes) {
    DiskFile result;
    StatBuffer status{};
    if (StatPath(path, status) != 0) {
        result.kind = DiskFileKind::Missing;
        return result;
    }
    if (!IsRegular(status)) {
        result.kind = DiskFileKind::NotAFile;
        return result;
    }
    result.size = static_cast<uint64_t>(status.st_size);
    const std::size_t want =
        headBytes < result.size ? headBytes : static_cast<std::size_t>(result.size);
    // An empty file, or one whose bytes are not asked for, is not opened.
    if (want > 0 && !ReadHead(path, want, result.head)) {
        result.kind = DiskFileKind::Unreadable;
        result.head.clear();
        return result;
    }
    result.kind = DiskFileKind::Regular;
    return result;
}

}  // namespace sitecheck

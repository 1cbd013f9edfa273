#include "sitecheck/plan/FolderDigest.h"

#include <fstream>
#include <vector>

#include "sitecheck/Sites.h"
#include "sitecheck/Url.h"

namespace sitecheck {

Digester FolderDigester(const std::string& root) {
    return [root](const std::string& url) -> std::optional<Sha256Digest> {
        std::string relative;
        if (!ResolveRequestPath(RequestPath(url), relative)) return std::nullopt;
        std::ifstream in(DiskPath(root, relative), std::ios::binary);
        if (!in) return std::nullopt;
        Sha256 hash;
        std::vector<char> buffer(1 << 16);
        while (in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            hash.Add(buffer.data(), static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) return std::nullopt;
        return hash.Finish();
    };
}

}  // namespace sitecheck

#include "http/MultipartLayout.h"

#include <algorithm>
#include <cstring>

namespace multipart {

namespace {
constexpr char kDelimiterHead[] = "\r\n--";
constexpr char kLineEnd[] = "\r\n";
constexpr char kDispositionHead[] = "Content-Disposition: form-data; name=\"";
constexpr char kQuote[] = "\"";
constexpr char kFileNameHead[] = "; filename=\"";
constexpr char kQuoteLineEnd[] = "\"\r\n";
constexpr char kPartContentTypeHead[] = "Content-Type: ";
constexpr char kHeaderEnd[] = "\r\n\r\n";
}  // namespace

std::string BoundaryFromTick(uint32_t tick) {
    return std::string(kBoundaryHead) + std::to_string(tick);
}

std::string HeaderLine(const std::string& boundary) {
    return kContentTypeHead + boundary + kLineEnd;
}

std::string Delimiter(const std::string& boundary) { return kDelimiterHead + boundary + kLineEnd; }

std::string CloseDelimiter(const std::string& boundary) {
    return kDelimiterHead + boundary + "--" + kLineEnd;
}

std::string PartHeader(const FormPart& part) {
    std::string h = kDispositionHead;
    h += part.name;
    h += kQuote;
    if (!part.fileName.empty()) {
        h += kFileNameHead;
        h += part.fileName;
        h += kQuoteLineEnd;
        h += kPartContentTypeHead;
        h += part.contentType;
    }
    h += kHeaderEnd;
    return h;
}

std::optional<uint32_t> AnnouncedLength(const FormPartList& parts, const std::string& boundary) {
    const uint64_t delimiter = Delimiter(boundary).size();
    uint64_t total = CloseDelimiter(boundary).size();
    for (const FormPart& part : parts) {
        const uint64_t piece = delimiter + PartHeader(part).size();
        // Each step is checked against the 32-bit bound before adding, so the
        // 64-bit sum itself can never wrap.
        if (part.size > kMaxAnnouncedLength || piece > kMaxAnnouncedLength) return std::nullopt;
        total += piece + part.size;
        if (total > kMaxAnnouncedLength) return std::nullopt;
    }
    return static_cast<uint32_t>(total);
}

size_t CopyMemoryChunk(const FormPart& part, uint64_t offset, uint8_t* buffer) {
    const uint8_t* content;
    uint64_t length;
    if (part.fileName.empty()) {
        content = reinterpret_cast<const uint8_t*>(part.value.data());
        length = part.value.size();
    } else {
        content = part.data.data();
        length = part.data.size();
    }
    if (offset >= length) return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kChunkSize, length - offset));
    std::memcpy(buffer, content + offset, count);
    return count;
}

const FormPart* FindPart(const FormPartList& parts, const char* name) {
    // Names compare as bytes, whole: "a" is not "a\0b", nor "A".
    const size_t length = std::strlen(name);
    for (const FormPart& part : parts) {
        if (part.name.size() == length && std::memcmp(part.name.data(), name, length) == 0)
            return &part;
    }
    return nullptr;
}

bool ContainsName(const FormPartList& parts, const char* name) {
    return FindPart(parts, name) != nullptr;
}

std::string ProduceBody(const FormPartList& parts, const std::string& boundary) {
    std::string body;
    const std::string d = Delimiter(boundary);
    uint8_t buffer[kChunkSize];
    for (const FormPart& part : parts) {
        body += d;
        body += PartHeader(part);
        uint64_t offset = 0;
        while (size_t count = CopyMemoryChunk(part, offset, buffer)) {
            body.append(reinterpret_cast<const char*>(buffer), count);
            offset += count;
        }
    }
    body += CloseDelimiter(boundary);
    return body;
}

}  // namespace multipart

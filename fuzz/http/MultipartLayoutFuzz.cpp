// For any parts and tick the announced total equals the bytes produced, and
// the body frames every part between its delimiter and the next.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/MultipartLayout.h"

namespace {
// Splits the input into length-prefixed pieces.
struct Reader {
    const uint8_t* data;
    size_t size;
    bool Byte(uint8_t* out) {
        if (!size) return false;
        --size;
        *out = *data++;
        return true;
    }
    std::string Text() {
        uint8_t b0 = 0, b1 = 0;
        Byte(&b0);
        Byte(&b1);
        const size_t n = std::min<size_t>((b0 | b1 << 8) % 3000, size);
        std::string s(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
        return s.substr(0, s.find('\0'));  // the interface takes NUL-terminated texts
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    uint32_t tick = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        in.Byte(&b);
        tick = tick << 8 | b;
    }
    FormPartList parts;
    uint8_t kind = 0;
    while (parts.size() < 8 && in.Byte(&kind)) {
        FormPart part;
        part.name = in.Text();
        if (multipart::ContainsName(parts, part.name.c_str())) continue;
        if (kind & 1) {
            part.fileName = in.Text();
            if (part.fileName.empty()) part.fileName = "f";
            part.contentType = in.Text();
            const std::string content = in.Text();
            part.data.assign(content.begin(), content.end());
            part.size = part.data.size();
        } else {
            part.value = in.Text();
            part.size = part.value.size();
        }
        parts.push_back(std::move(part));
    }

    const std::string boundary = multipart::BoundaryFromTick(tick);
    if (boundary != "--qrn7730518246marrow" + std::to_string(tick)) std::abort();
    const std::string body = multipart::ProduceBody(parts, boundary);
    const auto total = multipart::AnnouncedLength(parts, boundary);
    if (!total || *total != body.size()) std::abort();

    // Each part is delimiter, header, content, in order; then the close and nothing after.
    size_t at = 0;
    const std::string d = multipart::Delimiter(boundary);
    for (const FormPart& part : parts) {
        if (body.compare(at, d.size(), d) != 0) std::abort();
        at += d.size();
        const std::string h = multipart::PartHeader(part);
        if (body.compare(at, h.size(), h) != 0) std::abort();
        at += h.size();
        const std::string content =
            part.fileName.empty() ? part.value : std::string(part.data.begin(), part.data.end());
        if (body.compare(at, content.size(), content) != 0) std::abort();
        at += content.size();
    }
    const std::string c = multipart::CloseDelimiter(boundary);
    if (body.size() != at + c.size() || body.compare(at, c.size(), c) != 0) std::abort();
    return 0;
}

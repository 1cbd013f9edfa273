#pragma once
// Byte layout of a multipart/form-data body: boundary, delimiters, part
// headers and the announced total. The sender announces the total before
// the first byte goes out, so everything here must agree exactly with the
// bytes the sender produces later; MultipartBodyProducer exists to check
// that agreement (tests, fuzzing) without a network.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "http/FormPart.h"

namespace multipart {

inline constexpr char kBoundaryHead[] = "--qrn7730518246marrow";
inline constexpr char kContentTypeHead[] = "content-type: multipart/form-data; boundary=";
// Content bytes handed to the platform per write for parts.
inline constexpr size_t kChunkSize = 1024;
// The platform takes the announced length as a 32-bit number.
inline constexpr uint64_t kMaxAnnouncedLength = 0xFFFFFFFFull;
// A disk part is refused at 2 GiB and beyond.
inline constexpr uint64_t kMaxDiskPartSize = 0x80000000ull;

// B: fixed head followed by the tick count in decimal, no leading zeros.
std::string BoundaryFromTick(uint32_t tick);
// "content-type: multipart/form-data; boundary=" B CRLF
std::string HeaderLine(const std::string& boundary);
// D: CRLF "--" B CRLF
std::string Delimiter(const std::string& boundary);
// C: CRLF "--" B "--" CRLF
std::string CloseDelimiter(const std::string& boundary);
// H of one part: a plain field when fileName is empty, a file part otherwise.
std::string PartHeader(const FormPart& part);

// T: sum over the parts of |D| + |H| + size, plus |C|. Empty when the sum
// does not fit the 32-bit length the platform accepts (or overflows 64 bits).
std::optional<uint32_t> AnnouncedLength(const FormPartList& parts, const std::string& boundary);

// Copies up to kChunkSize content bytes of an in-memory part (plain field or
// file part from memory) starting at offset; 0 once the content is exhausted.
size_t CopyMemoryChunk(const FormPart& part, uint64_t offset, uint8_t* buffer);

// The part that carries name (byte-exact comparison), null when none does.
const FormPart* FindPart(const FormPartList& parts, const char* name);
// Whether name is already used by one of the parts.
bool ContainsName(const FormPartList& parts, const char* name);

// Builds the whole body of in-memory parts in the order the sender writes it,
// chunk by chunk. Parts whose content lives on disk are not supported here.
std::string ProduceBody(const FormPartList& parts, const std::string& boundary);

}  // namespace multipart

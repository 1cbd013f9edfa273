// Form parts and the multipart/form-data POST. The body is never assembled:
// its length is announced first and the pieces are written one after the
// other, disk content in 1,024-byte chunks, so the bytes written must add up
// exactly to the announced total or the server sees a malformed request.
#include "http/RequestCore.h"

#include <mmsystem.h>

#include <cstring>
#include "http/MultipartLayout.h"

static_assert(sizeof(INTERNET_BUFFERSA) == 56, "INTERNET_BUFFERSA as the platform lays it out");

namespace {
constexpr DWORD kAddHeaderFlags = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;  // 0xA0000000
static_assert(kAddHeaderFlags == 0xA0000000);

bool WritePiece(HINTERNET request, const void* bytes, size_t count) {
    DWORD written = 0;
    return InternetWriteFile(request, bytes, static_cast<DWORD>(count), &written) != FALSE;
}

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The current size of an open file: 0, or the error of the platform's answer.
DWORD ReadFileSize(HANDLE file, uint64_t& size) {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file, &value)) return GetLastError();
    size = static_cast<uint64_t>(value.QuadPart);
    return 0;
}

// 0 when the part's file still has the size it announces; otherwise the
// error the send fails with: the open error, ERROR_HANDLE_EOF for a file that
// shrank, ERROR_FILE_INVALID for one that grew.
DWORD CheckDiskPart(const FormPart& part) {
    if (part.fileName.empty() || part.filePath.empty()) return 0;
    const UniqueFileHandle file(OpenForReading(part.filePath.c_str()));
    if (!file) return GetLastError();
    uint64_t now = 0;
    if (const DWORD error = ReadFileSize(file.get(), now)) return error;
    if (now == part.size) return 0;
    return now < part.size ? ERROR_HANDLE_EOF : ERROR_FILE_INVALID;
}
}  // namespace

const FormPart* RequestCore::FindFormPart(const char* name) const {
    return multipart::FindPart(m_formParts, name);
}

// The worker reads the list without a lock once started, so parts can only
// be added before the start.
int RequestCore::AddFormField(const char* name, const char* value) {
    if (!name || !value || m_startRequested) return 0;
    if (FindFormPart(name)) return 0;
    FormPart part;
    part.name = name;
    part.value = value;
    part.size = part.value.size();
    m_formParts.push_back(std::move(part));
    return 1;
}

int RequestCore::AddFormFile(const char* name, const char* fileName, const char* path,
                             const char* contentType) {
    // A file part without a file name would go out as a plain field while
    // its content length is still counted in the announced total.
    if (!name || !fileName || !*fileName || !path || !contentType || m_startRequested) return 0;
    if (FindFormPart(name)) return 0;
    UniqueFileHandle file(OpenForReading(path));
    if (!file) return FailWith(GetLastError());
    uint64_t size = 0;
    if (const DWORD error = ReadFileSize(file.get(), size)) return FailWith(error);
    if (size >= multipart::kMaxDiskPartSize) return FailWith(ERROR_FILE_TOO_LARGE);
    FormPart part;
    part.name = name;
    part.fileName = fileName;
    part.contentType = contentType;
    part.filePath = path;
    part.size = size;
    m_formParts.push_back(std::move(part));
    return 1;
}

int RequestCore::AddFormData(const char* name, const char* fileName, const void* data,
                             uint64_t length, const char* contentType) {
    if (!name || !fileName || !*fileName || !contentType || (!data && length) || m_startRequested)
        return 0;
    if (FindFormPart(name)) return 0;
    // Such a part could never be announced in the 32-bit total anyway.
    if (length > multipart::kMaxAnnouncedLength) return 0;
    FormPart part;
    part.name = name;
    part.fileName = fileName;
    part.contentType = contentType;
    try {
        const uint8_t* begin = static_cast<const uint8_t*>(data);
        part.data.assign(begin, begin + length);
    } catch (const std::bad_alloc&) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    part.size = length;
    m_formParts.push_back(std::move(part));
    return 1;
}

std::string RequestCore::BuildPartHeader(const FormPart& part) const {
    return multipart::PartHeader(part);
}

// Disk content is opened, positioned, read and closed for every chunk, so no
// file stays open between chunks. Platform failures leave their error in
// m_lastError; a file that is now shorter than announced gives ERROR_HANDLE_EOF.
size_t RequestCore::ReadPartChunk(const FormPart& part, uint64_t offset, uint8_t* buffer) {
    if (part.fileName.empty() || part.filePath.empty())
        return multipart::CopyMemoryChunk(part, offset, buffer);

    UniqueFileHandle file(OpenForReading(part.filePath.c_str()));
    if (!file) return FailWith(GetLastError());
    uint64_t current = 0;
    if (const DWORD error = ReadFileSize(file.get(), current)) return FailWith(error);
    if (offset >= current) {
        if (offset < part.size) m_lastError = ERROR_HANDLE_EOF;
        return 0;
    }
    if (SetFilePointer(file.get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
        return FailWith(GetLastError());
    }
    const DWORD wanted = static_cast<DWORD>(
        current - offset < multipart::kChunkSize ? current - offset : multipart::kChunkSize);
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, wanted, &read, nullptr)) return FailWith(GetLastError());
    return read;
}

bool RequestCore::SendMultipart() {
    if (!OpenRequest("POST")) return false;

    const std::string boundary = multipart::BoundaryFromTick(timeGetTime());
    const std::string delimiter = multipart::Delimiter(boundary);
    const std::string close = multipart::CloseDelimiter(boundary);
    const std::string headerLine = multipart::HeaderLine(boundary);

    if (!HttpAddRequestHeadersA(m_hRequest.get(), headerLine.c_str(), static_cast<DWORD>(-1),
                                kAddHeaderFlags)) {
        return FailWith(GetLastError());
    }

    // A total that does not fit the 32-bit length would put a wrong
    // Content-Length on the wire; nothing is sent then.
    const std::optional<uint32_t> total = multipart::AnnouncedLength(m_formParts, boundary);
    if (!total) return FailWith(ERROR_FILE_TOO_LARGE);

    // Once the body has begun, a failure can only abandon it half sent, and
    // WinINet may then hand that connection, still inside our body, to the
    // next request for the same server, which waits for an answer that never
    // comes. Files that changed since they were added are therefore caught
    // here, before the first byte goes out; only a change during the send
    // itself is left to the checks below.
    for (const FormPart& part : m_formParts) {
        if (const DWORD error = CheckDiskPart(part)) return FailWith(error);
    }

    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof(buffers);
    buffers.dwBufferTotal = *total;
    if (!HttpSendRequestExA(m_hRequest.get(), &buffers, nullptr, HSR_INITIATE, 0))
        return FailWith(GetLastError());

    uint8_t chunk[multipart::kChunkSize];
    for (const FormPart& part : m_formParts) {
        if (!WritePiece(m_hRequest.get(), delimiter.data(), delimiter.size()))
            return FailWith(GetLastError());
        const std::string header = BuildPartHeader(part);
        if (!WritePiece(m_hRequest.get(), header.data(), header.size()))
            return FailWith(GetLastError());
        uint64_t offset = 0;
        while (const size_t count = ReadPartChunk(part, offset, chunk)) {
            // A disk file that grew while it was being sent: its extra bytes
            // would run past the announced total, so the send stops here.
            if (count > part.size - offset) return FailWith(ERROR_FILE_INVALID);
            // A failed write shows up as a failure of HttpEndRequestA.
            WritePiece(m_hRequest.get(), chunk, count);
            offset += count;
        }
        // Shrunk or vanished while being sent (ReadPartChunk left the
        // cause): the body would fall short of the total.
        if (offset != part.size) return false;
    }
    WritePiece(m_hRequest.get(), close.data(), close.size());

    if (!HttpEndRequestA(m_hRequest.get(), nullptr, HSR_INITIATE, 0))
        return FailWith(GetLastError());
    return true;
}

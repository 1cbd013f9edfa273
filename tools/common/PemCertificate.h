#pragma once
// Reads one PEM certificate file and decodes it to DER, for the small tools
// that put the test CA into a Wine prefix's Root store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

// False when the file cannot be read or holds no PEM block.
inline bool ReadPemCertificate(const char* path, std::vector<BYTE>& der) {
    std::string pem;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) pem.append(buf, n);
    const bool read = !std::ferror(f);
    std::fclose(f);
    if (!read || pem.empty()) return false;
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        return false;
    }
    der.resize(size);
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
        return false;
    }
    der.resize(size);
    return true;
}

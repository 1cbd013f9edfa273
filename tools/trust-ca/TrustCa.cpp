// TrustCa.exe CA.pem
// Adds a PEM certificate to the machine's Root store of the current (Wine)
// prefix, so that WinINet accepts servers signed by the test CA. Running it
// again replaces the same certificate, so the env script can call it on
// every run without growing the store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "TrustCa: %s failed, error %lu\n", what, static_cast<unsigned long>(error));
    return 1;
}

bool ReadWholeFile(const char* path, std::string& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: TrustCa CA.pem\n");
        return 2;
    }
    std::string pem;
    if (!ReadWholeFile(argv[1], pem) || pem.empty()) {
        std::fprintf(stderr, "TrustCa: cannot read %s\n", argv[1]);
        return 1;
    }

    DWORD derSize = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &derSize, nullptr, nullptr)) {
        return Fail("CryptStringToBinaryA (size)", GetLastError());
    }
    std::vector<BYTE> der(derSize);
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              der.data(), &derSize, nullptr, nullptr)) {
        return Fail("CryptStringToBinaryA", GetLastError());
    }

    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) return Fail("CertOpenStore(Root)", GetLastError());

    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                  derSize, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    DWORD addError = added ? 0 : GetLastError();
    CertCloseStore(store, 0);
    if (!added) return Fail("CertAddEncodedCertificateToStore", addError);
    return 0;
}

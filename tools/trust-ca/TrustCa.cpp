// TrustCa.exe CA.pem
// Adds a PEM certificate to the machine's Root store of the current (Wine)
// prefix, so that WinINet accepts servers signed by the test CA. Running it
// again replaces the same certificate, so the env script can call it on
// every run without growing the store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

#include "tools/common/PemCertificate.h"

namespace {

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "TrustCa: %s failed, error %lu\n", what,
                 static_cast<unsigned long>(error));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: TrustCa CA.pem\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!ReadPemCertificate(argv[1], der)) {
        std::fprintf(stderr, "TrustCa: cannot read a PEM certificate from %s\n", argv[1]);
        return 1;
    }

    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) return Fail("CertOpenStore(Root)", GetLastError());

    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                  der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    DWORD addError = added ? 0 : GetLastError();
    CertCloseStore(store, 0);
    if (!added) return Fail("CertAddEncodedCertificateToStore", addError);
    return 0;
}

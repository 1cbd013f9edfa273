// VerifyTrust.exe FILE [CA.pem]
// Asks WinVerifyTrust whether FILE carries a valid Authenticode signature
// (the action a Windows user's shell applies). With CA.pem, that
// certificate is put into the machine's Root store of the current (Wine)
// prefix for the check only and taken out again afterwards, so the store
// does not grow with every test run and no later check trusts it by
// accident. Prints "trust 0x<result>" and exits 0 only for a trusted file.
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/PemCertificate.h"

namespace {

// The CA in the machine Root store while it lives.
class TemporaryRoot {
public:
    explicit TemporaryRoot(const std::vector<BYTE>& der) {
        m_store =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
        if (m_store == nullptr) return;
        m_added = CertAddEncodedCertificateToStore(
                      m_store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                      CERT_STORE_ADD_REPLACE_EXISTING, &m_cert) != FALSE;
    }
    ~TemporaryRoot() {
        // CertDeleteCertificateFromStore releases the context it is given.
        if (m_cert != nullptr) CertDeleteCertificateFromStore(m_cert);
        if (m_store != nullptr) CertCloseStore(m_store, 0);
    }
    TemporaryRoot(const TemporaryRoot&) = delete;
    TemporaryRoot& operator=(const TemporaryRoot&) = delete;
    bool Added() const { return m_added; }

private:
    HCERTSTORE m_store = nullptr;
    PCCERT_CONTEXT m_cert = nullptr;
    bool m_added = false;
};

LONG Verify(const std::wstring& file) {
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = file.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;  // the test CA publishes no revocation list
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: VerifyTrust FILE [CA.pem]\n");
        return 2;
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
    std::wstring file(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file.data(), length);
    file.resize(wcslen(file.c_str()));

    LONG result;
    if (argc == 3) {
        std::vector<BYTE> der;
        if (!ReadPemCertificate(argv[2], der) || der.empty()) {
            std::fprintf(stderr, "VerifyTrust: cannot read the certificate %s\n", argv[2]);
            return 2;
        }
        TemporaryRoot root(der);
        if (!root.Added()) {
            std::fprintf(stderr, "VerifyTrust: cannot add %s to the Root store, error %lu\n",
                         argv[2], GetLastError());
            return 2;
        }
        result = Verify(file);
    } else {
        result = Verify(file);
    }
    std::printf("trust 0x%08lX\n", static_cast<unsigned long>(result));
    return result == ERROR_SUCCESS ? 0 : 1;
}

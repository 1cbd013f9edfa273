// The server's certificate chain as WinINet kept it for the request, and the
// SSL policy's verdict on it for the URL's host, asked once with the dates
// ignored and the validity checked apart, so that a certificate wrong in
// both ways is reported in both.
#include "http/ServerCertificate.h"

#include <wincrypt.h>

#include "common/UniqueHandle.h"
#include "http/HttpWebRequest.h"

namespace {

inline void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept { CertFreeCertificateChain(chain); }
using UniqueCertificateChain =
    unique_any<handle_traits::NullInvalid<PCCERT_CHAIN_CONTEXT, FreeChain>>;

// The host of an http(s) URL as UTF-16, the policy's way of naming it.
std::wstring HostOf(const std::string& url) {
    std::string host(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return std::wstring();
    host.resize(parts.dwHostNameLength);
    return std::wstring(host.begin(), host.end());  // host names are ASCII
}

}  // namespace

ServerCertificate ReadServerCertificate(HINTERNET request, const std::string& url) {
    ServerCertificate result;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    DWORD size = sizeof chain;
    if (!InternetQueryOptionA(request, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &chain, &size))
        return result;
    const UniqueCertificateChain owned(chain);
    if (!chain || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return result;
    CERT_INFO* leaf = chain->rgpChain[0]->rgpElement[0]->pCertContext->pCertInfo;
    result.read = true;
    result.notAfter = leaf->NotAfter;
    result.outsideDates = CertVerifyTimeValidity(nullptr, leaf) != 0;

    std::wstring host = HostOf(url);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    ssl.pwszServerName = host.data();
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status))
        result.otherHost = static_cast<HRESULT>(status.dwError) == CERT_E_CN_NO_MATCH;
    return result;
}

// Here rather than beside the other operations: a program that never asks
// for a certificate links none of this file.
void CHttpWebRequest::KeepServerCertificate() {
    m_core->m_readCertificate = &ReadServerCertificate;
}

ServerCertificate CHttpWebRequest::GetServerCertificate() const {
    const RequestState state = m_core->m_state.load();
    // Written by the worker before the status step publishes its state.
    if (state == Idle || state == Connecting || state == Sending) return ServerCertificate();
    return m_core->m_certificate;
}

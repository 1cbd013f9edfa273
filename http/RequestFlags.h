#pragma once
// How CHttpWebRequest opens every request, for the tools that must meet a
// server exactly as the tool does.
#include <windows.h>
#include <wininet.h>

namespace http_flags {

constexpr char kUserAgent[] = "MarrowZOVE";
// Every GET goes to the server (no cache read or write) and a redirect is
// reported, not followed.
constexpr DWORD kOpenFlagsHttp =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Over TLS, a certificate's dates and host name are not checked; its chain is.
constexpr DWORD kIgnoredCertificateChecks =
    INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
constexpr DWORD kOpenFlagsHttps = kOpenFlagsHttp | INTERNET_FLAG_SECURE | kIgnoredCertificateChecks;
static_assert(kOpenFlagsHttp == 0x84200000);
static_assert(kOpenFlagsHttps == 0x84A03000);
// The send and receive limit set on every request: Windows' WinINet gives up
// on a server that goes silent after 30 s of sending or receiving; Wine's
// sets no limit at all. (Under Wine 8 it bounds neither a connect nor a TLS
// handshake.)
constexpr DWORD kSilentServerLimitMs = 30000;

}  // namespace http_flags

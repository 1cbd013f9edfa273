#pragma once
// What the certificate an HTTPS server showed one request says, judged the
// way a browser judges it (host name and validity dates), which the tool's
// own flags ignore. Read by the request's worker right after the send, from
// the connection the request itself used, so that nothing is fetched twice
// to learn it; only for requests that ask for it (the site checker), so that
// the tool's transfers neither pay for it nor link crypt32 for it.
#include <windows.h>
#include <wininet.h>

#include <string>

struct ServerCertificate {
    bool read = false;          // the server showed one and its chain could be read
    FILETIME notAfter{};        // the end of its validity
    bool otherHost = false;     // issued for another host name than the URL's
    bool outsideDates = false;  // not yet valid, or expired
};

// The worker's reading, for a request over TLS whose send succeeded; url is
// the request's own. An empty record when there is nothing to read. Reached
// only through CHttpWebRequest::KeepServerCertificate.
ServerCertificate ReadServerCertificate(HINTERNET request, const std::string& url);

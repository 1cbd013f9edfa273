#pragma once
// The tool's catalog transfer, apart from its messages, so that the site
// checker measures the catalog exactly as the tool fetches it.
#include <cstdint>
#include <string>

#include "http/IHttpWebRequest.h"

class CHttpWebRequest;

// One catalog transfer as the tool makes it: an in-memory GET that waits at
// most 5000 ms. No message is shown; the site checker reads the site
// through it.
struct CatalogTransfer {
    RequestState state = Idle;  // Completed, Failed, Idle, or the state the wait ran out in
    std::string body;           // the whole body as received (Completed only)
    uint32_t status = 0;        // the HTTP status, 0 when none arrived
    uint32_t lastError = 0;     // the platform error of a failed transfer
    uint32_t elapsedMs = 0;     // from the start to the end of the wait
    std::string contentType;    // the Content-Type header, empty when none was sent
};
CatalogTransfer TransferCatalog(const std::string& url);
// The same on a request the caller made for the catalog URL and has not
// started, and that it may read on afterwards (the site checker asks it for
// the server's certificate).
CatalogTransfer TransferCatalog(CHttpWebRequest& request);

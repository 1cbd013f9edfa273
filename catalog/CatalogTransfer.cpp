#include "catalog/CatalogTransfer.h"

#include <windows.h>
#include <mmsystem.h>

#include "catalog/CatalogWait.h"
#include "http/HttpWebRequest.h"

CatalogTransfer TransferCatalog(const std::string& url) {
    CHttpWebRequest request(url.c_str());
    return TransferCatalog(request);
}

CatalogTransfer TransferCatalog(CHttpWebRequest& request) {
    CatalogTransfer transfer;
    const DWORD start = timeGetTime();
    request.Start();
    transfer.state = request.Wait(kCatalogWaitMs);
    transfer.elapsedMs = timeGetTime() - start;
    // The status and the error are written by the worker: read only once
    // the headers are in or the request has ended.
    if (transfer.state == Failed || transfer.state >= HeadersReceived)
        transfer.status = request.GetStatusCode();
    // Meaningful only once the request has ended; a transfer still running
    // may yet set it.
    if (transfer.state == Failed) transfer.lastError = request.GetLastErrorCode();
    transfer.contentType = request.GetContentType();
    if (transfer.state == Completed) {
        const uint8_t* data = nullptr;
        const uint32_t size = request.GetResponseData(&data);
        if (data != nullptr) transfer.body.assign(reinterpret_cast<const char*>(data), size);
    }
    return transfer;
}

#include "catalog/CatalogFetch.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "catalog/ProcessState.h"
#include "catalog/CatalogFailure.h"
#include "catalog/CatalogParser.h"
#include "catalog/CatalogTransfer.h"
#include "catalog/UpdateNotice.h"
#include "common/CustomerTexts.h"
#include "http/HttpWebRequest.h"

namespace {

using texts::kCatalogCaption;
using texts::kCatalogCommunicationError;
using texts::kCatalogNoResponse;
using texts::kCatalogUndefinedError;
using texts::kFileListCaption;
using texts::kFileListFailure;
using texts::kUpdateNotice;

// No owner: the selection dialog stays usable while the box is up, so its
// Cancel still works (it takes effect once the fetch has returned).
void ShowMessage(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

const char* CatalogFailureText(RequestState state) {
    switch (CatalogFailureFor(state)) {
        case CatalogFailure::Communication:
            return kCatalogCommunicationError;
        case CatalogFailure::Undefined:
            return kCatalogUndefinedError;
        case CatalogFailure::NoResponse:
            break;
    }
    return kCatalogNoResponse;
}

// Runs one in-memory GET to its end (or the time limit). On Completed the
// body is returned as text up to its first zero byte; the request object is
// gone before the caller shows any message, so a transfer still running
// after a time-out has been stopped first.
RequestState FetchText(const std::string& url, uint32_t waitMs, std::string& text) {
    std::unique_ptr<IHttpWebRequest> request(new CHttpWebRequest(url.c_str()));
    request->Start();
    const RequestState state = request->Wait(waitMs);
    if (state == Completed) {
        const uint8_t* data = nullptr;
        const uint32_t size = request->GetResponseData(&data);
        text = TextUpToFirstZero(data, size);
    }
    return state;
}

}  // namespace

int FetchCatalog() {
    // Emptied first so that a failure or the notice never leaves an earlier
    // catalog behind for the dialog to list.
    CatalogList().swap(ProductCatalog);

    // The request is gone before any message: a transfer still running
    // after the wait has been stopped first.
    const CatalogTransfer transfer = TransferCatalog(BuildCatalogUrl(g_testMode));
    if (transfer.state != Completed) {
        ShowMessage(CatalogFailureText(transfer.state), kCatalogCaption);
        return -2;
    }
    const std::string text = TextUpToFirstZero(
        reinterpret_cast<const uint8_t*>(transfer.body.data()), transfer.body.size());
    if (IsUpdateNotice(text)) {
        ShowMessage(kUpdateNotice, kCatalogCaption);
        return -1;
    }
    ProductCatalog = ParseCatalog(text.c_str());
    return 0;
}

FileList FetchFileList(const std::string& baseUrl) {
    std::string text;
    const RequestState state = FetchText(BuildFileListUrl(baseUrl), kWaitForever, text);
    if (state == Completed) {
        std::optional<FileList> files = ParseFileList(baseUrl, text.c_str());
        if (files) return std::move(*files);
    }
    ShowMessage(kFileListFailure, kFileListCaption);
    return FileList();
}

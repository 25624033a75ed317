#include "runner/image_downloads.h"

#include "graphics/image/image_load.h"
#include "net/async_requests.h"

namespace {

// What an image request carries for graphics: its completion, the record and the record's release.
struct ImageRequest {
    ImageDownloadDone done;
    ImageDownloadFree free;
    void* record;
};

int32_t ImageRequestDone(HTTP_REQ_CONTEXT* request, void* user, int32_t* asyncLoad) {
    const auto* r = static_cast<const ImageRequest*>(user);
    return r->done(request->url, request->status, reinterpret_cast<const uint8_t*>(request->data),
                   request->dataSize, r->record, asyncLoad);
}

void ImageRequestEnd(HTTP_REQ_CONTEXT* request) {
    auto* r = static_cast<ImageRequest*>(request->user);
    if (r->free) r->free(r->record);
    delete r;
}

void ImageHttpGet(const char* url, int32_t kind, ImageDownloadDone done, ImageDownloadFree free, void* record) {
    HTTP_Get(url, kind, ImageRequestDone, ImageRequestEnd, new ImageRequest{done, free, record});
}

} // namespace

void Runner_InstallImageDownloads() {
    Image_SetHttpGet(ImageHttpGet);
}

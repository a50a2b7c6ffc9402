// A deliberately incomplete stand-in for the image toolkit: it exports only
// ti_GetInfo, ti_SetDpi, ti_CreateImage, ti_ReleaseImage and ti_GetVersion,
// so every other wrapper of the binding meets a missing export.
#define TIMAGE_BUILDING
#include <new>

#include "libs/timage/timage.h"

struct ti_image_ {
    int width;
    int height;
    int pixelFormat;
    int xDpi;
    int yDpi;
};

extern "C" {

TI_EXPORT int TI_API ti_GetInfo(TI_IMAGE image, TI_IMAGE_INFO* info) {
    if (!image || !info) return TI_ERR_ARGUMENT;
    info->pixelFormat = image->pixelFormat;
    info->width = image->width;
    info->height = image->height;
    info->xDpi = image->xDpi;
    info->yDpi = image->yDpi;
    return TI_OK;
}

TI_EXPORT int TI_API ti_SetDpi(TI_IMAGE image, int xDpi, int yDpi) {
    if (!image) return TI_ERR_ARGUMENT;
    image->xDpi = xDpi;
    image->yDpi = yDpi;
    return TI_OK;
}

TI_EXPORT TI_IMAGE TI_API ti_CreateImage(int width, int height, int pixelFormat) {
    if (width <= 0 || height <= 0) return nullptr;
    return new (std::nothrow) ti_image_{width, height, pixelFormat, 0, 0};
}

TI_EXPORT void TI_API ti_ReleaseImage(TI_IMAGE* image) {
    if (!image) return;
    delete *image;
    *image = nullptr;
}

TI_EXPORT int TI_API ti_GetVersion(void) { return (9 << 16) | 1; }

}  // extern "C"

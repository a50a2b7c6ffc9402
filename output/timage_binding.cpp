#include "output/timage_binding.h"

#include "platform/library_name.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace timage {

namespace {

// The exports in the order they are resolved (and reported when missing).
#define DOCIVA_TIMAGE_EXPORTS(X)                                                                             \
    X(ti_GetImageInfo)                                                                                       \
    X(ti_GetImageInfoFromStream)                                                                             \
    X(ti_GetInfo)                                                                                            \
    X(ti_SetDpi)                                                                                             \
    X(ti_SetJpegQuality)                                                                                     \
    X(ti_LoadImage)                                                                                          \
    X(ti_LoadImageEx)                                                                                        \
    X(ti_LoadFromMem)                                                                                        \
    X(ti_LoadFromDIB)                                                                                        \
    X(ti_LoadFromStream)                                                                                     \
    X(ti_SaveImage)                                                                                          \
    X(ti_SaveImage2)                                                                                         \
    X(ti_SaveImageEx)                                                                                        \
    X(ti_SaveToStream)                                                                                       \
    X(ti_CloneImage)                                                                                         \
    X(ti_CreateImage)                                                                                        \
    X(ti_CreateImage2)                                                                                       \
    X(ti_AttachImageData)                                                                                    \
    X(ti_ReleaseImage)                                                                                       \
    X(ti_Copy)                                                                                               \
    X(ti_Resize)                                                                                             \
    X(ti_ResizeRect)                                                                                         \
    X(ti_BitBlt)                                                                                             \
    X(ti_AlphaBlend)                                                                                         \
    X(ti_CopyRect)                                                                                           \
    X(ti_GetQuadrangleSubPix)                                                                                \
    X(ti_Rotate)                                                                                             \
    X(ti_Orientate)                                                                                          \
    X(ti_Flip)                                                                                               \
    X(ti_Repeat)                                                                                             \
    X(ti_RepeatRect)                                                                                         \
    X(ti_Fill)                                                                                               \
    X(ti_FillRect)                                                                                           \
    X(ti_SetZero)                                                                                            \
    X(ti_Not)                                                                                                \
    X(ti_Split)                                                                                              \
    X(ti_Merge)                                                                                              \
    X(ti_LUT)                                                                                                \
    X(ti_Threshold)                                                                                          \
    X(ti_ConvertColor)                                                                                       \
    X(ti_Light)                                                                                              \
    X(ti_Saturate)                                                                                           \
    X(ti_Mean)                                                                                               \
    X(ti_LightEx)                                                                                            \
    X(ti_Alloc)                                                                                              \
    X(ti_Free_)                                                                                              \
    X(ti_SetMemoryManager)                                                                                   \
    X(ti_GetErrMode)                                                                                         \
    X(ti_SetErrMode)                                                                                         \
    X(ti_Error)                                                                                              \
    X(ti_RedirectError)                                                                                      \
    X(ti_MultiPageCreateHandle)                                                                              \
    X(ti_MultiPageAddFile)                                                                                   \
    X(ti_MultiPageAddStream)                                                                                 \
    X(ti_MultiPageAddImage)                                                                                  \
    X(ti_MultiPageReleaseHandle)                                                                             \
    X(ti_DataIsTopdown)                                                                                      \
    X(ti_GetVersion)

#define DOCIVA_TIMAGE_INDEX(name) k_##name,
enum Export : std::size_t { DOCIVA_TIMAGE_EXPORTS(DOCIVA_TIMAGE_INDEX) kCount };
#undef DOCIVA_TIMAGE_INDEX
static_assert(kCount == kExportCount);

void reportMissing(Export e) {
    platform::debugOutput(
        text::format(u"funtion point:%s is null.\n", text::fromUtf8(CTImageLibrary::exportNames()[e])));
}

// The export's address typed as the toolkit declares it; decltype of the
// declaration never makes the component link against the toolkit.
template <typename Fn>
Fn resolved(Export e) {
    const auto f = reinterpret_cast<Fn>(library().function(e));
    if (!f) reportMissing(e);
    return f;
}

template <typename Fn, typename R, typename... Args>
R call(Export e, R missing, Args... args) {
    const Fn f = resolved<Fn>(e);
    return f ? f(args...) : missing;
}

template <typename Fn, typename... Args>
void callVoid(Export e, Args... args) {
    if (const Fn f = resolved<Fn>(e)) f(args...);
}

}  // namespace

#define DOCIVA_TIMAGE_NAME(name) #name,
const std::array<const char*, kExportCount>& CTImageLibrary::exportNames() {
    static const std::array<const char*, kExportCount> names = {DOCIVA_TIMAGE_EXPORTS(DOCIVA_TIMAGE_NAME)};
    return names;
}
#undef DOCIVA_TIMAGE_NAME

std::u16string libraryPath(std::u16string_view folder) {
    const char16_t separator = platform::nativeSeparator();
    const std::u16string relative = text::format(u".%c%s", separator, platform::sharedLibraryFileName(u"timage"));
    // Joining an empty folder with a separator would name the root of the
    // drive; without a folder the path stays relative to the current one.
    if (folder.empty()) return relative;
    if (platform::isPathSeparator(folder.back())) return text::format(u"%s%s", folder, relative);
    return text::format(u"%s%c%s", folder, separator, relative);
}

int CTImageLibrary::load(std::u16string_view folder) {
    // The addresses belong to the library about to be freed.
    functions_.fill(nullptr);
    const std::u16string path = libraryPath(folder);
    int result = kLoaded;
    if (library_.load(path)) {
        platform::debugOutput(text::format(u"--^__^--Load module successfully:%s\n", path));
    } else {
        platform::debugOutput(text::format(u"-->_<--Load module failed:%s\n", path));
        result = kLoadFailed;
    }
    for (std::size_t i = 0; i < kExportCount; ++i) {
        functions_[i] = library_.symbol(exportNames()[i]);
        if (!functions_[i])
            platform::debugOutput(
                text::format(u"-->_<--funtion point:%s is null.\n", text::fromUtf8(exportNames()[i])));
    }
    return result;
}

void CTImageLibrary::unload() {
    functions_.fill(nullptr);
    library_.unload();
}

CTImageLibrary& library() {
    static CTImageLibrary instance;
    return instance;
}

int loadFromCurrentDirectory() { return library().load(u""); }

int loadFromModuleFolder() { return library().load(platform::moduleFolder(platform::currentModule())); }

// ---- Wrappers -------------------------------------------------------------

int ti_GetImageInfo(const ti_char* path, TI_FILE_INFO* info) {
    return call<decltype(&::ti_GetImageInfo)>(k_ti_GetImageInfo, kMissingExport, path, info);
}
int ti_GetImageInfoFromStream(TI_STREAM* stream, TI_FILE_INFO* info) {
    return call<decltype(&::ti_GetImageInfoFromStream)>(k_ti_GetImageInfoFromStream, kMissingExport, stream, info);
}
int ti_GetInfo(TI_IMAGE image, TI_IMAGE_INFO* info) {
    return call<decltype(&::ti_GetInfo)>(k_ti_GetInfo, kMissingExport, image, info);
}
int ti_SetDpi(TI_IMAGE image, int xDpi, int yDpi) {
    return call<decltype(&::ti_SetDpi)>(k_ti_SetDpi, kMissingExport, image, xDpi, yDpi);
}
int ti_SetJpegQuality(TI_IMAGE image, int quality) {
    return call<decltype(&::ti_SetJpegQuality)>(k_ti_SetJpegQuality, kMissingExport, image, quality);
}
TI_IMAGE ti_LoadImage(const ti_char* path) {
    return call<decltype(&::ti_LoadImage)>(k_ti_LoadImage, TI_IMAGE{}, path);
}
TI_IMAGE ti_LoadImageEx(const ti_char* path, int page) {
    return call<decltype(&::ti_LoadImageEx)>(k_ti_LoadImageEx, TI_IMAGE{}, path, page);
}
TI_IMAGE ti_LoadFromMem(const void* data, int length) {
    return call<decltype(&::ti_LoadFromMem)>(k_ti_LoadFromMem, TI_IMAGE{}, data, length);
}
TI_IMAGE ti_LoadFromDIB(const void* header, const void* bits) {
    return call<decltype(&::ti_LoadFromDIB)>(k_ti_LoadFromDIB, TI_IMAGE{}, header, bits);
}
TI_IMAGE ti_LoadFromStream(TI_STREAM* stream, int page) {
    return call<decltype(&::ti_LoadFromStream)>(k_ti_LoadFromStream, TI_IMAGE{}, stream, page);
}
int ti_SaveImage(const ti_char* path, TI_IMAGE image) {
    return call<decltype(&::ti_SaveImage)>(k_ti_SaveImage, kMissingExport, path, image);
}
int ti_SaveImage2(const ti_char* path, TI_IMAGE image, int compression, int quality, int flags) {
    return call<decltype(&::ti_SaveImage2)>(k_ti_SaveImage2, kMissingExport, path, image, compression, quality,
                                            flags);
}
int ti_SaveImageEx(const ti_char* path, TI_IMAGE image, const TI_PARAM* params, int count) {
    return call<decltype(&::ti_SaveImageEx)>(k_ti_SaveImageEx, kMissingExport, path, image, params, count);
}
int ti_SaveToStream(TI_STREAM* stream, TI_IMAGE image, int format, const TI_PARAM* params, int count) {
    return call<decltype(&::ti_SaveToStream)>(k_ti_SaveToStream, kMissingExport, stream, image, format, params,
                                              count);
}
TI_IMAGE ti_CloneImage(TI_IMAGE image) {
    return call<decltype(&::ti_CloneImage)>(k_ti_CloneImage, TI_IMAGE{}, image);
}
TI_IMAGE ti_CreateImage(int width, int height, int pixelFormat) {
    return call<decltype(&::ti_CreateImage)>(k_ti_CreateImage, TI_IMAGE{}, width, height, pixelFormat);
}
TI_IMAGE ti_CreateImage2(int width, int height, int pixelFormat, int xDpi, int yDpi) {
    return call<decltype(&::ti_CreateImage2)>(k_ti_CreateImage2, TI_IMAGE{}, width, height, pixelFormat, xDpi,
                                              yDpi);
}
TI_IMAGE ti_AttachImageData(int width, int height, int pixelFormat, int stride, void* data) {
    return call<decltype(&::ti_AttachImageData)>(k_ti_AttachImageData, TI_IMAGE{}, width, height, pixelFormat,
                                                 stride, data);
}
void ti_ReleaseImage(TI_IMAGE* image) { callVoid<decltype(&::ti_ReleaseImage)>(k_ti_ReleaseImage, image); }
int ti_Copy(TI_IMAGE source, TI_IMAGE destination) {
    return call<decltype(&::ti_Copy)>(k_ti_Copy, kMissingExport, source, destination);
}
int ti_Resize(TI_IMAGE source, TI_IMAGE destination, int mode) {
    return call<decltype(&::ti_Resize)>(k_ti_Resize, kMissingExport, source, destination, mode);
}
int ti_ResizeRect(TI_IMAGE source, const TI_RECT* sourceRect, TI_IMAGE destination, const TI_RECT* destinationRect,
                  int mode) {
    return call<decltype(&::ti_ResizeRect)>(k_ti_ResizeRect, kMissingExport, source, sourceRect, destination,
                                            destinationRect, mode);
}
int ti_BitBlt(TI_IMAGE destination, int x, int y, int width, int height, TI_IMAGE source, int sx, int sy) {
    return call<decltype(&::ti_BitBlt)>(k_ti_BitBlt, kMissingExport, destination, x, y, width, height, source, sx,
                                        sy);
}
int ti_AlphaBlend(TI_IMAGE destination, int x, int y, TI_IMAGE source, int alpha) {
    return call<decltype(&::ti_AlphaBlend)>(k_ti_AlphaBlend, kMissingExport, destination, x, y, source, alpha);
}
int ti_CopyRect(TI_IMAGE source, TI_IMAGE destination, int left, int top, int fill) {
    return call<decltype(&::ti_CopyRect)>(k_ti_CopyRect, kMissingExport, source, destination, left, top, fill);
}
int ti_GetQuadrangleSubPix(TI_IMAGE source, TI_IMAGE destination, const double matrix[6]) {
    return call<decltype(&::ti_GetQuadrangleSubPix)>(k_ti_GetQuadrangleSubPix, kMissingExport, source,
                                                     destination, matrix);
}
int ti_Rotate(TI_IMAGE source, TI_IMAGE destination, double angle, int fill) {
    return call<decltype(&::ti_Rotate)>(k_ti_Rotate, kMissingExport, source, destination, angle, fill);
}
int ti_Orientate(TI_IMAGE source, TI_IMAGE destination, int angle) {
    return call<decltype(&::ti_Orientate)>(k_ti_Orientate, kMissingExport, source, destination, angle);
}
int ti_Flip(TI_IMAGE source, TI_IMAGE destination, int mode) {
    return call<decltype(&::ti_Flip)>(k_ti_Flip, kMissingExport, source, destination, mode);
}
int ti_Repeat(TI_IMAGE source, TI_IMAGE destination) {
    return call<decltype(&::ti_Repeat)>(k_ti_Repeat, kMissingExport, source, destination);
}
int ti_RepeatRect(TI_IMAGE source, TI_IMAGE destination, const TI_RECT* rect) {
    return call<decltype(&::ti_RepeatRect)>(k_ti_RepeatRect, kMissingExport, source, destination, rect);
}
int ti_Fill(TI_IMAGE image, uint32_t color) {
    return call<decltype(&::ti_Fill)>(k_ti_Fill, kMissingExport, image, color);
}
int ti_FillRect(TI_IMAGE image, const TI_RECT* rect, uint32_t color) {
    return call<decltype(&::ti_FillRect)>(k_ti_FillRect, kMissingExport, image, rect, color);
}
int ti_SetZero(TI_IMAGE image) { return call<decltype(&::ti_SetZero)>(k_ti_SetZero, kMissingExport, image); }
int ti_Not(TI_IMAGE source, TI_IMAGE destination) {
    return call<decltype(&::ti_Not)>(k_ti_Not, kMissingExport, source, destination);
}
int ti_Split(TI_IMAGE source, TI_IMAGE planes[4]) {
    return call<decltype(&::ti_Split)>(k_ti_Split, kMissingExport, source, planes);
}
int ti_Merge(TI_IMAGE planes[4], TI_IMAGE destination) {
    return call<decltype(&::ti_Merge)>(k_ti_Merge, kMissingExport, planes, destination);
}
int ti_LUT(TI_IMAGE source, TI_IMAGE destination, const uint8_t table[256]) {
    return call<decltype(&::ti_LUT)>(k_ti_LUT, kMissingExport, source, destination, table);
}
int ti_Threshold(TI_IMAGE source, TI_IMAGE destination, int threshold, int maxValue, int type) {
    return call<decltype(&::ti_Threshold)>(k_ti_Threshold, kMissingExport, source, destination, threshold, maxValue,
                                           type);
}
int ti_ConvertColor(TI_IMAGE source, TI_IMAGE destination, int code) {
    return call<decltype(&::ti_ConvertColor)>(k_ti_ConvertColor, kMissingExport, source, destination, code);
}
int ti_Light(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast) {
    return call<decltype(&::ti_Light)>(k_ti_Light, kMissingExport, source, destination, brightness, contrast);
}
int ti_Saturate(TI_IMAGE source, TI_IMAGE destination, int saturation) {
    return call<decltype(&::ti_Saturate)>(k_ti_Saturate, kMissingExport, source, destination, saturation);
}
int ti_Mean(TI_IMAGE image, double mean[4]) {
    return call<decltype(&::ti_Mean)>(k_ti_Mean, kMissingExport, image, mean);
}
int ti_LightEx(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast, double gamma) {
    return call<decltype(&::ti_LightEx)>(k_ti_LightEx, kMissingExport, source, destination, brightness, contrast,
                                         gamma);
}
void* ti_Alloc(int size) { return call<decltype(&::ti_Alloc)>(k_ti_Alloc, static_cast<void*>(nullptr), size); }
void ti_Free_(void* block) { callVoid<decltype(&::ti_Free_)>(k_ti_Free_, block); }
int ti_SetMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release) {
    return call<decltype(&::ti_SetMemoryManager)>(k_ti_SetMemoryManager, kMissingExport, alloc, release);
}
int ti_GetErrMode() { return call<decltype(&::ti_GetErrMode)>(k_ti_GetErrMode, kMissingExport); }
int ti_SetErrMode(int mode) { return call<decltype(&::ti_SetErrMode)>(k_ti_SetErrMode, kMissingExport, mode); }
int ti_Error() { return call<decltype(&::ti_Error)>(k_ti_Error, kMissingExport); }
int ti_RedirectError(TI_ERROR_HANDLER handler, void* user) {
    return call<decltype(&::ti_RedirectError)>(k_ti_RedirectError, kMissingExport, handler, user);
}
TI_MULTIPAGE ti_MultiPageCreateHandle(const ti_char* path) {
    return call<decltype(&::ti_MultiPageCreateHandle)>(k_ti_MultiPageCreateHandle, TI_MULTIPAGE{}, path);
}
int ti_MultiPageAddFile(TI_MULTIPAGE writer, const ti_char* path, const TI_PARAM* params, int count) {
    return call<decltype(&::ti_MultiPageAddFile)>(k_ti_MultiPageAddFile, kMissingExport, writer, path, params,
                                                  count);
}
int ti_MultiPageAddStream(TI_MULTIPAGE writer, TI_STREAM* stream, const TI_PARAM* params, int count) {
    return call<decltype(&::ti_MultiPageAddStream)>(k_ti_MultiPageAddStream, kMissingExport, writer, stream, params,
                                                    count);
}
int ti_MultiPageAddImage(TI_MULTIPAGE writer, TI_IMAGE image, const TI_PARAM* params, int count) {
    return call<decltype(&::ti_MultiPageAddImage)>(k_ti_MultiPageAddImage, kMissingExport, writer, image, params,
                                                   count);
}
void ti_MultiPageReleaseHandle(TI_MULTIPAGE* writer) {
    callVoid<decltype(&::ti_MultiPageReleaseHandle)>(k_ti_MultiPageReleaseHandle, writer);
}
int ti_DataIsTopdown(TI_IMAGE image) {
    return call<decltype(&::ti_DataIsTopdown)>(k_ti_DataIsTopdown, kMissingExport, image);
}
int ti_GetVersion() { return call<decltype(&::ti_GetVersion)>(k_ti_GetVersion, kMissingExport); }

}  // namespace timage

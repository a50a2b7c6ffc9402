// The image toolkit (timage), loaded at run time from the component's folder.
//
// Every export of the toolkit has a wrapper here under the same name, in the
// namespace timage (so it never collides with the toolkit's own symbols).
// A wrapper calls through when the export was found by the last load; else
// it writes "funtion point:NAME is null.\n" to the debugger output and
// returns kMissingExport (int results), a null handle or pointer, or
// nothing.
//
// Loading: loadFromCurrentDirectory() when the component's module is
// loaded, loadFromModuleFolder() again when its application object starts.
// Each load frees the library held before and resolves every export anew.
//
// Thread safety: loads and unloads run while no other thread uses the
// toolkit (module load and application start); the wrappers may then be
// called from any thread, as the toolkit itself allows.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "libs/timage/timage.h"
#include "platform/dynamic_library.h"

namespace timage {

inline constexpr int kLoaded = 0;
inline constexpr int kLoadFailed = -2;
// What a wrapper with an int result returns when its export is missing.
inline constexpr int kMissingExport = TI_ERR_MISSING;

inline constexpr std::size_t kExportCount = 58;

// The toolkit's path for a folder: the folder joined to ".\timage.dll"
// ("./libtimage.so" on Linux). An empty folder leaves the path relative,
// so the library is looked for in the current directory.
std::u16string libraryPath(std::u16string_view folder);

// The loaded toolkit and the addresses of its exports.
class CTImageLibrary {
public:
    CTImageLibrary() = default;
    CTImageLibrary(const CTImageLibrary&) = delete;
    CTImageLibrary& operator=(const CTImageLibrary&) = delete;

    // Loads libraryPath(folder), then resolves every export in order.
    // kLoaded or kLoadFailed; a missing export never fails the load.
    // Debugger output: "--^__^--Load module successfully:PATH\n" or
    // "-->_<--Load module failed:PATH\n", then one
    // "-->_<--funtion point:NAME is null.\n" per export not found.
    int load(std::u16string_view folder);
    void unload();
    bool loaded() const { return library_.loaded(); }

    // Null when the export was not found by the last load.
    void* function(std::size_t index) const { return index < kExportCount ? functions_[index] : nullptr; }

    // The export names in the order they are resolved.
    static const std::array<const char*, kExportCount>& exportNames();

private:
    platform::DynamicLibrary library_;
    std::array<void*, kExportCount> functions_{};
};

// The process's toolkit, the one every wrapper calls.
CTImageLibrary& library();

// The load made when the component's module is loaded: relative to the
// current directory.
int loadFromCurrentDirectory();
// The load made when the application object starts: from the folder of the
// module that holds this code.
int loadFromModuleFolder();

// ---- Wrappers, one per export, in the toolkit's order -------------------

int ti_GetImageInfo(const ti_char* path, TI_FILE_INFO* info);
int ti_GetImageInfoFromStream(TI_STREAM* stream, TI_FILE_INFO* info);
int ti_GetInfo(TI_IMAGE image, TI_IMAGE_INFO* info);
int ti_SetDpi(TI_IMAGE image, int xDpi, int yDpi);
int ti_SetJpegQuality(TI_IMAGE image, int quality);
TI_IMAGE ti_LoadImage(const ti_char* path);
TI_IMAGE ti_LoadImageEx(const ti_char* path, int page);
TI_IMAGE ti_LoadFromMem(const void* data, int length);
TI_IMAGE ti_LoadFromDIB(const void* header, const void* bits);
TI_IMAGE ti_LoadFromStream(TI_STREAM* stream, int page);
int ti_SaveImage(const ti_char* path, TI_IMAGE image);
int ti_SaveImage2(const ti_char* path, TI_IMAGE image, int compression, int quality, int flags);
int ti_SaveImageEx(const ti_char* path, TI_IMAGE image, const TI_PARAM* params, int count);
int ti_SaveToStream(TI_STREAM* stream, TI_IMAGE image, int format, const TI_PARAM* params, int count);
TI_IMAGE ti_CloneImage(TI_IMAGE image);
TI_IMAGE ti_CreateImage(int width, int height, int pixelFormat);
TI_IMAGE ti_CreateImage2(int width, int height, int pixelFormat, int xDpi, int yDpi);
TI_IMAGE ti_AttachImageData(int width, int height, int pixelFormat, int stride, void* data);
void ti_ReleaseImage(TI_IMAGE* image);
int ti_Copy(TI_IMAGE source, TI_IMAGE destination);
int ti_Resize(TI_IMAGE source, TI_IMAGE destination, int mode);
int ti_ResizeRect(TI_IMAGE source, const TI_RECT* sourceRect, TI_IMAGE destination, const TI_RECT* destinationRect,
                  int mode);
int ti_BitBlt(TI_IMAGE destination, int x, int y, int width, int height, TI_IMAGE source, int sx, int sy);
int ti_AlphaBlend(TI_IMAGE destination, int x, int y, TI_IMAGE source, int alpha);
int ti_CopyRect(TI_IMAGE source, TI_IMAGE destination, int left, int top, int fill);
int ti_GetQuadrangleSubPix(TI_IMAGE source, TI_IMAGE destination, const double matrix[6]);
int ti_Rotate(TI_IMAGE source, TI_IMAGE destination, double angle, int fill);
int ti_Orientate(TI_IMAGE source, TI_IMAGE destination, int angle);
int ti_Flip(TI_IMAGE source, TI_IMAGE destination, int mode);
int ti_Repeat(TI_IMAGE source, TI_IMAGE destination);
int ti_RepeatRect(TI_IMAGE source, TI_IMAGE destination, const TI_RECT* rect);
int ti_Fill(TI_IMAGE image, uint32_t color);
int ti_FillRect(TI_IMAGE image, const TI_RECT* rect, uint32_t color);
int ti_SetZero(TI_IMAGE image);
int ti_Not(TI_IMAGE source, TI_IMAGE destination);
int ti_Split(TI_IMAGE source, TI_IMAGE planes[4]);
int ti_Merge(TI_IMAGE planes[4], TI_IMAGE destination);
int ti_LUT(TI_IMAGE source, TI_IMAGE destination, const uint8_t table[256]);
int ti_Threshold(TI_IMAGE source, TI_IMAGE destination, int threshold, int maxValue, int type);
int ti_ConvertColor(TI_IMAGE source, TI_IMAGE destination, int code);
int ti_Light(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast);
int ti_Saturate(TI_IMAGE source, TI_IMAGE destination, int saturation);
int ti_Mean(TI_IMAGE image, double mean[4]);
int ti_LightEx(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast, double gamma);
void* ti_Alloc(int size);
void ti_Free_(void* block);
int ti_SetMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release);
int ti_GetErrMode();
int ti_SetErrMode(int mode);
int ti_Error();
int ti_RedirectError(TI_ERROR_HANDLER handler, void* user);
TI_MULTIPAGE ti_MultiPageCreateHandle(const ti_char* path);
int ti_MultiPageAddFile(TI_MULTIPAGE writer, const ti_char* path, const TI_PARAM* params, int count);
int ti_MultiPageAddStream(TI_MULTIPAGE writer, TI_STREAM* stream, const TI_PARAM* params, int count);
int ti_MultiPageAddImage(TI_MULTIPAGE writer, TI_IMAGE image, const TI_PARAM* params, int count);
void ti_MultiPageReleaseHandle(TI_MULTIPAGE* writer);
// Only a result of 1 means top-down: kMissingExport is no answer.
int ti_DataIsTopdown(TI_IMAGE image);
int ti_GetVersion();

}  // namespace timage

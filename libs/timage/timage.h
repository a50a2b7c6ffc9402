/*
 * timage: the image toolkit the component loads at run time.
 *
 * A C interface, plain C calling convention (cdecl; TI_API), exported by
 * name from timage.dll (Windows) and libtimage.so (Linux). The component
 * never touches pixels itself: it holds images only as TI_IMAGE handles
 * given out here and frees them with ti_ReleaseImage.
 *
 * Images
 *   An image is a block of pixel rows in memory:
 *   - pixel format = bytes per pixel: TI_GRAY8 (1, 8-bit grey), TI_BGR24
 *     (3, blue-green-red), TI_BGRA32 (4, blue-green-red-alpha). The byte
 *     order is that of a Windows DIB, so rows can be handed to the display
 *     as they are.
 *   - each row starts on a 4-byte boundary (stride = width * bpp rounded up
 *     to a multiple of 4); ti_DataIsTopdown says whether the first row in
 *     memory is the top of the picture (every image this library makes is
 *     top-down; an image attached with ti_AttachImageData keeps the order
 *     its owner declared).
 *   - a horizontal and vertical resolution in dots per inch (0 = unknown),
 *     carried through loads, copies, saves and ti_SetDpi.
 *   - a JPEG quality (1..100, default 75) used by the next save that writes
 *     JPEG data (JPEG files, JPEG-compressed TIFF pages, PDF pages).
 *   No image is wider or taller than 30000 pixels or holds more than 1 GiB
 *   of pixels; larger ones are refused with TI_ERR_MEMORY before anything
 *   is allocated (for files: from their headers). Encoded input (a file, a
 *   memory block, a stream) is read up to 1 GiB. A JPEG decode may put out
 *   16 Mi samples plus 4096 samples for each byte of its data (64 blocks of
 *   8 x 8 a byte, far more than real files pack), and a progressive JPEG
 *   may repeat its picture in scans only as often as that budget allows:
 *   a header that declares far more than its data could hold is refused
 *   with TI_ERR_FORMAT when the decode is asked for, instead of spending
 *   seconds on a picture of nothing. A reduced decode (ti_Resize into a
 *   small destination) of such a file stays within the budget.
 *
 * Deferred JPEG decoding
 *   A JPEG loaded by ti_LoadImage, ti_LoadImageEx, ti_LoadFromMem or
 *   ti_LoadFromStream keeps its encoded bytes and is decoded when its pixels
 *   are first needed (only its header is checked at load time, so damaged
 *   data can surface later as TI_ERR_FORMAT from the call that needs the
 *   pixels). ti_Resize with a smoothing mode from such an image into a
 *   smaller destination decodes at the smallest DCT scale n/8 that still
 *   covers the destination and scales only that, leaving the image
 *   deferred; the result differs slightly from scaling the whole decode
 *   (about one level on average for a scanned page). Whether a call finds
 *   the image still encoded depends on the calls before it, so the same
 *   ti_Resize may give these two slightly different results. Fitting a
 *   page for display therefore costs one reduced decode: take the size
 *   from ti_GetImageInfo, or from ti_GetInfo with info->size =
 *   TI_IMAGE_INFO_LAYOUT_SIZE, which never decodes; a full-size ti_GetInfo
 *   needs the row address and decodes.
 *
 * The file behind a JPEG image
 *   A JPEG loaded by one of the calls above also keeps the file it was
 *   loaded from as its source, past its decode, for as long as its pixels
 *   are that file's picture: ti_GetSourceJpeg (an addition beyond the 58
 *   calls of this interface) hands those bytes out, so a caller can store
 *   the file itself where it would otherwise encode the pixels again. The
 *   source is dropped for good by any call that may write the image's
 *   pixels, whether it then succeeds or not: every call below that takes
 *   it as a destination (ti_Copy, ti_Resize, ti_ResizeRect, ti_BitBlt,
 *   ti_AlphaBlend, ti_CopyRect, ti_GetQuadrangleSubPix, ti_Rotate,
 *   ti_Orientate, ti_Flip, ti_Repeat, ti_RepeatRect, ti_Fill, ti_FillRect,
 *   ti_SetZero, ti_Not, ti_Split's planes, ti_Merge, ti_LUT, ti_Threshold,
 *   ti_ConvertColor, ti_Light, ti_Saturate, ti_LightEx), and a full-size
 *   ti_GetInfo, whose row address lets the caller write. Resolution and
 *   quality are not pixels: ti_SetDpi and ti_SetJpegQuality keep it, as do
 *   saves, ti_Mean, a layout-size ti_GetInfo and reading the image as a
 *   source. Images made by a call (ti_CloneImage, ti_CreateImage...) never
 *   have one, so a copy, a turned or a cropped page is always encoded
 *   again. The bytes are the load's input as it was: a file, a memory
 *   block, or a stream from its position to its end.
 *
 * Files
 *   The format of a saved file follows the extension of its path (case
 *   ignored): .bmp, .jpg/.jpeg, .png, .gif, .tif/.tiff; any other is
 *   TI_ERR_FORMAT. Loading looks at the content, not the name. TIFF files
 *   may hold several pages; a GIF is read as its first frame; other formats
 *   have one page (a page index above 0 is TI_ERR_ARGUMENT).
 *   Paths are UTF-16 (ti_char), zero-terminated; on Linux a backslash is
 *   read as a folder separator. A save writes a new file beside the target
 *   and renames it over the target only when it is complete, so a failed
 *   save leaves an existing file as it was.
 *   What each format keeps:
 *     BMP   grey (8-bit palette) or 24-bit colour, resolution; alpha dropped
 *     JPEG  grey or YCbCr 4:2:0 colour, JFIF density; alpha dropped
 *     PNG   grey, colour or colour with alpha, resolution (pHYs)
 *     GIF   grey, or colour reduced to a 256-colour palette; no resolution
 *     TIFF  every compression below, resolution; alpha kept except in JPEG
 *           and Group 4 pages. Any layout libtiff reads is loaded (tiles,
 *           palettes, 16-bit samples, CMYK...), reduced to the pixel formats
 *           above.
 *   Loaded pixel formats: grey files (1-bit included) load as TI_GRAY8,
 *   files with alpha as TI_BGRA32 (BMP never), everything else as TI_BGR24;
 *   a BMP, PNG or GIF palette of greys loads as TI_GRAY8. BMP, PNG and GIF
 *   pictures are decoded through a second full-size copy, so for them the
 *   1 GiB limit counts 8 bytes a pixel (about 134 million pixels).
 *
 * Results
 *   Functions returning int return TI_OK (0) on success or a negative
 *   TI_ERR_* code. Functions returning a handle return NULL on failure.
 *   ti_Error() gives the result of the calling thread's most recent call
 *   (TI_OK after a success), so it also explains a NULL handle or a void
 *   call. Work this build does not do is refused with TI_ERR_NOT_SUPPORTED
 *   (or NULL, with ti_Error() == TI_ERR_NOT_SUPPORTED): in this version
 *   only ti_LoadFromDIB's compressed and bit-field layouts and bit depths
 *   other than 8, 24 and 32. No export ever reports success for work it
 *   did not do.
 *
 * Threads
 *   Every function may be called from any thread. Different images may be
 *   used by different threads at the same time; one image may be read by
 *   several threads at once (decoding a deferred image is guarded), but
 *   must not be changed by one thread while another reads it. The error
 *   mode, the error handler and the memory manager are shared by all
 *   threads; the result code is per thread.
 */
#ifndef TIMAGE_H
#define TIMAGE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define TI_API __cdecl
#if defined(TIMAGE_BUILDING)
#define TI_EXPORT __declspec(dllexport)
#else
#define TI_EXPORT
#endif
#else
#define TI_API
#define TI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t ti_char;
#else
typedef uint_least16_t ti_char;
#endif

/* ---- Codes ------------------------------------------------------------ */

enum {
    TI_OK = 0,
    TI_ERR_ARGUMENT = -1,      /* a null or out-of-range argument */
    TI_ERR_IO = -2,            /* the file could not be opened, read or written */
    TI_ERR_FORMAT = -3,        /* unknown or damaged data, or an unsupported extension */
    TI_ERR_MEMORY = -4,        /* out of memory, or an image too large */
    TI_ERR_NOT_SUPPORTED = -5, /* not implemented by this build */
    TI_ERR_MISSING = -6        /* reserved: what the component's binding returns for a missing export */
};

enum { TI_GRAY8 = 1, TI_BGR24 = 3, TI_BGRA32 = 4 };

/* TIFF Compression tag values accepted by the savers. */
enum {
    TI_COMPRESSION_NONE = 1,
    TI_COMPRESSION_CCITT_G4 = 4, /* bilevel: the image is thresholded at 128 */
    TI_COMPRESSION_LZW = 5,
    TI_COMPRESSION_JPEG = 7,
    TI_COMPRESSION_DEFLATE = 8
};

/* Interpolation modes of the resizers. */
enum { TI_INTER_NEAREST = 0, TI_INTER_LINEAR = 1, TI_INTER_CUBIC = 2, TI_INTER_AREA = 3 };

/* File formats, as ti_GetImageInfo reports them and ti_SaveToStream takes them. */
enum { TI_FORMAT_UNKNOWN = 0, TI_FORMAT_BMP = 1, TI_FORMAT_JPEG = 2, TI_FORMAT_PNG = 3, TI_FORMAT_GIF = 4, TI_FORMAT_TIFF = 5 };

/* Parameter ids of a parameter list. */
enum { TI_PARAM_COMPRESSION = 1, TI_PARAM_JPEG_QUALITY = 2 };

/* ---- Records ------------------------------------------------------------ */

typedef struct ti_image_* TI_IMAGE;
typedef struct ti_multipage_* TI_MULTIPAGE;

/* A parameter list entry: 16 bytes, the value at offset 8 (an int in
 * intValue for the ids above). */
typedef struct TI_PARAM {
    int32_t id;
    int32_t reserved;
    union {
        int32_t intValue;
        double doubleValue;
    } value;
} TI_PARAM;

typedef struct TI_RECT {
    int32_t left, top, width, height;
} TI_RECT;

/* What a file holds, read from its headers without decoding its pixels.
 * size must be set to sizeof(TI_FILE_INFO) (40) by the caller. */
typedef struct TI_FILE_INFO {
    int32_t size;
    int32_t format;      /* TI_FORMAT_* */
    int32_t width;       /* of the first page */
    int32_t height;
    int32_t pixelFormat; /* the TI_* pixel format the first page loads as */
    int32_t pageCount;   /* TIFF: its pages; every other format: 1 */
    int32_t xDpi;        /* 0 when the file gives none */
    int32_t yDpi;
    int32_t compression; /* TIFF Compression tag value of the first page, 0 for other formats */
    int32_t reserved;
} TI_FILE_INFO;

/* An image's layout. 40 bytes on 32-bit Windows (nine 32-bit words, then
 * the address of the first pixel row); on 64-bit Linux the address is a
 * pointer-sized last field after 4 bytes of padding (48 bytes). size must
 * be set by the caller: sizeof(TI_IMAGE_INFO) for everything, or
 * TI_IMAGE_INFO_LAYOUT_SIZE for everything but data (which is then left
 * as it is), without decoding a deferred image. */
typedef struct TI_IMAGE_INFO {
    int32_t size;
    int32_t pixelFormat; /* bytes per pixel: TI_GRAY8, TI_BGR24 or TI_BGRA32 */
    int32_t width;
    int32_t height;
    int32_t xDpi;
    int32_t yDpi;
    int32_t stride;      /* bytes from one row to the next in memory, positive */
    int32_t topDown;     /* 1 when the first row in memory is the top */
    int32_t jpegQuality;
    uint8_t* data;       /* first row in memory */
} TI_IMAGE_INFO;
/* info->size for ti_GetInfo without data: everything up to the row address. */
#define TI_IMAGE_INFO_LAYOUT_SIZE ((int32_t)offsetof(TI_IMAGE_INFO, data))

/* A byte stream given by the caller: kind 3 (callback stream), size 32 on
 * 32-bit Windows (sizeof on other platforms; any other kind or size is
 * TI_ERR_ARGUMENT), the caller's context, then five functions taking the
 * descriptor first. The toolkit reads from the current position until read
 * returns 0 (a negative result or more than was asked is TI_ERR_IO), and
 * writes with write alone (a short write is TI_ERR_IO); it never calls seek,
 * tell or getSize. */
typedef struct TI_STREAM TI_STREAM;
struct TI_STREAM {
    int32_t kind;
    int32_t size;
    void* context;
    int32_t(TI_API* write)(TI_STREAM* stream, const void* data, int32_t count); /* bytes written */
    int32_t(TI_API* read)(TI_STREAM* stream, void* buffer, int32_t count);      /* bytes read */
    int32_t(TI_API* seek)(TI_STREAM* stream, int32_t offset, int32_t origin);   /* origin 0 start, 1 current, 2 end; nonzero on success */
    int32_t(TI_API* tell)(TI_STREAM* stream);                                   /* position, -1 without buffer */
    int32_t(TI_API* getSize)(TI_STREAM* stream);                                /* length, -1 without buffer */
};
enum { TI_STREAM_CALLBACK = 3 };

/* Called on the failing thread with the code and an English text that
 * starts with the function's name ("ti_LoadImage: ..."). */
typedef void(TI_API* TI_ERROR_HANDLER)(int32_t code, const char* message, void* user);
typedef void*(TI_API* TI_ALLOC_FN)(size_t size);
typedef void(TI_API* TI_FREE_FN)(void* block);

/* ---- Information ------------------------------------------------------- */

/* Fills info for the file at path (page count of a TIFF included). */
TI_EXPORT int TI_API ti_GetImageInfo(const ti_char* path, TI_FILE_INFO* info);
/* The same for data read from a stream (read from its current position). */
TI_EXPORT int TI_API ti_GetImageInfoFromStream(TI_STREAM* stream, TI_FILE_INFO* info);
/* Fills info with the image's layout (see TI_IMAGE_INFO for the two sizes
 * info->size may have); info->data stays valid until the image is
 * released. A full-size call decodes a deferred image. */
TI_EXPORT int TI_API ti_GetInfo(TI_IMAGE image, TI_IMAGE_INFO* info);
/* 0..65535 each; 0 = unknown (not written to files). */
TI_EXPORT int TI_API ti_SetDpi(TI_IMAGE image, int xDpi, int yDpi);
/* quality 1..100, used by the next save that writes JPEG data. */
TI_EXPORT int TI_API ti_SetJpegQuality(TI_IMAGE image, int quality);

/* ---- Loading ----------------------------------------------------------- */

/* The first page of a file. */
TI_EXPORT TI_IMAGE TI_API ti_LoadImage(const ti_char* path);
/* Page `page` (0-based) of a file. */
TI_EXPORT TI_IMAGE TI_API ti_LoadImageEx(const ti_char* path, int page);
/* The first page of an encoded file held in memory. */
TI_EXPORT TI_IMAGE TI_API ti_LoadFromMem(const void* data, int length);
/* A copy of a Windows DIB: a BITMAPINFOHEADER (biSize 40 or more, BI_RGB,
 * 8-bit with palette, 24- or 32-bit; a negative height is top-down) and its
 * bits (NULL: the bits follow the header and the palette of biClrUsed
 * entries, 256 when 0). 8-bit loads as TI_GRAY8 when the palette is grey,
 * else TI_BGR24; 32-bit as TI_BGRA32 with the fourth byte as alpha.
 * Other layouts: TI_ERR_NOT_SUPPORTED. */
TI_EXPORT TI_IMAGE TI_API ti_LoadFromDIB(const void* header, const void* bits);
/* Page `page` of an encoded file read from a stream. */
TI_EXPORT TI_IMAGE TI_API ti_LoadFromStream(TI_STREAM* stream, int page);

/* ---- Saving ------------------------------------------------------------ */

/* Saves with the format's default compression (TIFF: LZW) and the
 * image's JPEG quality. */
TI_EXPORT int TI_API ti_SaveImage(const ti_char* path, TI_IMAGE image);
/* compression: a TI_COMPRESSION_* value for TIFF (any other value is
 * TI_ERR_ARGUMENT there; other formats ignore it); quality: 1..100 for this
 * save, -1 for the image's own; flags: 0 (anything else is
 * TI_ERR_ARGUMENT). */
TI_EXPORT int TI_API ti_SaveImage2(const ti_char* path, TI_IMAGE image, int compression, int quality, int flags);
/* Saves with a parameter list (TI_PARAM_COMPRESSION, TI_PARAM_JPEG_QUALITY
 * with intValue; an unknown id or value is TI_ERR_ARGUMENT). */
TI_EXPORT int TI_API ti_SaveImageEx(const ti_char* path, TI_IMAGE image, const TI_PARAM* params, int count);
/* Writes the image encoded as format (TI_FORMAT_*) to a stream. */
TI_EXPORT int TI_API ti_SaveToStream(TI_STREAM* stream, TI_IMAGE image, int format, const TI_PARAM* params, int count);

/* ---- Making and releasing images --------------------------------------- */

/* An independent copy (pixels, resolution, quality), top-down; a deferred
 * image gives a deferred copy. The copy has no source file
 * (ti_GetSourceJpeg). */
TI_EXPORT TI_IMAGE TI_API ti_CloneImage(TI_IMAGE image);
/* A new top-down image, every byte zero, resolution 0, quality 75. */
TI_EXPORT TI_IMAGE TI_API ti_CreateImage(int width, int height, int pixelFormat);
/* The same with a resolution. */
TI_EXPORT TI_IMAGE TI_API ti_CreateImage2(int width, int height, int pixelFormat, int xDpi, int yDpi);
/* An image over the caller's pixels, which must outlive it; nothing is
 * copied or freed. data is the first row in memory; |stride| >= width *
 * pixelFormat is the distance between rows; a negative stride marks
 * bottom-up rows (the first row in memory is the bottom of the picture, as
 * in a bottom-up DIB). */
TI_EXPORT TI_IMAGE TI_API ti_AttachImageData(int width, int height, int pixelFormat, int stride, void* data);
/* Frees *image (if any) and sets *image to NULL; a NULL address is
 * TI_ERR_ARGUMENT (in ti_Error). */
TI_EXPORT void TI_API ti_ReleaseImage(TI_IMAGE* image);

/* ---- Pixel operations: source and destination may be the same image
 *      unless said otherwise; a destination must already have the size
 *      and pixel format the operation needs. ------------------------------ */

/* Same size and format: copies the pixels. */
TI_EXPORT int TI_API ti_Copy(TI_IMAGE source, TI_IMAGE destination);
/* Scales the whole source into the whole destination (different images,
 * same format). mode:
 *   TI_INTER_NEAREST  the source pixel under each destination pixel centre;
 *   TI_INTER_LINEAR   bilinear when enlarging; when reducing, a triangle
 *                     filter widened to the scale (pixels are averaged,
 *                     not skipped);
 *   TI_INTER_CUBIC    Catmull-Rom, widened the same way when reducing;
 *   TI_INTER_AREA     each destination pixel the area average of the
 *                     source pixels it covers.
 * Pixels past the source's edges repeat the edge; results are within one
 * level of the exact filter. See "Deferred JPEG decoding" above. */
TI_EXPORT int TI_API ti_Resize(TI_IMAGE source, TI_IMAGE destination, int mode);
/* Scales a rectangle of the source into a rectangle of the destination
 * (NULL: the whole image), as ti_Resize; both rectangles must lie inside
 * their images, and destination pixels outside its rectangle are kept. */
TI_EXPORT int TI_API ti_ResizeRect(TI_IMAGE source, const TI_RECT* sourceRect, TI_IMAGE destination,
                                   const TI_RECT* destinationRect, int mode);
/* Copies a w x h block from (sx, sy) of source to (x, y) of destination
 * (same format), clipped to both; overlapping blocks of one image are
 * copied as if through a temporary. */
TI_EXPORT int TI_API ti_BitBlt(TI_IMAGE destination, int x, int y, int width, int height, TI_IMAGE source, int sx,
                               int sy);
/* Blends source over destination at (x, y), clipped, with alpha 0..255
 * (scaled by the source's own alpha when it has one); the formats may
 * differ (a grey destination takes the luminance). */
TI_EXPORT int TI_API ti_AlphaBlend(TI_IMAGE destination, int x, int y, TI_IMAGE source, int alpha);
/* Fills the destination from (left, top) of the source (same format; left
 * and top may be negative); where the source ends, the destination is
 * filled with fill (0xRRGGBB with alpha 255 for colour images, the low
 * byte for grey ones), or left as it is when fill is -1. */
TI_EXPORT int TI_API ti_CopyRect(TI_IMAGE source, TI_IMAGE destination, int left, int top, int fill);
/* For each destination pixel (x, y), samples the source (same format) at
 * (m[0]x + m[1]y + m[2], m[3]x + m[4]y + m[5]) with bilinear interpolation;
 * points outside the source take the nearest edge pixel. */
TI_EXPORT int TI_API ti_GetQuadrangleSubPix(TI_IMAGE source, TI_IMAGE destination, const double matrix[6]);
/* Rotates by any angle (degrees, counter-clockwise) about the centres of
 * both images into a destination of any size and the same format, with
 * bilinear interpolation; pixels the source does not cover get fill (as
 * ti_CopyRect; -1 leaves them). Multiples of 90 degrees into the turned
 * size give exactly what ti_Orientate gives. */
TI_EXPORT int TI_API ti_Rotate(TI_IMAGE source, TI_IMAGE destination, double angle, int fill);
/* Rotates counter-clockwise (to the left) by 90, 180 or 270 degrees into a
 * different image of the same format and the rotated size; 270 turns to
 * the right. Any other angle is TI_ERR_ARGUMENT. */
TI_EXPORT int TI_API ti_Orientate(TI_IMAGE source, TI_IMAGE destination, int angle);
/* mode 0: upside down (flip); 1: left to right (mirror); 2: both. Same
 * size and format; source and destination may be one image (in place). */
TI_EXPORT int TI_API ti_Flip(TI_IMAGE source, TI_IMAGE destination, int mode);
/* Tiles the source over the whole destination (same format), starting at
 * its top-left corner. */
TI_EXPORT int TI_API ti_Repeat(TI_IMAGE source, TI_IMAGE destination);
/* Tiles the source over a rectangle of the destination (clipped), the
 * first tile at the rectangle's top-left corner. */
TI_EXPORT int TI_API ti_RepeatRect(TI_IMAGE source, TI_IMAGE destination, const TI_RECT* rect);
/* color: 0xAARRGGBB (grey images take the luminance, 24-bit ones ignore
 * alpha). ti_FillRect clips rect to the image (NULL: the whole image). */
TI_EXPORT int TI_API ti_Fill(TI_IMAGE image, uint32_t color);
TI_EXPORT int TI_API ti_FillRect(TI_IMAGE image, const TI_RECT* rect, uint32_t color);
TI_EXPORT int TI_API ti_SetZero(TI_IMAGE image);
/* Inverts every colour byte (alpha kept). */
TI_EXPORT int TI_API ti_Not(TI_IMAGE source, TI_IMAGE destination);
/* Splits a colour image into grey planes of its size (B, G, R[, A]);
 * planes[i] may be NULL to skip one; planes[3] must be NULL for 24 bits. */
TI_EXPORT int TI_API ti_Split(TI_IMAGE source, TI_IMAGE planes[4]);
/* The reverse of ti_Split; planes[3] NULL for a 24-bit destination (for a
 * 32-bit one, NULL gives alpha 255). */
TI_EXPORT int TI_API ti_Merge(TI_IMAGE planes[4], TI_IMAGE destination);
/* Maps every colour byte through table (alpha kept); same size and
 * format. */
TI_EXPORT int TI_API ti_LUT(TI_IMAGE source, TI_IMAGE destination, const uint8_t table[256]);
/* type 0: v > threshold ? maxValue : 0; type 1: v > threshold ? 0 :
 * maxValue (maxValue 0..255). Colour sources are taken by luminance; the
 * destination is grey, of the source's size. */
TI_EXPORT int TI_API ti_Threshold(TI_IMAGE source, TI_IMAGE destination, int threshold, int maxValue, int type);
/* Converts between pixel formats: the destination's format decides (grey
 * from colour: luminance 0.299 R + 0.587 G + 0.114 B; alpha 255 when added,
 * dropped when removed). code: 0 (anything else is TI_ERR_ARGUMENT). */
TI_EXPORT int TI_API ti_ConvertColor(TI_IMAGE source, TI_IMAGE destination, int code);
/* brightness and contrast -100..100, on every colour byte v (alpha kept):
 * v' = (v - 127.5) * k + 127.5 + brightness * 2.55, where k is
 * (100 + contrast) / 100 for contrast <= 0 and 100 / (101 - contrast)
 * above; rounded and clamped to 0..255. 0, 0 changes nothing. */
TI_EXPORT int TI_API ti_Light(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast);
/* saturation -100..100: each colour channel moves away from (or, below 0,
 * towards) the pixel's luminance by (100 + saturation) / 100; -100 gives
 * grey. Grey images are copied. */
TI_EXPORT int TI_API ti_Saturate(TI_IMAGE source, TI_IMAGE destination, int saturation);
/* Mean of each channel (B, G, R, A order; grey in mean[0]). */
TI_EXPORT int TI_API ti_Mean(TI_IMAGE image, double mean[4]);
/* ti_Light followed by a gamma curve 255 * (v / 255) ^ (1 / gamma);
 * gamma 0 < gamma <= 100, 1.0 = none. */
TI_EXPORT int TI_API ti_LightEx(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast, double gamma);

/* ---- Memory and errors ------------------------------------------------- */

/* Blocks for the caller (size > 0), freed with ti_Free_. The toolkit's own
 * images do not use this allocator. */
TI_EXPORT void* TI_API ti_Alloc(int size);
TI_EXPORT void TI_API ti_Free_(void* block);
/* Replaces the allocator behind ti_Alloc/ti_Free_ (both NULL: the default;
 * only one NULL is TI_ERR_ARGUMENT). Refused (TI_ERR_ARGUMENT) while blocks
 * from the previous one are out. */
TI_EXPORT int TI_API ti_SetMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release);
/* 0 (the default): failures are only returned; 1: also sent to the error
 * handler. ti_SetErrMode returns TI_OK, or TI_ERR_ARGUMENT for another
 * mode. */
TI_EXPORT int TI_API ti_GetErrMode(void);
TI_EXPORT int TI_API ti_SetErrMode(int mode);
/* The result of the calling thread's most recent call (TI_OK after a
 * success; ti_Error and ti_GetErrMode do not change it). */
TI_EXPORT int TI_API ti_Error(void);
/* Sets the handler that receives failures in error mode 1 (NULL: none). */
TI_EXPORT int TI_API ti_RedirectError(TI_ERROR_HANDLER handler, void* user);

/* ---- Multi-page TIFF writer -------------------------------------------- */

/* Starts a multi-page TIFF file at path (created or emptied at once);
 * NULL on failure. One writer may be used from several threads; the pages
 * go in in the order the calls are made. */
TI_EXPORT TI_MULTIPAGE TI_API ti_MultiPageCreateHandle(const ti_char* path);
/* Appends every page of a file, with the parameters of
 * ti_MultiPageAddImage. */
TI_EXPORT int TI_API ti_MultiPageAddFile(TI_MULTIPAGE writer, const ti_char* path, const TI_PARAM* params, int count);
/* Appends every page of an encoded file read from a stream. */
TI_EXPORT int TI_API ti_MultiPageAddStream(TI_MULTIPAGE writer, TI_STREAM* stream, const TI_PARAM* params, int count);
/* Appends one page (TI_PARAM_COMPRESSION: a TI_COMPRESSION_* value,
 * default LZW; JPEG pages use the image's quality unless
 * TI_PARAM_JPEG_QUALITY is given). */
TI_EXPORT int TI_API ti_MultiPageAddImage(TI_MULTIPAGE writer, TI_IMAGE image, const TI_PARAM* params, int count);
/* Completes the file, frees the writer and sets *writer to NULL. A file
 * that received no page, or in which a page could not be written, is
 * deleted, so it can never be taken for a complete document; ti_Error then
 * gives TI_ERR_IO. */
TI_EXPORT void TI_API ti_MultiPageReleaseHandle(TI_MULTIPAGE* writer);

/* ---- Misc -------------------------------------------------------------- */

/* 1 when the image's first row in memory is its top row, else 0;
 * TI_ERR_ARGUMENT for no image. */
TI_EXPORT int TI_API ti_DataIsTopdown(TI_IMAGE image);
/* (major << 16) | minor. */
TI_EXPORT int TI_API ti_GetVersion(void);

/* ---- Beyond the 58 calls ------------------------------------------------
 * Not part of the interface the component binds by name (it never looks
 * for it); our own PDF library calls it. */

/* Writes the file the image was loaded from to the stream, byte for byte,
 * while the image is still that file's picture (see "The file behind a
 * JPEG image"). Returns the bytes written (> 0); 0, with ti_Error() ==
 * TI_OK and nothing written, when the image has no such file (it was not
 * loaded from a JPEG, or its pixels may have changed since); else a
 * TI_ERR_* code (a short write is TI_ERR_IO). */
TI_EXPORT int TI_API ti_GetSourceJpeg(TI_IMAGE image, TI_STREAM* stream);

#ifdef __cplusplus
}
#endif

#endif /* TIMAGE_H */

/*
 * qixipf: the PDF library the component loads at run time.
 *
 * One export, qix_CreateIF, gives out document objects. A document object
 * is reached only through the table of functions its first word points to;
 * every function takes the object first and uses the plain C calling
 * convention (cdecl; QIX_API). Images come and go as timage handles
 * (TI_IMAGE): pages are added from them and read back as them, and an
 * image handed out by the library is the caller's, released with
 * ti_ReleaseImage.
 *
 * Library file: libqixipf.so on Linux (QixIPF.dll on Windows).
 *
 * Results: functions returning int give QIX_OK (0) or a negative QIX_ERR_*
 * code unless said otherwise; the last code of an object is kept for
 * lastError. No call lets an exception out. Paths are UTF-16 (ti_char),
 * zero-terminated.
 *
 * Threads: one object is used by one thread at a time; different objects
 * may be used by different threads at once.
 *
 * Slots of the table (0-based; the index times the size of a pointer is the
 * slot's offset):
 *   0  version(doc)                 library version, (major << 16) | minor
 *   1  release(&doc)                frees the object, sets the pointer to NULL
 *   2  open(doc, path)              reads a PDF file; QIX_OK when it has a
 *                                   page tree (a damaged file is repaired
 *                                   where possible)
 *   3  create(doc)                  starts an empty document ("new")
 *   4  close(doc)                   drops the document held; QIX_OK
 *   5  addPage(doc, image, flags)   appends a page showing the image, JPEG
 *                                   encoded once at the object's quality
 *                                   (the image's own when none is set) and
 *                                   embedded as it is (DCTDecode), or the
 *                                   JPEG file behind the image itself (see
 *                                   "Pages from JPEG files" below); the
 *                                   page is the image's size at its
 *                                   resolution (72 dpi when unknown), in
 *                                   both cases; flags: 0
 *   6  lastError(doc)               code of the object's last failure
 *   7  reserved                     QIX_ERR_NOT_SUPPORTED
 *   8  setJpegQuality(doc, q)       quality 1..100 of the pages added after;
 *                                   other values: QIX_ERR_ARGUMENT
 *   9  jpegQuality(doc)             the quality set, -1 when none is
 *  10  save(doc, path, flags)       writes the document; flags: 0. The
 *                                   file is made beside path under a
 *                                   temporary name, flushed to the disk
 *                                   and renamed over it when complete: a
 *                                   failed save (QIX_ERR_IO for a full
 *                                   disk) leaves an existing file as it
 *                                   was and nothing else behind; a link
 *                                   at path is replaced, not followed
 *  11  pageCount(doc)               number of pages (>= 0), or an error code
 *  12  reserved                     QIX_ERR_NOT_SUPPORTED
 *  13  pageImage(doc, i, &status)   the image of page i (0-based): the
 *                                   page's own picture when the page shows
 *                                   exactly one image, else the page
 *                                   rendered at QIX_RENDER_DPI over white;
 *                                   NULL on failure; status (may be NULL)
 *                                   receives QIX_OK or the error code
 *  14  writePage(doc, i, stream)    writes page i as an encoded image file
 *                                   to the stream (a one-image JPEG page
 *                                   byte for byte, any other page as PNG);
 *                                   returns the bytes written (> 0) or an
 *                                   error code
 *
 * Pages from JPEG files
 *   Encoding a page again costs more than everything else addPage does,
 *   and loses a little of the picture each time. So when the image is a
 *   JPEG the toolkit loaded and whose pixels nothing has written since
 *   (ti_GetSourceJpeg gives its file: no edit, no copy, no full-size
 *   ti_GetInfo), the page holds that file, through its EOI, byte for byte,
 *   provided encoding it again could not give the caller anything the file
 *   does not already have:
 *   - the quality asked for (the object's, else the image's) is the file's:
 *     every component's quantisation table is exactly what our encoder
 *     writes at that quality (the JPEG standard's example tables, scaled
 *     the IJG way; luminance for the first component, chrominance for the
 *     others). Any other file, whatever its quality, is encoded again at
 *     the one asked for, as before;
 *   - the file is one 8-bit frame, Huffman-coded baseline, extended or
 *     progressive, with every scan complete up to an EOI and no tables
 *     redefined once the scans have begun; arithmetic-coded, 12-bit,
 *     lossless, hierarchical or cut files are encoded again;
 *   - it is grey, or YCbCr as both our decoder and a PDF reader see it: an
 *     Adobe marker must say transform 1, and without one the components
 *     must not be the 'R', 'G', 'B' of an untransformed file. CMYK and
 *     YCCK files, RGB files and three components that the two would read
 *     differently are encoded again (as RGB, which is how the toolkit
 *     gives them).
 *   Size and resolution come from the image in both cases, so the page is
 *   the same; the stored file keeps its own markers (Exif, ICC, JFIF
 *   density), which a PDF reader ignores, and its own chroma sampling and
 *   Huffman tables. Its coded data is walked, not decoded: a file damaged
 *   inside its scans goes into the page as it is, where encoding its
 *   decode would have stored whatever the decoder made of it.
 */
#ifndef QIXIPF_H
#define QIXIPF_H

#include "../timage/timage.h"

#if defined(_WIN32)
#define QIX_API __cdecl
#if defined(QIXIPF_BUILDING)
#define QIX_EXPORT __declspec(dllexport)
#else
#define QIX_EXPORT
#endif
#else
#define QIX_API
#define QIX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    QIX_OK = 0,
    QIX_ERR_ARGUMENT = -1,      /* a null or out-of-range argument */
    QIX_ERR_IO = -2,            /* the file could not be read or written */
    QIX_ERR_FORMAT = -3,        /* not a PDF, or damaged beyond repair */
    QIX_ERR_MEMORY = -4,        /* out of memory, or a page too large */
    QIX_ERR_NOT_SUPPORTED = -5, /* not implemented */
    QIX_ERR_NO_DOCUMENT = -7,   /* no document was opened or created */
    QIX_ERR_TOOLKIT = -8        /* the image toolkit failed */
};

/* The interface revision qix_CreateIF hands out: the table below. */
enum { QIX_INTERFACE_REVISION = 64 };

/* Resolution of rendered pages, dots per inch. */
enum { QIX_RENDER_DPI = 200 };

typedef struct QIX_DOCUMENT QIX_DOCUMENT;

typedef struct QIX_FUNCTIONS {
    int(QIX_API* version)(QIX_DOCUMENT* doc);
    void(QIX_API* release)(QIX_DOCUMENT** doc);
    int(QIX_API* open)(QIX_DOCUMENT* doc, const ti_char* path);
    int(QIX_API* create)(QIX_DOCUMENT* doc);
    int(QIX_API* close)(QIX_DOCUMENT* doc);
    int(QIX_API* addPage)(QIX_DOCUMENT* doc, TI_IMAGE image, int flags);
    int(QIX_API* lastError)(QIX_DOCUMENT* doc);
    int(QIX_API* reserved7)(QIX_DOCUMENT* doc);
    int(QIX_API* setJpegQuality)(QIX_DOCUMENT* doc, int quality);
    int(QIX_API* jpegQuality)(QIX_DOCUMENT* doc);
    int(QIX_API* save)(QIX_DOCUMENT* doc, const ti_char* path, int flags);
    int(QIX_API* pageCount)(QIX_DOCUMENT* doc);
    int(QIX_API* reserved12)(QIX_DOCUMENT* doc);
    TI_IMAGE(QIX_API* pageImage)(QIX_DOCUMENT* doc, int index, int* status);
    int(QIX_API* writePage)(QIX_DOCUMENT* doc, int index, TI_STREAM* stream);
} QIX_FUNCTIONS;

/* The object's first word; the rest is the library's own. */
struct QIX_DOCUMENT {
    const QIX_FUNCTIONS* functions;
};

/* A new document object, or NULL: revision must be QIX_INTERFACE_REVISION
 * and flags 0. The object holds no document until open or create. */
QIX_EXPORT QIX_DOCUMENT* QIX_API qix_CreateIF(int revision, int flags);

#ifdef __cplusplus
}
#endif

#endif /* QIXIPF_H */

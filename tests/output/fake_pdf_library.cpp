// A stand-in for the PDF library: qix_CreateIF gives objects whose every
// slot answers with a value that names the slot and echoes its arguments,
// which shows that the binding calls the right slot with the right values.
#define QIXIPF_BUILDING
#include <new>

#include "libs/qixipf/qixipf.h"

struct ti_image_ {
    int width;
};

namespace {

int g_released = 0;

struct FakeDocument : QIX_DOCUMENT {
    int quality = -1;
};

int QIX_API fakeVersion(QIX_DOCUMENT*) { return 0x10000; }
void QIX_API fakeRelease(QIX_DOCUMENT** doc) {
    if (!doc || !*doc) return;
    delete static_cast<FakeDocument*>(*doc);
    *doc = nullptr;
    ++g_released;
}
int QIX_API fakeOpen(QIX_DOCUMENT*, const ti_char* path) { return path && path[0] == u'x' ? 0 : 200; }
int QIX_API fakeCreate(QIX_DOCUMENT*) { return 300; }
int QIX_API fakeClose(QIX_DOCUMENT*) { return 400; }
int QIX_API fakeAddPage(QIX_DOCUMENT*, TI_IMAGE image, int flags) { return 500 + (image ? image->width : 0) + flags; }
int QIX_API fakeLastError(QIX_DOCUMENT*) { return 600; }
int QIX_API fakeReserved(QIX_DOCUMENT*) { return QIX_ERR_NOT_SUPPORTED; }
int QIX_API fakeSetJpegQuality(QIX_DOCUMENT* doc, int quality) {
    static_cast<FakeDocument*>(doc)->quality = quality;
    return 800;
}
int QIX_API fakeJpegQuality(QIX_DOCUMENT* doc) { return static_cast<FakeDocument*>(doc)->quality; }
int QIX_API fakeSave(QIX_DOCUMENT*, const ti_char* path, int flags) {
    return 1000 + (path && path[0] == u'y' ? 1 : 0) + flags;
}
int QIX_API fakePageCount(QIX_DOCUMENT*) { return 1100; }
TI_IMAGE QIX_API fakePageImage(QIX_DOCUMENT*, int index, int* status) {
    if (status) *status = 1300 + index;
    return nullptr;
}
int QIX_API fakeWritePage(QIX_DOCUMENT*, int index, TI_STREAM* stream) {
    return 1400 + index + (stream ? stream->kind : 0);
}

// In slot order.
const QIX_FUNCTIONS kTable = {
    fakeVersion,  fakeRelease,        fakeOpen,        fakeCreate, fakeClose,     fakeAddPage,   fakeLastError,
    fakeReserved, fakeSetJpegQuality, fakeJpegQuality, fakeSave,   fakePageCount, fakeReserved, fakePageImage,
    fakeWritePage,
};

}  // namespace

extern "C" {

// Only the arguments every use of the PDF library passes are accepted.
QIX_EXPORT QIX_DOCUMENT* QIX_API qix_CreateIF(int revision, int flags) {
    if (revision != 64 || flags != 0) return nullptr;
    auto* doc = new (std::nothrow) FakeDocument;
    if (doc) doc->functions = &kTable;
    return doc;
}

// How many objects were released; the tests read it through their own load.
QIX_EXPORT int QIX_API fake_ReleasedCount(void) { return g_released; }

}  // extern "C"

// The viewer's edits of a one-page JPEG document, done on the file's
// compressed data where that is lossless (jpeg_lossless.h).
//
// What is lossless when:
// - rotate, flip and mirror: always, counted from the file as it was
//   before the page's first edit (JpegOrigin). A turn that would move a
//   partial block (a page whose width or height is no multiple of 8 or
//   16 pixels) to the left or top edge is not possible on the compressed
//   data; the page is never trimmed for it (the user keeps every pixel),
//   it is encoded once from the first file's picture at that file's own
//   quality. A page turned back to how it first lay is the first file
//   again, byte for byte, whatever turns came between.
// - crop: lossless when the rectangle's left and top edges lie on the
//   block grid; otherwise the cut picture is encoded once at the file's
//   own quality. A crop starts a new origin.
// - undo: the file as it was before the edit, byte for byte.
//
// Thread safety: the viewer's window thread, under the viewer's lock.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "viewer/jpeg_lossless.h"

class CImageViewObj;
struct ViewerDocument;

namespace jpeg_edit {

enum class Outcome {
    Written,  // the file holds the edited page; the page shows it
    Failed,   // nothing written: the file and the page are as they were
    NotJpeg,  // the file's data cannot be edited here: use the pixel path
};

// What an undo of the last lossless edit puts back.
struct Undo {
    std::shared_ptr<const std::string> file;  // the file's bytes before the edit
    JpegOrigin origin;                        // the page's origin before it
    explicit operator bool() const { return file != nullptr; }
};

// Whether edits of this document go through here: a one-page .jpg/.jpeg
// document on a platform with the lossless transform.
bool appliesTo(const ViewerDocument& document);

// The size and block grid of the page's file as it is now.
std::optional<jpeg_lossless::Layout> layoutOf(const CImageViewObj& page);

// turn: how the page is to turn from how it lies now. On Written, undo is
// what takes the edit back.
Outcome turnPage(CImageViewObj& page, jpeg_lossless::Turn turn, Undo& undo);
// The rectangle in the page's pixels as it lies now.
Outcome cropPage(CImageViewObj& page, int left, int top, int width, int height, Undo& undo);
// Puts the file and the page back as undo holds them.
bool restorePage(CImageViewObj& page, const Undo& undo);

}  // namespace jpeg_edit

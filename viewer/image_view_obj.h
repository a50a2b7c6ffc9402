// CImageViewObj: one page of a document shown by the viewer.
//
// A page keeps up to three images of itself: the display image (the page
// fitted into the viewer's box, made when the page is opened), the middle
// zoom image (made from the full image on first need) and the full-size
// image (loaded from the file on first need, and the one every edit
// changes). PDF pages are read through the PDF library given at open.
//
// Thread safety: one thread at a time.
#pragma once

#include <string>
#include <string_view>

#include "output/multi_pdf.h"
#include "viewer/jpeg_lossless.h"
#include "viewer/scoped_image.h"

// The box every display image is fitted into.
inline constexpr int kDisplayBoxWidth = 657;
inline constexpr int kDisplayBoxHeight = 792;

enum ZoomLevel : int { kZoomFit = 0, kZoomMiddle = 1, kZoomActual = 2 };

class CImageViewObj {
public:
    explicit CImageViewObj(const CMultiPDF* pdf = nullptr) : pdf_(pdf) {}
    virtual ~CImageViewObj() = default;
    CImageViewObj(const CImageViewObj&) = delete;
    CImageViewObj& operator=(const CImageViewObj&) = delete;

    // Releases every image, loads page `index` of the file and fits it into
    // boxWidth x boxHeight. False when no display image could be made.
    bool Open(std::u16string_view path, int boxWidth, int boxHeight, int index);

    // The image for a zoom level, made or loaded on first need; null when
    // it cannot be had.
    TI_IMAGE ImageAt(int level);
    // The full-size image, loaded on first need.
    TI_IMAGE FullImage();
    bool HasFullImage() const { return static_cast<bool>(full_); }
    // Puts image in place of the full image and returns the one it held
    // (loaded first if needed, so an undo gets the page as it was).
    ScopedImage ReplaceFullImage(ScopedImage image);
    void ReleaseFullImage() { full_.reset(); }

    // After an edit: the display and middle images are made again from the
    // full image (or from the file when there is none).
    bool RebuildDisplay();

    TI_IMAGE DisplayImage() const { return display_.get(); }
    const TI_IMAGE_INFO& Info() const { return info_; }
    double Scale() const { return scale_; }
    const std::u16string& Path() const { return path_; }
    int Index() const { return index_; }
    void SetIndex(int index) { index_ = index; }

    // Where the page's lossless JPEG edits start from (jpeg_page_edit.h).
    const JpegOrigin& LosslessOrigin() const { return origin_; }
    void SetLosslessOrigin(JpegOrigin origin) { origin_ = std::move(origin); }

private:
    // The page's picture at full size straight from the file.
    ScopedImage LoadFromFile(std::u16string_view path, int index) const;
    ScopedImage LoadPdfPage(std::u16string_view path, int index) const;
    // Makes image the display image, shrunk into the box when larger.
    bool Fit(ScopedImage image, bool keepSource, int boxWidth, int boxHeight);
    void ReleaseImages();

    const CMultiPDF* pdf_;
    std::u16string path_;
    ScopedImage display_;
    ScopedImage middle_;
    ScopedImage full_;
    TI_IMAGE_INFO info_{};
    double scale_ = 1.0;
    int index_ = 0;
    JpegOrigin origin_;
};


// CMultiPDF: the PDF library (QixIPF), loaded from the component's folder
// the first time a PDF is read or written and kept until the module is
// unloaded.
//
// Each use asks the library for a document object (qix_CreateIF(64, 0))
// and reaches it through the object's table of functions. A missing
// library or export gives a null object: the caller then skips its PDF
// step. Document releases its object whatever the outcome.
//
// Thread safety: instance() may be called from any thread; a Document is
// used by one thread at a time.
#pragma once

#include <string>
#include <string_view>

#include "libs/qixipf/qixipf.h"
#include "platform/dynamic_library.h"

class CMultiPDF {
public:
    // One object of the library, released (slot 1) when this goes away.
    class Document {
    public:
        Document() = default;
        explicit Document(QIX_DOCUMENT* object) : object_(object) {}
        ~Document() { reset(); }
        Document(Document&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
        Document& operator=(Document&& other) noexcept;
        Document(const Document&) = delete;
        Document& operator=(const Document&) = delete;

        explicit operator bool() const { return object_ != nullptr; }
        QIX_DOCUMENT* get() const { return object_; }
        void reset();

        // The library's calls. A null object or an empty slot gives
        // kMissing (or a null image) and does nothing.
        int open(const char16_t* path);                         // slot 2; 0 = opened
        int create();                                           // slot 3 ("new"); 0 = empty document
        int addPage(TI_IMAGE image);                            // slot 5, with 0
        int setJpegQuality(int quality);                        // slot 8
        int save(const char16_t* path);                         // slot 10, with 0; 0 = written
        int pageCount();                                        // slot 11
        TI_IMAGE pageImage(int index, int* status = nullptr);  // slot 13
        int writePage(int index, TI_STREAM* stream);            // slot 14; bytes written, > 0 on success

        static constexpr int kMissing = -6;

    private:
        const QIX_FUNCTIONS* table() const { return object_ ? object_->functions : nullptr; }

        QIX_DOCUMENT* object_ = nullptr;
    };

    // The process's instance, made on first use from the folder of the
    // module that holds this code.
    static CMultiPDF& instance();

    // Loads the library from folder (which should end with a separator;
    // one is added when it does not). An empty folder loads nothing: a
    // bare name would be looked for along the system's search path.
    explicit CMultiPDF(std::u16string_view folder);
    CMultiPDF(const CMultiPDF&) = delete;
    CMultiPDF& operator=(const CMultiPDF&) = delete;

    bool available() const { return createIF_ != nullptr; }

    // A new document object: qix_CreateIF(64, 0). Null when the library or
    // its export is missing, or the library refuses.
    Document CreateIF() const;

    // The library's path for a folder: "%sQixIPF.dll" (Linux: libqixipf.so).
    static std::u16string libraryPath(std::u16string_view folder);

private:
    platform::DynamicLibrary library_;
    decltype(&::qix_CreateIF) createIF_ = nullptr;
};

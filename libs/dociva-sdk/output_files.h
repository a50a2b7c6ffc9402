// The files of one scan run: names from the file-name pattern, every
// listed format per side, and the multi-page files of the batch.
//
// Names: the pattern expands per side (CFileNameGenerate), its
// %BARCODE_NUMBER% the value of the side's barcode made safe for a name
// ("Not_Found" when the side has none); its counter
// continues after the highest number already in the folder among names
// that agree with this side's name outside the counter. Characters no file
// name may hold become '_', so a pattern can never leave the folder. A name
// already taken on disk or in this run gets "_2", "_3"... before its
// extension, so nothing is ever overwritten (TIFF, Group 4 TIFF and
// multi-page TIFF all end in .tif).
//
// Every file is complete or absent: the toolkit and the PDF library save
// through a temporary file beside the file (platform/file_writer.h), and
// the multi-page TIFF is built under a temporary name of ours and moved
// into place only when complete. A full disk fails the run (status 12,
// code 2) with no file of the run and no temporary file left: discard()
// removes everything the run wrote. prepare() removes the temporary files
// that runs killed while they wrote left in the folder.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "image_owner.h"
#include "output/file_name_generate.h"
#include "scan_options.h"

namespace dociva_sdk {

struct WrittenFile {
    std::u16string path;
    int formatCode = 0;
    std::size_t sideNumber = 0;  // 0 for a multi-page file
    bool back = false;
};

// Error codes reported with status 12.
enum ScanErrorCode : int {
    kErrorOutputFolder = 1,  // the output folder cannot be created or written
    kErrorWriteFile = 2,     // a file could not be written
    kErrorReadPage = 3,      // an input page could not be read or processed
    kErrorNoFormat = 4,      // no output format the SDK writes
    kErrorPdfLibrary = 5,    // the PDF library refused a document
    kErrorInternal = 9,      // the run failed for a reason of its own (the device codes 6..8 are in scan_device.h)
};

class OutputFiles {
public:
    OutputFiles(const ScanOptions& options);
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Creates the output folder (every missing level) and checks that a
    // file can be made in it; finds where the counter continues.
    bool prepare();
    // Writes every single-page format of one processed side and adds it to
    // the multi-page files.
    bool writeSide(TI_IMAGE page, std::size_t sideNumber, bool back);
    // Completes the multi-page files.
    bool finish();
    // Deletes every file of this run, complete or not.
    void discard();

    const std::vector<WrittenFile>& files() const { return files_; }
    int errorCode() const { return error_; }

    // The next number for a counter place: one more than the highest in
    // names that are prefix + digits + suffix (then anything); 1 when none.
    static int nextCounter(const std::vector<std::u16string>& names, std::u16string_view prefix,
                           std::u16string_view suffix);
    // Replaces characters no file name may hold.
    static std::u16string safeName(std::u16string_view name);

private:
    struct MultiTiff;
    struct MultiPdf;

    std::u16string nextBaseName(const std::u16string& barcode);
    std::u16string claim(const std::u16string& base, std::u16string_view extension);
    bool writeSingle(TI_IMAGE page, int format, const std::u16string& base, std::size_t side, bool back);
    bool fail(int code);

    ScanOptions options_;
    CFileNameGenerate names_;
    int counter_ = 1;
    bool counterReady_ = false;
    std::u16string firstBase_;
    std::set<std::u16string> claimed_;
    std::vector<WrittenFile> files_;
    std::vector<std::u16string> temporaries_;
    std::unique_ptr<MultiTiff> multiTiff_;
    std::unique_ptr<MultiPdf> multiPdf_;
    int error_ = 0;
};

}  // namespace dociva_sdk

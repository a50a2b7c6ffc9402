// AddImageRequest: brings one file that the scanner SDK has written into
// the viewer, on the request pool's worker thread.
//
// The request holds its own copy of the SDK's record (the SDK's buffer is
// gone once its callback returns) together with the control that posted
// it; the control is not owned and must outlive the pool.
//
// Thread safety: made on the SDK's thread, run on the pool's worker;
// Cancel may come from any thread.
#pragma once

#include <cstdint>
#include <memory>

#include "scanner/dociva_sdk.h"
#include "threadpool/abstract_request.h"
#include "threadpool/thread_pool.h"

// What the control offers the request.
class ScannedImageTarget {
public:
    // Shows the file in the viewer and reports the new button states to
    // the page, waiting until the window thread has done so.
    virtual void addScannedImage(ImageReadyRecord record) = 0;

    virtual ~ScannedImageTarget() = default;
};

// The request's copy: the control, one word, then the SDK's record.
struct ImageRequestData {
    ScannedImageTarget* control = nullptr;
    std::uint32_t reserved = 0;
    ImageReadyRecord record{};
};
static_assert(sizeof(void*) != 4 || sizeof(ImageRequestData) == 4144);

class AddImageRequest : public TP::AbstractRequest {
public:
    AddImageRequest(ScannedImageTarget* control, std::unique_ptr<ImageRequestData> data);

    // 1 when cancelled or incomplete (nothing is shown), else 0 whether the
    // file could be shown or not.
    int Execute() override;

    // The copy posted for a record: the path cut at 1000 characters, the
    // format code and the SDK's own values; the text area stays zero.
    static std::unique_ptr<ImageRequestData> CopyRecord(ScannedImageTarget* control, const ImageReadyRecord& record);

    // Posts a request for record to pool. False (and nothing is left
    // behind) when record is null or the pool does not take it.
    static bool Post(TP::ThreadPool& pool, ScannedImageTarget* control, const ImageReadyRecord* record);

private:
    ScannedImageTarget* control_;
    std::unique_ptr<ImageRequestData> data_;
};

#include "control/add_image_request.h"

#include <cstring>
#include <string_view>

#include "platform/text.h"

AddImageRequest::AddImageRequest(ScannedImageTarget* control, std::unique_ptr<ImageRequestData> data)
    : control_(control), data_(std::move(data)) {}

std::unique_ptr<ImageRequestData> AddImageRequest::CopyRecord(ScannedImageTarget* control,
                                                              const ImageReadyRecord& record) {
    auto data = std::make_unique<ImageRequestData>();
    data->control = control;
    // The SDK's field need not be terminated within its length.
    std::size_t length = 0;
    while (length < kImageReadyPathCopyUnits && record.filePath[length] != 0) ++length;
    std::memcpy(data->record.filePath, record.filePath, length * sizeof(char16_t));
    data->record.filePath[length] = 0;
    data->record.formatCode = record.formatCode;
    data->record.extraByte = record.extraByte;
    std::memcpy(data->record.extraBytes, record.extraBytes, sizeof(record.extraBytes));
    return data;
}

bool AddImageRequest::Post(TP::ThreadPool& pool, ScannedImageTarget* control, const ImageReadyRecord* record) {
    if (!record) return false;
    std::unique_ptr<TP::AbstractRequest> request =
        std::make_unique<AddImageRequest>(control, CopyRecord(control, *record));
    return pool.PostRequest(std::move(request));
}

int AddImageRequest::Execute() {
    if (IsCancelled() || !control_ || !data_) return 1;
    control_->addScannedImage(data_->record);
    return 0;
}

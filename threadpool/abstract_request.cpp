#include "threadpool/abstract_request.h"

#include <mutex>

namespace TP {

AbstractRequest::~AbstractRequest() = default;

bool AbstractRequest::IsCancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_ != 0;
}

void AbstractRequest::Cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = 1;
}

}  // namespace TP

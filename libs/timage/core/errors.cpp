#include "libs/timage/core/errors.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace timage {
namespace {

thread_local int tLastCode = TI_OK;

std::atomic<int> gMode{0};

struct Handler {
    TI_ERROR_HANDLER function = nullptr;
    void* user = nullptr;
};

std::mutex& handlerLock() {
    static std::mutex m;
    return m;
}

Handler& handlerSlot() {
    static Handler h;
    return h;
}

}  // namespace

int threadError() { return tLastCode; }
void setThreadError(int code) { tLastCode = code; }

int errorMode() { return gMode.load(std::memory_order_relaxed); }

bool setErrorMode(int mode) {
    if (mode != 0 && mode != 1) return false;
    gMode.store(mode, std::memory_order_relaxed);
    return true;
}

void setErrorHandler(TI_ERROR_HANDLER handler, void* user) {
    std::lock_guard<std::mutex> lock(handlerLock());
    handlerSlot() = Handler{handler, user};
}

const char* describe(int code) {
    switch (code) {
    case TI_OK: return "no error";
    case TI_ERR_ARGUMENT: return "a null or out-of-range argument";
    case TI_ERR_IO: return "the file could not be opened, read or written";
    case TI_ERR_FORMAT: return "unknown or damaged data, or an unsupported extension";
    case TI_ERR_MEMORY: return "out of memory, or an image too large";
    case TI_ERR_NOT_SUPPORTED: return "not implemented by this build";
    default: return "unknown error";
    }
}

int finish(const char* function, int code) {
    tLastCode = code;
    if (code == TI_OK || errorMode() != 1) return code;
    Handler h;
    {
        std::lock_guard<std::mutex> lock(handlerLock());
        h = handlerSlot();
    }
    // The handler runs outside the lock, so it may call back into the toolkit.
    if (h.function) {
        char message[160];
        std::snprintf(message, sizeof message, "%s: %s", function, describe(code));
        h.function(code, message, h.user);
    }
    return code;
}

}  // namespace timage

#include "libs/timage/core/memory.h"

#include <cstdlib>
#include <mutex>

namespace timage {
namespace {

void* TI_API defaultAlloc(size_t size) { return std::malloc(size); }
void TI_API defaultFree(void* block) { std::free(block); }

struct Manager {
    std::mutex lock;
    TI_ALLOC_FN alloc = defaultAlloc;
    TI_FREE_FN release = defaultFree;
    long long outstanding = 0;
};

Manager& manager() {
    static Manager m;
    return m;
}

}  // namespace

void* allocateBlock(int size) {
    if (size <= 0) return nullptr;
    Manager& m = manager();
    std::lock_guard<std::mutex> lock(m.lock);
    void* block = m.alloc(static_cast<size_t>(size));
    if (block) ++m.outstanding;
    return block;
}

void freeBlock(void* block) {
    if (!block) return;
    Manager& m = manager();
    std::lock_guard<std::mutex> lock(m.lock);
    m.release(block);
    if (m.outstanding > 0) --m.outstanding;
}

int setMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release) {
    if ((alloc == nullptr) != (release == nullptr)) return TI_ERR_ARGUMENT;
    Manager& m = manager();
    std::lock_guard<std::mutex> lock(m.lock);
    // A block must go back to the allocator it came from.
    if (m.outstanding != 0) return TI_ERR_ARGUMENT;
    m.alloc = alloc ? alloc : defaultAlloc;
    m.release = release ? release : defaultFree;
    return TI_OK;
}

}  // namespace timage

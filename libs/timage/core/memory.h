// The blocks ti_Alloc hands to callers, from an allocator the caller may
// replace while none are out.
//
// Thread safety: any thread.
#pragma once

#include "libs/timage/timage.h"

namespace timage {

void* allocateBlock(int size);
void freeBlock(void* block);
int setMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release);

}  // namespace timage

#include "platform/library_name.h"

namespace platform {

std::u16string sharedLibraryFileName(std::u16string_view baseName) { return std::u16string(baseName) + u".dll"; }

}  // namespace platform

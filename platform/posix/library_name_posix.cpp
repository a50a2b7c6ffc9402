#include "platform/library_name.h"

#include "platform/text.h"

namespace platform {

std::u16string sharedLibraryFileName(std::u16string_view baseName) {
    std::u16string name = u"lib";
    for (const char16_t c : baseName) name += text::asciiLower(c);
    return name + u".so";
}

}  // namespace platform

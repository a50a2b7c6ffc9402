#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/text.h"

#include <cerrno>

#include "platform/system.h"

namespace platform {

char16_t nativeSeparator() { return u'/'; }

// Linux has no drives: an absolute path is the equivalent of one that
// starts with a drive letter.
bool hasDrive(std::u16string_view path) { return !path.empty() && isPathSeparator(path[0]); }

namespace posix {

std::string toNativePath(std::u16string_view path) {
    std::u16string p(path);
    for (auto& c : p)
        if (c == u'\\') c = u'/';
    return text::toUtf8(p);
}

std::u16string fromNativePath(std::string_view path) { return text::fromUtf8(path); }

void rememberErrno() { setLastError(static_cast<std::uint32_t>(errno)); }

}  // namespace posix
}  // namespace platform

#include "platform/path.h"

namespace platform {

char16_t nativeSeparator() { return u'\\'; }

bool hasDrive(std::u16string_view path) {
    if (path.size() >= 2 && path[1] == u':' &&
        ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')))
        return true;
    // A UNC name (\\server\share) is as absolute as a drive letter; taking
    // it relative to the module folder would name a path that cannot exist.
    return path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
}

}  // namespace platform

#include "platform/path.h"

namespace platform {

std::u16string folderOf(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (isPathSeparator(path[i - 1])) return std::u16string(path.substr(0, i));
    return {};
}

std::u16string fileNameOf(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (isPathSeparator(path[i - 1])) return std::u16string(path.substr(i));
    return std::u16string(path);
}

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    if (!out.empty() && !isPathSeparator(out.back())) out += nativeSeparator();
    out += name;
    return out;
}

}  // namespace platform

#include "platform/path.h"

#include <vector>

#include "platform/text.h"

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

std::u16string extensionOf(std::u16string_view path) {
    const std::u16string name = fileNameOf(path);
    const auto dot = name.rfind(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

bool isPdfPath(std::u16string_view path) { return text::equalsIgnoreAsciiCase(extensionOf(path), u".pdf"); }

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    if (!out.empty() && !isPathSeparator(out.back())) out += nativeSeparator();
    out += name;
    return out;
}

std::u16string lexicallyNormal(std::u16string_view path) {
    const char16_t sep = nativeSeparator();
    std::u16string root;
    std::size_t i = 0;
    if (path.size() >= 2 && path[1] == u':') {
        root = path.substr(0, 2);
        i = 2;
    }
    const std::size_t leading = [&] {
        std::size_t n = 0;
        while (i + n < path.size() && isPathSeparator(path[i + n])) ++n;
        return n;
    }();
    if (leading > 0) root += (root.empty() && leading >= 2) ? std::u16string(2, sep) : std::u16string(1, sep);
    i += leading;
    std::vector<std::u16string_view> parts;
    while (i < path.size()) {
        std::size_t end = i;
        while (end < path.size() && !isPathSeparator(path[end])) ++end;
        const std::u16string_view part = path.substr(i, end - i);
        if (part == u"..") {
            if (!parts.empty() && parts.back() != u"..") {
                parts.pop_back();
            } else if (root.empty()) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        i = end;
        while (i < path.size() && isPathSeparator(path[i])) ++i;
    }
    std::u16string out = root;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) out += sep;
        out += parts[k];
    }
    return out;
}

}  // namespace platform

// The per-user registry as a folder tree (see platform/registry.h for the
// layout). Names are matched exactly first and then ignoring ASCII case, so
// a tree written by hand on a case-sensitive file system reads as Windows
// would read the registry.
#include "platform/registry.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace platform {

struct RegistryKey::Impl {
    std::u16string folder;
};

namespace {

constexpr std::u16string_view kValuesFile = u"values";
constexpr std::uint64_t kMaxValuesBytes = 1u << 20;

std::u16string registryHive() {
    std::u16string root = environmentVariable(u"DOCIVA_REGISTRY");
    if (root.empty()) {
        std::u16string config = environmentVariable(u"XDG_CONFIG_HOME");
        if (config.empty()) config = joinPath(environmentVariable(u"HOME"), u".config");
        root = joinPath(joinPath(config, u"dociva"), u"registry");
    }
    return joinPath(root, u"HKEY_CURRENT_USER");
}

fs::path nativePath(std::u16string_view path) { return fs::path(posix::toNativePath(path)); }

// The parts of a key path. Empty parts (doubled or outer backslashes) are
// skipped; a part that a folder cannot stand for, or that would leave the
// tree, makes the whole path invalid.
bool splitKeyPath(std::u16string_view path, std::vector<std::u16string>& parts) {
    parts.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        const std::u16string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (part == u"." || part == u".." || part.find(u'/') != std::u16string_view::npos ||
                part.find(u'\0') != std::u16string_view::npos || text::equalsIgnoreAsciiCase(part, kValuesFile))
                return false;
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return true;
}

bool lessIgnoringCase(const std::u16string& a, const std::u16string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = text::asciiLower(a[i]);
        const char16_t y = text::asciiLower(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::vector<std::u16string> subfolders(const std::u16string& folder) {
    std::vector<std::u16string> names;
    for (auto& e : findFiles(joinPath(folder, u"*"))) {
        if (!e.isDirectory || e.name == u"." || e.name == u"..") continue;
        names.push_back(std::move(e.name));
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// The child folder named name: the exact name when it exists, else the
// first whose name differs only in case.
bool resolveChild(const std::u16string& folder, const std::u16string& name, std::u16string& child) {
    const std::u16string exact = joinPath(folder, name);
    if (isDirectory(exact)) {
        child = exact;
        return true;
    }
    for (const auto& candidate : subfolders(folder)) {
        if (text::equalsIgnoreAsciiCase(candidate, name)) {
            child = joinPath(folder, candidate);
            return true;
        }
    }
    return false;
}

bool resolve(const std::u16string& base, std::u16string_view path, std::u16string& folder) {
    std::vector<std::u16string> parts;
    if (!splitKeyPath(path, parts) || !isDirectory(base)) return false;
    folder = base;
    for (const auto& part : parts) {
        if (!resolveChild(folder, part, folder)) return false;
    }
    return true;
}

using Values = std::vector<std::pair<std::u16string, std::u16string>>;

// Every "name=value" line in file order; lines without '=' are ignored.
Values readValues(const std::u16string& folder) {
    Values values;
    std::string bytes;
    if (!readFile(joinPath(folder, kValuesFile), bytes, kMaxValuesBytes)) return values;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && eq > 0)
            values.emplace_back(text::fromUtf8(line.substr(0, eq)), text::fromUtf8(line.substr(eq + 1)));
        start = end + 1;
    }
    return values;
}

bool writeValues(const std::u16string& folder, const Values& values) {
    std::string bytes;
    for (const auto& [name, value] : values) bytes += text::toUtf8(name) + "=" + text::toUtf8(value) + "\n";
    // Replaced whole (a temporary file of ours beside it, flushed and
    // renamed), never written through a link.
    return writeFile(joinPath(folder, kValuesFile), bytes);
}

// Opens keyPath, creating every missing part (and the tree's root).
bool createKeyFolder(std::u16string_view keyPath, std::u16string& folder) {
    std::vector<std::u16string> parts;
    if (!splitKeyPath(keyPath, parts)) return false;
    folder = registryHive();
    std::error_code ec;
    fs::create_directories(nativePath(folder), ec);
    if (!isDirectory(folder)) return false;
    for (const auto& part : parts) {
        std::u16string child;
        if (!resolveChild(folder, part, child)) {
            child = joinPath(folder, part);
            if (!createDirectory(child) && !isDirectory(child)) return false;
        }
        folder = std::move(child);
    }
    return true;
}

bool validValueText(std::u16string_view s) {
    return s.find_first_of(u"\r\n") == std::u16string_view::npos && s.find(u'\0') == std::u16string_view::npos;
}

}  // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

RegistryKey RegistryKey::openCurrentUser(std::u16string_view path) {
    std::u16string folder;
    if (!resolve(registryHive(), path, folder)) return RegistryKey();
    return RegistryKey(std::make_unique<Impl>(Impl{std::move(folder)}));
}

bool RegistryKey::valid() const { return impl_ != nullptr; }

RegistryKey RegistryKey::openSubkey(std::u16string_view path) const {
    std::u16string folder;
    if (!impl_ || !resolve(impl_->folder, path, folder)) return RegistryKey();
    return RegistryKey(std::make_unique<Impl>(Impl{std::move(folder)}));
}

bool RegistryKey::subkeyName(std::uint32_t index, std::u16string& name, std::size_t maxUnits) const {
    if (!impl_) return false;
    const auto names = subfolders(impl_->folder);
    if (index >= names.size() || names[index].size() > maxUnits) return false;
    name = names[index];
    return true;
}

bool RegistryKey::readString(std::u16string_view name, std::u16string& value, std::size_t maxUnits) const {
    if (!impl_) return false;
    for (auto& [n, v] : readValues(impl_->folder)) {
        if (!text::equalsIgnoreAsciiCase(n, name)) continue;
        if (v.size() > maxUnits) return false;
        value = std::move(v);
        return true;
    }
    return false;
}

bool writeRegistryString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view value) {
    if (name.empty() || name.find(u'=') != std::u16string_view::npos || !validValueText(name) || !validValueText(value))
        return false;
    std::u16string folder;
    if (!createKeyFolder(keyPath, folder)) return false;
    Values values = readValues(folder);
    const auto same = [&](const auto& entry) { return text::equalsIgnoreAsciiCase(entry.first, name); };
    if (auto it = std::find_if(values.begin(), values.end(), same); it != values.end()) {
        it->second = value;
        // Later lines of the same name would never be read; drop them.
        values.erase(std::remove_if(std::next(it), values.end(), same), values.end());
    } else {
        values.emplace_back(name, value);
    }
    return writeValues(folder, values);
}

bool createRegistryKey(std::u16string_view keyPath) {
    std::u16string folder;
    return createKeyFolder(keyPath, folder);
}

bool deleteRegistryTree(std::u16string_view keyPath) {
    std::vector<std::u16string> parts;
    if (!splitKeyPath(keyPath, parts) || parts.empty()) return false;
    std::u16string folder;
    if (!resolve(registryHive(), keyPath, folder)) return true;
    std::error_code ec;
    fs::remove_all(nativePath(folder), ec);
    return !ec;
}

}  // namespace platform

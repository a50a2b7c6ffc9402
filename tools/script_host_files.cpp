// The script host's file built-ins: host.readFile, fileExists and listDir,
// so a page's script can check what the control wrote.
//
// Thread safety: on the thread that called runScript; they read the disk
// directly, whatever the control's threads are writing at that moment.
#include "tools/script_host_internal.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

namespace script_host {

namespace {

constexpr std::uint64_t kMaxReadBytes = 256u << 20;

}  // namespace

duk_ret_t Host::readFile(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.readFile: the path must be a string", "TypeError");
    const std::u16string encoding = isPlainString(ctx, 1) ? stringAt(ctx, 1) : std::u16string();
    const bool utf16 = encoding == u"utf-16le";
    if (!utf16 && !duk_is_undefined(ctx, 1) && encoding != u"utf-8")
        return fail(u"host.readFile: the encoding must be \"utf-8\" or \"utf-16le\"", "TypeError");
    const std::u16string path = stringAt(ctx, 0);
    std::string bytes;
    if (!platform::readFile(path, bytes, kMaxReadBytes)) return fail(u"host.readFile: cannot read " + path);
    if (!utf16) {
        pushString(ctx, text::fromUtf8(bytes));
        return 1;
    }
    if (bytes.size() % 2 != 0) return fail(u"host.readFile: " + path + u" is not UTF-16: an odd number of bytes");
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    if (!units.empty() && units.front() == u'\uFEFF') units.erase(0, 1);
    pushString(ctx, units);
    return 1;
}

duk_ret_t Host::fileExists(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.fileExists: the path must be a string", "TypeError");
    duk_push_boolean(ctx, platform::pathExists(stringAt(ctx, 0)));
    return 1;
}

duk_ret_t Host::listDir(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.listDir: the path must be a string", "TypeError");
    const std::u16string path = stringAt(ctx, 0);
    if (!platform::isDirectory(path)) return fail(u"host.listDir: no folder " + path);
    std::vector<std::u16string> names;
    for (auto& entry : platform::findFiles(platform::joinPath(path, u"*"))) {
        if (entry.name != u"." && entry.name != u"..") names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end());
    duk_push_array(ctx);
    for (std::size_t i = 0; i < names.size(); ++i) {
        pushString(ctx, names[i]);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

}  // namespace script_host

// dociva serve: the bridge service (bridge/, docs/bridge.md), loaded from
// the module folder, and the commands that keep its allow-list of origins.
#include <charconv>
#include <string>

#include "bridge/dociva_bridge.h"
#include "bridge/service_rules.h"
#include "bridge/service_settings.h"
#include "platform/console.h"
#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/library_name.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tools/commands.h"

const char kServeUsage[] =
    "  serve [--module DIR] [--port N] [--dialog-timeout SECONDS]\n"
    "                                            serves pages on 127.0.0.1 and ::1 (default port 17345,\n"
    "                                            or [Service] Port in DIR/bridge.ini) with the control\n"
    "                                            in DIR (default as for run); see docs/bridge.md\n"
    "  serve [--module DIR] --allow-origin URL   lets pages of that origin connect (kept in bridge.ini)\n"
    "  serve [--module DIR] --remove-origin URL  takes it off the list again\n"
    "  serve [--module DIR] --list-origins       prints the allowed origins, one a line\n";

namespace {

int usage() {
    platform::writeStderr(std::string("usage:\n") + kServeUsage);
    return 2;
}

bool parseNumber(std::u16string_view textIn, std::uint32_t low, std::uint32_t high, std::uint32_t& out) {
    const std::string digits = text::toUtf8(textIn);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size() || value < low || value > high) return false;
    out = value;
    return true;
}

}  // namespace

int runServeCommand(const Arguments& args) {
    std::u16string moduleFolder;
    DocivaServeOptions options{};
    options.size = sizeof options;
    enum class Action { Serve, Allow, Remove, List } action = Action::Serve;
    std::u16string origin;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"--module" && hasValue) {
            moduleFolder = args[++i];
        } else if (a == u"--port" && hasValue) {
            if (!parseNumber(args[++i], 1, 65535, options.port)) return usage();
        } else if (a == u"--dialog-timeout" && hasValue) {
            std::uint32_t seconds = 0;
            if (!parseNumber(args[++i], 1, 3600, seconds)) return usage();
            options.dialogTimeoutMs = seconds * 1000;
        } else if ((a == u"--allow-origin" || a == u"--remove-origin") && hasValue && action == Action::Serve) {
            action = a == u"--allow-origin" ? Action::Allow : Action::Remove;
            origin = args[++i];
        } else if (a == u"--list-origins" && action == Action::Serve) {
            action = Action::List;
        } else {
            return usage();
        }
    }
    if (moduleFolder.empty()) moduleFolder = defaultModuleFolder();
    bridge::ServiceSettings settings(bridge::ServiceSettings::fileIn(moduleFolder));

    switch (action) {
    case Action::Allow: {
        const auto normal = bridge::normalizeOrigin(text::toUtf8(origin));
        if (!normal) {
            platform::writeStderr("dociva serve: not an origin (scheme://host[:port]): " + text::toUtf8(origin) + "\n");
            return 2;
        }
        if (!settings.allowOrigin(*normal)) {
            platform::writeStderr("dociva serve: cannot write " + text::toUtf8(settings.file()) + "\n");
            return 1;
        }
        platform::writeStdout("allowed " + *normal + "\n");
        return 0;
    }
    case Action::Remove:
        if (!settings.removeOrigin(text::toUtf8(origin))) {
            platform::writeStderr("dociva serve: not on the list: " + text::toUtf8(origin) + "\n");
            return 1;
        }
        return 0;
    case Action::List:
        for (const auto& allowed : settings.allowedOrigins()) platform::writeStdout(allowed + "\n");
        return 0;
    case Action::Serve: break;
    }

    const std::u16string file = platform::joinPath(moduleFolder, platform::sharedLibraryFileName(u"DocivaBridge"));
    platform::DynamicLibrary library;
    if (!platform::pathExists(file) || !library.load(file)) {
        const std::u16string why = platform::DynamicLibrary::lastLoadError();
        platform::writeStderr("dociva serve: cannot load the bridge module " + text::toUtf8(file) +
                              (why.empty() ? "" : ": " + text::toUtf8(why)) + "\n");
        return 2;
    }
    using Serve = std::int32_t (*)(const DocivaServeOptions*);
    const auto serve = reinterpret_cast<Serve>(library.symbol("docivaBridgeServe"));
    if (!serve) {
        platform::writeStderr("dociva serve: the bridge module has no docivaBridgeServe\n");
        return 2;
    }
    return serve(&options);
}

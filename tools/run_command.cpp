// dociva run: a page's script against the control module or the plug-in,
// without a browser. On Windows only the plug-in can be loaded this way
// (DOCIVA_RUN_PLUGIN_ONLY): the control there is a COM server. See
// tools/script_host.h for what the script sees.
#include <string>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tools/commands.h"
#include "tools/script_host.h"
#include "tools/script_host_module.h"
#include "tools/script_host_plugin.h"

const char kRunUsage[] =
    "  run [--module DIR] [--trace] [--plugin] SCRIPT.js\n"
    "                                            runs a page's script against the control in\n"
    "                                            DIR/libDocivaOCX.so (default $DOCIVA_MODULE_DIR,\n"
    "                                            else module/ in this program's build folder);\n"
    "                                            --trace prints every EVENT, CALL and DIALOG;\n"
    "                                            --plugin runs it against the plug-in in DIR\n"
    "                                            (libnpDociva.so; npDociva.dll on Windows, which\n"
    "                                            runs pages against the plug-in only)\n";

namespace {

constexpr std::uint64_t kMaxScriptBytes = 64u << 20;

int usage() {
    platform::writeStderr(std::string("usage:\n") + kRunUsage);
    return 2;
}

}  // namespace

int runRunCommand(const Arguments& args) {
    std::u16string moduleFolder;
    std::u16string script;
    script_host::RunOptions options;
    bool plugin = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--trace") {
            options.trace = true;
        } else if (args[i] == u"--plugin") {
            plugin = true;
        } else if (args[i] == u"--module") {
            if (++i == args.size() || args[i].empty()) return usage();
            moduleFolder = args[i];
        } else if (args[i].size() > 1 && args[i][0] == u'-') {
            return usage();
        } else if (script.empty()) {
            script = args[i];
        } else {
            return usage();
        }
    }
    if (script.empty()) return usage();
    if (moduleFolder.empty()) moduleFolder = defaultModuleFolder();
#ifdef DOCIVA_RUN_PLUGIN_ONLY
    if (!plugin) {
        platform::writeStderr(
            "dociva run: on Windows the control is the COM server DocivaOCX.dll, which this host cannot load;\n"
            "run the page against the plug-in instead: dociva run --plugin SCRIPT.js\n");
        return 2;
    }
#endif

    std::string source;
    if (!platform::readFile(script, source, kMaxScriptBytes)) {
        platform::writeStderr("dociva run: cannot read the script " + text::toUtf8(script) + "\n");
        return 2;
    }
    if (plugin) {
        script_host::PluginModule library;
        const std::string problem = library.load(script_host::PluginModule::fileIn(moduleFolder));
        if (!problem.empty()) {
            platform::writeStderr("dociva run: " + problem + "\n");
            return 2;
        }
        return script_host::runScript(library.module(), options, script, source);
    }
    script_host::ControlModule module;
    const std::string problem = module.load(script_host::ControlModule::fileIn(moduleFolder));
    if (!problem.empty()) {
        platform::writeStderr("dociva run: " + problem + "\n");
        return 2;
    }
    return script_host::runScript(module, options, script, source);
}

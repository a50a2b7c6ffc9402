// dociva: the command-line face of the component, for users and tests.
#include <string>

#include "platform/console.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/system.h"
#include "tools/commands.h"

std::u16string defaultModuleFolder() {
    const std::u16string fromEnvironment = platform::environmentVariable(u"DOCIVA_MODULE_DIR");
    if (!fromEnvironment.empty()) return fromEnvironment;
    std::u16string programFolder = platform::moduleFolder(platform::currentModule());
    while (!programFolder.empty() && platform::isPathSeparator(programFolder.back())) programFolder.pop_back();
    return platform::joinPath(platform::folderOf(programFolder), u"module");
}

namespace {

struct Command {
    const char16_t* name;
    int (*run)(const Arguments&);
    const char* usage;
};

const Command kCommands[] = {
    {u"ini", runIniCommand, kIniUsage},
    {u"profile", runProfileCommand, kProfileUsage},
    {u"filename", runFilenameCommand, kFilenameUsage},
    {u"scanners", runScannersCommand, kScannersUsage},
    {u"papersizes", runPapersizesCommand, kPapersizesUsage},
    {u"view", runViewCommand, kViewUsage},
#ifdef DOCIVA_HAVE_SDK
    {u"scan", runScanCommand, kScanUsage},
    {u"driver", runDriverCommand, kDriverUsage},
#endif
#ifdef DOCIVA_HAVE_SCRIPT_HOST
    {u"run", runRunCommand, kRunUsage},
#endif
#ifdef DOCIVA_HAVE_BRIDGE
    {u"serve", runServeCommand, kServeUsage},
#endif
};

void usage() {
    std::string text = "usage: dociva COMMAND ...\n\ncommands:\n";
    for (const auto& c : kCommands) text += c.usage;
    platform::writeStderr(text);
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments all = platform::commandLineArguments(argc, argv);
    if (all.size() < 2) {
        usage();
        return 2;
    }
    for (const auto& c : kCommands) {
        if (all[1] == c.name) return c.run(Arguments(all.begin() + 2, all.end()));
    }
    usage();
    return 2;
}

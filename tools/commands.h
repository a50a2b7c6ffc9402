// Subcommands of the dociva tool. Each takes the arguments after its own
// name and returns the process exit code: 0 done, 2 bad usage.
#pragma once

#include <string>
#include <vector>

using Arguments = std::vector<std::u16string>;

// The module folder a command loads from without --module:
// $DOCIVA_MODULE_DIR, else the build's <build>/module beside <build>/tools,
// where this program is.
std::u16string defaultModuleFolder();

int runIniCommand(const Arguments& args);
extern const char kIniUsage[];

int runProfileCommand(const Arguments& args);
extern const char kProfileUsage[];

int runFilenameCommand(const Arguments& args);
extern const char kFilenameUsage[];

int runScannersCommand(const Arguments& args);
extern const char kScannersUsage[];

int runPapersizesCommand(const Arguments& args);
extern const char kPapersizesUsage[];

// Opens files as the viewer does (the image toolkit and the PDF library from
// the module folder).
int runViewCommand(const Arguments& args);
extern const char kViewUsage[];

// Built only where the SDK is (DOCIVA_HAVE_SDK).
int runScanCommand(const Arguments& args);
extern const char kScanUsage[];
int runDriverCommand(const Arguments& args);
extern const char kDriverUsage[];
// SANE's devices that have no driver folder yet, a line each, with the
// command that adds one; empty where SANE cannot be used.
std::string saneDevicesWithoutDriver();

// Built only on Linux, where the control is a loadable module
// (DOCIVA_HAVE_SCRIPT_HOST).
int runRunCommand(const Arguments& args);
extern const char kRunUsage[];

// The bridge service and its allow-list (built where the bridge is,
// DOCIVA_HAVE_BRIDGE).
int runServeCommand(const Arguments& args);
extern const char kServeUsage[];

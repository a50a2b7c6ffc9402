// The script host behind `dociva run`: a page's script, run by Duktape
// against a control made by the control module, the way a browser page
// drives the control.
//
// The script sees two globals. `dociva` is the control: one function per
// method of the module's table (named as there) and
// dociva.invoke(dispidOrName, ...args); against the plug-in, whose methods
// a browser finds by name, every name read from it is a method and
// dociva.invoke takes names only. `host` is the stand-in for the
// browser and its user: print, wait, idle, sleep, answer (dialog answers),
// progress, pressButton and sdkStatus (the SDK's test calls), mouse, click,
// doubleClick, screenshot, readFile, fileExists, listDir, root, exit and
// heldObjects.
//
// Thread safety: the control, the engine and every callback live on the
// calling thread, which is the control's window thread.
#pragma once

#include <string>
#include <string_view>

#include "tools/script_host_module.h"

namespace script_host {

struct RunOptions {
    // Print EVENT, DIALOG and CALL lines on standard output as they happen.
    bool trace = false;
};

// Compiles the script (named scriptName in error locations), makes a
// control and its window, runs the script, pumps until idle and destroys
// the control. Returns the exit code: 0, 1 for a script error (printed on
// standard error), or the code given to host.exit.
int runScript(const ControlModule& module, const RunOptions& options, std::u16string_view scriptName,
              std::string_view source);

}  // namespace script_host

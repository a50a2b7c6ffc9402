// The module (executable or shared library) that holds a piece of code, and
// the process's current directory.
//
// Thread safety: any thread; setCurrentDirectory changes process-wide state.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Any address inside a module names it; on Windows an HMODULE is such an
// address (its base). Null stands for "the module that holds the caller".
using ModuleHandle = const void*;

// The module that holds this code. The platform layer is linked statically
// into every module, so this is the module of whoever calls it.
ModuleHandle currentModule();

// Full file name of the module, "" when it cannot be found.
std::u16string moduleFileName(ModuleHandle module);

// The module's folder, ending with the native separator; "" on failure.
std::u16string moduleFolder(ModuleHandle module);

// Windows resolves relative library names against the current directory,
// so there the module folder is made current before the image toolkit is
// loaded. Elsewhere relative names are resolved explicitly and the host's
// current directory is left alone: this does nothing.
void makeModuleFolderCurrent(std::u16string_view folder);

std::u16string currentDirectory();
bool setCurrentDirectory(std::u16string_view folder);

}  // namespace platform

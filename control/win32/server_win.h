// The in-process server's module-wide facts: its own file and the count of
// live objects and locks that DllCanUnloadNow answers from. COM asks the
// DLL itself whether it may be unloaded, so this count is the one piece of
// process-wide state the shell keeps.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace docivaocx::server {

// Every COM object of the DLL counts itself for its whole life.
void objectCreated();
void objectDestroyed();
void lock(bool on);
bool canUnload();

HMODULE module();
std::wstring modulePath();
// The type library embedded as resource TYPELIB 1.
HRESULT loadTypeLib(ITypeLib** typeLib);

// Counts an object from construction to destruction.
class ObjectCount {
public:
    ObjectCount() { objectCreated(); }
    ObjectCount(const ObjectCount&) = delete;
    ObjectCount& operator=(const ObjectCount&) = delete;
    ~ObjectCount() { objectDestroyed(); }
};

}  // namespace docivaocx::server

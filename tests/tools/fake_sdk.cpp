// A stand-in for the scanner SDK (libdociva.so) beside the stand-in control
// module: only the two test calls the script host makes. Each appends a line
// to $DOCIVA_FAKE_LOG, the stand-in module's log, so a test sees the host's
// calls in order with the module's own lines. Handle 99 is one the SDK does
// not know (-1), as for a scanner closed meanwhile.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scanner/dociva_sdk.h"

namespace {

constexpr DocivaHandle kUnknownHandle = 99;

int record(DocivaHandle handle, const std::string& line) {
    if (handle == kUnknownHandle) return -1;
    const char* path = std::getenv("DOCIVA_FAKE_LOG");
    if (path && *path) {
        if (FILE* f = std::fopen(path, "a")) {
            std::fprintf(f, "sdk %s handle=%u\n", line.c_str(), static_cast<unsigned>(handle));
            std::fclose(f);
        }
    }
    return 0;
}

}  // namespace

extern "C" {

int dociva_SimulateButtonPress(DocivaHandle handle, int buttonId) {
    return record(handle, "button " + std::to_string(buttonId));
}

int dociva_EmitStatus(DocivaHandle handle, int code, int data, int hasData) {
    return record(handle, "status " + std::to_string(code) + " " + (hasData ? std::to_string(data) : "none"));
}

}  // extern "C"

/* The bridge module's C interface (libDocivaBridge.so on Linux): the
 * service `dociva serve` runs, loaded from the module folder so that the
 * controls it makes find their settings, profiles and libraries there, as
 * the control module's do.
 *
 * Thread safety: docivaBridgeServe blocks the calling thread until the
 * service is stopped (SIGINT or SIGTERM). */
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define DOCIVA_BRIDGE_API extern "C" __declspec(dllexport)
#else
#define DOCIVA_BRIDGE_API extern "C" __attribute__((visibility("default")))
#endif

#define DOCIVA_BRIDGE_VERSION 1

struct DocivaServeOptions {
    std::uint32_t size;            /* sizeof(DocivaServeOptions) */
    std::uint32_t port;            /* 0: the settings file's, else the default */
    std::uint32_t dialogTimeoutMs; /* 0: the default (60 s) */
    std::uint32_t maxSessions;     /* 0: the default (64) */
};

DOCIVA_BRIDGE_API std::int32_t docivaBridgeVersion();
/* Serves until stopped: 0; 1 when the port cannot be bound (the reason on
 * standard error); 2 for bad options. */
DOCIVA_BRIDGE_API std::int32_t docivaBridgeServe(const DocivaServeOptions* options);

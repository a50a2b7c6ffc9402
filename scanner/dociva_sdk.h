// The scanner SDK: the five calls, two callbacks and two records through
// which the component drives a scanner. The SDK is a library of its own
// (dociva.dll, a 32-bit Windows DLL; libdociva.so on Linux); the five calls
// are the whole of what it must provide, and the only ones the component
// imports. Our own SDK has more (the settings-form and cancel calls and
// two test calls, declared at the end); the component looks those up at run time
// and does without them when they are missing.
//
// Exports
//   Windows, dociva.dll (export table: scanner/dociva_sdk.def):
//     ordinal 1, no name      dociva_OpenDriver
//     ordinal 2, no name      dociva_RegisterCallback
//     ordinal 8, no name      dociva_CloseDriver
//     by name                 dociva_GetSourceCapability, dociva_StartScanAsync
//   The import library made from the .def file lets callers use the names
//   below while the DLL is bound by ordinal.
//   Linux, libdociva.so: all five by the names below.
//
// Calling convention: every call and both callbacks use the plain C
// convention (cdecl on i686, the System V convention on x86_64), which is
// what both compilers give a function without an attribute. C linkage, so
// the names are exported unmangled.
//
// Handles are 32-bit numbers on every platform, 0 meaning none. On 64-bit
// Linux an SDK must therefore hand out table indices, never pointers cut to
// 32 bits.
//
// Order of calls for one handle: dociva_OpenDriver; when it gave a handle,
// dociva_GetSourceCapability at once; dociva_RegisterCallback each time the
// owner registers the scanner; any number of dociva_StartScanAsync;
// dociva_CloseDriver once, after which the caller sets the handle to 0.
// Only the result of dociva_OpenDriver is relied on; the other results are
// for diagnostics.
//
// Threads: the callbacks may be called on threads of the SDK's own. The
// settings record handed to dociva_StartScanAsync lives only until the
// call returns: the SDK copies what it needs before returning.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScanSettings;  // settings/scan_settings.h: 6480 bytes, read by the SDK

// What an open driver's scanner can do. All lengths are inches.
// The same 40 bytes on i686 and x86_64 (no pointers; doubles on 8).
struct SourceCapability {
    std::uint32_t source;        // 0 flatbed, anything else sheet-fed
    std::uint8_t unused4[4];     // not read
    alignas(8) double maxWidth;
    alignas(8) double maxHeight;
    alignas(8) double maxLength;  // long paper; above 0.000001 "Long Paper" is offered
    std::uint8_t isOverscan;
    std::uint8_t isDuplex;
    std::uint8_t multiPage;
    std::uint8_t unused35[5];    // not read
};

static_assert(sizeof(SourceCapability) == 40);
static_assert(offsetof(SourceCapability, source) == 0);
static_assert(offsetof(SourceCapability, maxWidth) == 8);
static_assert(offsetof(SourceCapability, maxHeight) == 16);
static_assert(offsetof(SourceCapability, maxLength) == 24);
static_assert(offsetof(SourceCapability, isOverscan) == 32);
static_assert(offsetof(SourceCapability, isDuplex) == 33);
static_assert(offsetof(SourceCapability, multiPage) == 34);

// Format ids: what the output-format setters choose, what the settings
// record's format list and the image-ready record carry, what the viewer
// keeps for each document. The viewer's own reading of a file extension
// adds DOCIVA_FORMAT_BMP_BY_NAME and DOCIVA_FORMAT_JB2, which the SDK never
// writes.
enum DocivaFormat : std::int32_t {
    DOCIVA_FORMAT_BY_EXTENSION = -1,  // the viewer decides from the file's name
    DOCIVA_FORMAT_BMP = 0,
    DOCIVA_FORMAT_JPEG = 1,
    DOCIVA_FORMAT_PDF = 2,
    DOCIVA_FORMAT_TIFF = 3,
    DOCIVA_FORMAT_PNG = 4,
    DOCIVA_FORMAT_BMP_BY_NAME = 5,
    DOCIVA_FORMAT_TIFF_G4 = 6,
    DOCIVA_FORMAT_GIF = 7,
    DOCIVA_FORMAT_MULTI_TIFF = 8,
    DOCIVA_FORMAT_MULTI_PDF = 9,
    DOCIVA_FORMAT_JB2 = 10,
};

// Units of the path field that a receiver copies (the field has room for
// 1024 with its terminator).
inline constexpr std::size_t kImageReadyPathCopyUnits = 1000;

// One file the SDK has written, handed to the event callback with
// DOCIVA_EVENT_IMAGE_READY. The same 4136 bytes on i686 and x86_64.
struct ImageReadyRecord {
    char16_t textArea[1024];  // the SDK's own; receivers neither read nor keep it
    char16_t filePath[1024];  // zero-terminated
    std::int32_t formatCode;  // a DocivaFormat
    std::uint8_t extraByte;   // the SDK's own; copied, not interpreted
    std::uint8_t unused4101[3];
    std::uint8_t extraBytes[32];  // the SDK's own; copied, not interpreted
};

static_assert(sizeof(ImageReadyRecord) == 4136);
static_assert(offsetof(ImageReadyRecord, filePath) == 2048);
static_assert(offsetof(ImageReadyRecord, formatCode) == 4096);
static_assert(offsetof(ImageReadyRecord, extraByte) == 4100);
static_assert(offsetof(ImageReadyRecord, extraBytes) == 4104);

// Codes of the status callback. Other codes may come and mean nothing to
// the component.
enum DocivaStatusCode : int {
    DOCIVA_STATUS_SCAN_SUCCESS = 0,        // data: button id, or null / -1 for none
    DOCIVA_STATUS_CONNECTED = 1,
    DOCIVA_STATUS_DISCONNECTED = 2,
    DOCIVA_STATUS_DRIVER_LOAD_FAILED = 3,
    DOCIVA_STATUS_SCANNER_NOT_FOUND = 4,
    DOCIVA_STATUS_NOT_READY = 5,
    DOCIVA_STATUS_CAPABILITY_MISMATCH = 6,
    DOCIVA_STATUS_NO_PAPER = 7,
    DOCIVA_STATUS_NO_MEMORY = 8,
    DOCIVA_STATUS_AUTO_SIZE_FAILED = 9,
    DOCIVA_STATUS_SCAN_FAILED = 12,        // data: the SDK's error code
    DOCIVA_STATUS_SCAN_CANCELLED = 13,     // our SDK: the run ended early on dociva_CancelScan; no data
    DOCIVA_STATUS_BUTTON_PRESSED = 100,    // data: button id; the owner answers 1
};

// Types of the event callback.
enum DocivaEventType : int {
    DOCIVA_EVENT_WARMUP = 0,               // data as an integer: 1 on the first notice; value: ms left
    DOCIVA_EVENT_RESERVED = 1,             // ignored by the owner
    DOCIVA_EVENT_SCAN_STARTED = 2,         // value: total units
    DOCIVA_EVENT_SCAN_PROGRESS = 3,        // value: units since the last event; 0 = complete
    DOCIVA_EVENT_PAPER_END = 4,
    DOCIVA_EVENT_SCAN_FINISHED = 5,        // processing begins
    DOCIVA_EVENT_PROCESSING_FINISHED = 6,  // the last event of a run
    DOCIVA_EVENT_IMAGE_READY = 7,          // data: ImageReadyRecord*
};

extern "C" {

// (code, data) -> 1 for DOCIVA_STATUS_BUTTON_PRESSED, else 0.
typedef int (*StatusCallback)(int code, int* data);
// (type, data, value, context given to dociva_RegisterCallback).
typedef void (*EventCallback)(int type, void* data, int value, void* context);

typedef std::uint32_t DocivaHandle;

// Ordinal 1. driverDirectory: the driver's folder (zero-terminated UTF-16).
// Returns 0 when the driver cannot be loaded.
DocivaHandle dociva_OpenDriver(const char16_t* driverDirectory);

// Fills a zeroed record for an open handle.
int dociva_GetSourceCapability(DocivaHandle handle, SourceCapability* capability);

// Ordinal 2. Later events of this handle reach these callbacks with this
// context; a repeated call replaces the earlier registration.
int dociva_RegisterCallback(DocivaHandle handle, void* context, StatusCallback status, EventCallback event);

// Starts a scan and returns at once; the outcome comes through the
// callbacks. Started from the page: (handle, null, settings, null). Started
// by a scanner button: (handle, path of the profile bound to the button,
// null, the button id received with DOCIVA_STATUS_BUTTON_PRESSED); the SDK
// then reads the profile file itself.
int dociva_StartScanAsync(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings,
                          const int* buttonId);

// Declares the form of the settings record the handle's starts carry:
// sizeof(ScanSettings) (6480, the default) or the earlier 4912-byte form
// (LegacyScanSettings) that the browser plug-in hands over. A start only
// reads that many bytes and reads them in that form. 0, or -1 for an
// unknown handle or another size. An addition of this SDK: an owner that
// finds no such export hands over the current form.
int dociva_SetSettingsForm(DocivaHandle handle, int recordBytes);

// Stops the handle's running scan early: at once while it warms up or a
// real device reads or waits, else before the next side. The sides written
// so far stay: their files (a multi-page file with the pages it has so far)
// are finished and announced with DOCIVA_EVENT_IMAGE_READY as usual, then
// status DOCIVA_STATUS_SCAN_CANCELLED and DOCIVA_EVENT_PROCESSING_FINISHED
// end the run. 0 when the run will end so (also when asked again), 1 when
// no run is going or the running one is already finishing its files (it
// ends as usual), -1 for an unknown or closed handle. An addition of this
// SDK: an owner that finds no such export cannot stop a scan.
int dociva_CancelScan(DocivaHandle handle);

// Ordinal 8. Closes the driver; the caller sets *handle to 0 afterwards.
int dociva_CloseDriver(DocivaHandle* handle);

// Test and demonstration calls of the SDK, not used by the component.
// Both report on a thread of the SDK's own, like a real scanner would, and
// return 0 when the report was scheduled, -1 for an unknown handle.
// A press of the scanner's button buttonId: status DOCIVA_STATUS_BUTTON_PRESSED
// with a pointer to that id.
int dociva_SimulateButtonPress(DocivaHandle handle, int buttonId);
// The status code with a pointer to data, or with null when hasData is 0.
int dociva_EmitStatus(DocivaHandle handle, int code, int data, int hasData);

// The SANE devices the SDK can open as drivers (driver folders with
// [device] backend=sane), one a line: NAME<TAB>VENDOR<TAB>MODEL<TAB>TYPE and
// a line feed, zero-terminated. Returns the units the whole list needs with
// its terminator (written only when units is at least that), or -1 when
// SANE cannot be used here. Looked up at run time by driver discovery and
// the tool; an SDK without it serves no SANE device.
int dociva_ListSaneDevices(char16_t* buffer, int units);

typedef DocivaHandle (*DocivaOpenDriverFn)(const char16_t*);
typedef int (*DocivaGetSourceCapabilityFn)(DocivaHandle, SourceCapability*);
typedef int (*DocivaRegisterCallbackFn)(DocivaHandle, void*, StatusCallback, EventCallback);
typedef int (*DocivaStartScanAsyncFn)(DocivaHandle, const char16_t*, const ScanSettings*, const int*);
typedef int (*DocivaCloseDriverFn)(DocivaHandle*);
typedef int (*DocivaSetSettingsFormFn)(DocivaHandle, int);
typedef int (*DocivaListSaneDevicesFn)(char16_t*, int);
typedef int (*DocivaCancelScanFn)(DocivaHandle);

}  // extern "C"

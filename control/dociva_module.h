/* The control module's C interface (libDocivaOCX.so on Linux): how a host
 * program makes a control, calls its methods by name or dispatch id, hears
 * its events, answers its dialogs and runs its window thread.
 *
 * The host loads the module from the folder that is to be the control's
 * module folder (dociva.ini, profiles/, settings.ini and the image
 * libraries live there), then:
 *
 *   DocivaControl* c = docivaCreateControl(&host);   // construction
 *   docivaCreateWindow(c);                           // OnProfileReady, OnSourceReady
 *   docivaInvoke(c, dispid, args, n, &result, &bad); // any number of calls
 *   docivaPump(c, ms);                               // runs queued window messages
 *   docivaDestroyControl(c);
 *
 * Values travel as DocivaValue, the part of an OLE VARIANT a script engine
 * passes: the module converts each argument to the parameter's declared
 * type the way the platform's variant coercion does and reports a failure
 * with the HRESULT a dispatch interface would give.
 *
 * Thread safety: every call on a control, and every callback of the host
 * it makes, belongs to the thread that created the control (its window
 * thread). Events and dialogs are raised only from inside docivaInvoke,
 * docivaCreateWindow and docivaPump. */
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define DOCIVA_MODULE_API extern "C" __declspec(dllexport)
#else
#define DOCIVA_MODULE_API extern "C" __attribute__((visibility("default")))
#endif

/* The interface's version; docivaModuleVersion() gives the module's. */
#define DOCIVA_MODULE_VERSION 1

/* Value types: the VARTYPE numbers of the values a script can pass. */
enum DocivaValueType : std::uint16_t {
    DOCIVA_EMPTY = 0,    /* undefined, a missing result */
    DOCIVA_NULL = 1,     /* null */
    DOCIVA_I2 = 2,       /* integer: 16-bit */
    DOCIVA_I4 = 3,       /* integer: 32-bit */
    DOCIVA_R8 = 5,       /* real */
    DOCIVA_STRING = 8,   /* text, textLength units; a null text is a null string */
    DOCIVA_DISPATCH = 9, /* object: the host's own object, counted with the host's callbacks */
    DOCIVA_BOOL = 11,    /* integer: 0 or -1 */
};

struct DocivaValue {
    std::uint16_t type;
    std::int32_t integer;
    double real;
    const char16_t* text;
    std::uint32_t textLength;
    void* object;
};

/* Result codes (HRESULT values). */
#define DOCIVA_OK 0
#define DOCIVA_E_UNKNOWNNAME static_cast<std::int32_t>(0x80020006u)   /* no such method */
#define DOCIVA_E_MEMBERNOTFOUND static_cast<std::int32_t>(0x80020003u) /* no such dispatch id */
#define DOCIVA_E_TYPEMISMATCH static_cast<std::int32_t>(0x80020005u)  /* an argument cannot be converted */
#define DOCIVA_E_OVERFLOW static_cast<std::int32_t>(0x8002000Au)      /* a number out of the parameter's range */
#define DOCIVA_E_BADPARAMCOUNT static_cast<std::int32_t>(0x8002000Eu) /* too few or too many arguments */
#define DOCIVA_E_INVALIDARG static_cast<std::int32_t>(0x80070057u)    /* a null control or pointer */

/* Dialogs the control opens; the host shows them or answers them itself. */
enum DocivaDialogKind : std::uint32_t {
    DOCIVA_DIALOG_INPUT = 1,     /* caption, prompt, initial text -> one line of text */
    DOCIVA_DIALOG_FOLDER = 2,    /* caption, initial folder -> a folder */
    DOCIVA_DIALOG_FILE = 3,      /* filter ("Exe Files (*.exe)|*.exe||") -> a file */
    DOCIVA_DIALOG_ALERT = 4,     /* caption, message */
    DOCIVA_DIALOG_WATERMARK = 5, /* record: the watermark settings, in and out */
};

struct DocivaDialogRequest {
    std::uint32_t kind;
    const char16_t* caption; /* never null */
    const char16_t* text;    /* prompt, initial folder, filter or message; never null */
    const char16_t* initial; /* initial text of an input box; never null */
    void* record;            /* watermark settings record, else null */
};

struct DocivaHost {
    std::uint32_t size; /* sizeof(DocivaHost) */
    void* context;
    /* An event: its dispatch id, its name and its one JSON text. */
    void (*fireEvent)(void* context, std::int32_t dispid, const char16_t* name, const char16_t* data,
                      std::uint32_t length);
    /* The control keeps and lets go of the host's objects with these. */
    void (*addRefObject)(void* context, void* object);
    void (*releaseObject)(void* context, void* object);
    /* Runs a dialog. Returns 1 when the user confirmed, with the answer
     * (at most capacity - 1 units and a terminator) in answer; 0 when
     * cancelled. answer is null for dialogs without a text answer. */
    std::int32_t (*runDialog)(void* context, const DocivaDialogRequest* request, char16_t* answer,
                              std::uint32_t capacity);
};

enum DocivaMethodFlags : std::uint32_t {
    DOCIVA_RESULT_NONE = 0,
    DOCIVA_RESULT_I2 = 1,
    DOCIVA_RESULT_STRING = 2,
};

/* One method of the control, as its type library describes it. */
struct DocivaMethodInfo {
    std::int32_t dispid;
    const char16_t* name;
    std::uint32_t parameterCount;
    const std::uint16_t* parameterTypes; /* DOCIVA_I2, DOCIVA_R8, DOCIVA_STRING or DOCIVA_DISPATCH */
    const char16_t* const* parameterNames;
    std::uint16_t resultType; /* DOCIVA_EMPTY, DOCIVA_I2 or DOCIVA_STRING */
};

struct DocivaEventInfo {
    std::int32_t dispid;
    const char16_t* name;
};

struct DocivaControl;

DOCIVA_MODULE_API std::int32_t docivaModuleVersion();

/* The method table (83 entries) and the event table (7), in dispatch-id
 * order; the pointers stay valid while the module is loaded. */
DOCIVA_MODULE_API std::uint32_t docivaMethodCount();
DOCIVA_MODULE_API const DocivaMethodInfo* docivaMethodAt(std::uint32_t index);
DOCIVA_MODULE_API std::uint32_t docivaEventCount();
DOCIVA_MODULE_API const DocivaEventInfo* docivaEventAt(std::uint32_t index);

/* Constructs a control on the calling thread; host is copied. Null when
 * host is null or too small, or the control cannot be made. */
DOCIVA_MODULE_API DocivaControl* docivaCreateControl(const DocivaHost* host);
/* Creates the control's window: 0, or -1 when it cannot be created (no
 * event is raised then). */
DOCIVA_MODULE_API std::int32_t docivaCreateWindow(DocivaControl* control);
DOCIVA_MODULE_API void docivaDestroyControl(DocivaControl* control);

/* The dispatch id of a method name, compared ignoring case. */
DOCIVA_MODULE_API std::int32_t docivaGetDispId(const char16_t* name, std::int32_t* dispid);
/* Calls a method. args are in the script's order. result receives
 * DOCIVA_EMPTY, DOCIVA_I2 or DOCIVA_STRING (free it with docivaFreeValue);
 * badArgument, when given, receives the index of the argument that failed
 * to convert. */
DOCIVA_MODULE_API std::int32_t docivaInvoke(DocivaControl* control, std::int32_t dispid, const DocivaValue* args,
                                            std::uint32_t count, DocivaValue* result, std::uint32_t* badArgument);
DOCIVA_MODULE_API void docivaFreeValue(DocivaValue* value);

/* Handles the control's queued window messages, waiting at most timeoutMs
 * for the first when none is queued; the number handled. */
DOCIVA_MODULE_API std::int32_t docivaPump(DocivaControl* control, std::uint32_t timeoutMs);
/* 1 when no window message is queued and the request pool has nothing
 * queued or running, else 0. */
DOCIVA_MODULE_API std::int32_t docivaIsIdle(DocivaControl* control);

/* The scan progress dialog as it stands; 0, or DOCIVA_E_INVALIDARG. */
struct DocivaProgress {
    std::int32_t exists;
    std::int32_t visible;
    std::int32_t position;
    std::int32_t low;
    std::int32_t high;
    std::int32_t timesShown;
    char16_t text[260];
};
DOCIVA_MODULE_API std::int32_t docivaGetProgress(DocivaControl* control, DocivaProgress* progress);

/* The SDK handle of the current scanner (the one registered last), 0 when
 * it is not open: hosts use it with the SDK's own test calls (a simulated
 * button press, a status report). */
DOCIVA_MODULE_API std::uint32_t docivaScannerHandle(DocivaControl* control);

/* The viewer window's mouse, in its client coordinates. */
enum DocivaMouseKind : std::int32_t {
    DOCIVA_MOUSE_MOVE = 0,
    DOCIVA_MOUSE_DRAG = 1, /* a move with the left button held */
    DOCIVA_MOUSE_DOWN = 2, /* left button */
    DOCIVA_MOUSE_UP = 3,
    DOCIVA_MOUSE_DOUBLE_CLICK = 4,
    DOCIVA_MOUSE_LEAVE = 5,
};
/* 0, or DOCIVA_E_INVALIDARG for a null control or an unknown kind. Events
 * the viewer raises (page mode) are raised from inside this call. */
DOCIVA_MODULE_API std::int32_t docivaMouse(DocivaControl* control, std::int32_t kind, std::int32_t x, std::int32_t y);
/* Paints the viewer window when it needs it and saves its picture as PNG:
 * 0, or -1 when there is no window or the file cannot be written. */
DOCIVA_MODULE_API std::int32_t docivaSavePicture(DocivaControl* control, const char16_t* path);

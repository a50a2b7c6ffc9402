/* A SANE library of two devices the SDK's tests need and SANE's own test
 * backend cannot play. The SDK loads it through DOCIVA_SANE_LIBRARY.
 *   stuck:0    every read reports a paper jam, and the cancel that follows
 *              never returns, as a backend whose reader died holding a
 *              lock does.
 *   silent:0   reads bring nothing until the read is cancelled, as a
 *              scanner unplugged mid-page does behind some backends.
 *   dead:0     a read that never returns, cancelled or not.
 *   buttons:0  a flatbed with sensors: "scan" and "email" (buttons),
 *              "page-loaded" (not a button), and "preview", which software
 *              sets (not a sensor). A sensor is down while the file that
 *              FAKE_SANE_BUTTONS names holds its name; a page is read once
 *              that file holds "end". */
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const SANE_Device stuck = {"stuck:0", "Dociva", "stuck cancel", "virtual device"};
static const SANE_Device buttons = {"buttons:0", "Dociva", "sensor buttons", "virtual device"};
static const SANE_Device silent = {"silent:0", "Dociva", "silent reads", "virtual device"};
static const SANE_Device dead = {"dead:0", "Dociva", "dead reads", "virtual device"};
static const SANE_Device* devices[] = {&stuck, &buttons, &silent, &dead, NULL};

enum { kCount, kScan, kEmail, kPageLoaded, kPreview, kOptions };
#define SENSOR (SANE_CAP_HARD_SELECT | SANE_CAP_SOFT_DETECT)
static const SANE_Option_Descriptor options[kOptions] = {
    {SANE_NAME_NUM_OPTIONS, "", "", SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_NONE, {NULL}},
    {"scan", "", "", SANE_TYPE_BOOL, SANE_UNIT_NONE, sizeof(SANE_Word), SENSOR, SANE_CONSTRAINT_NONE, {NULL}},
    {"email", "", "", SANE_TYPE_BOOL, SANE_UNIT_NONE, sizeof(SANE_Word), SENSOR, SANE_CONSTRAINT_NONE, {NULL}},
    {"page-loaded", "", "", SANE_TYPE_BOOL, SANE_UNIT_NONE, sizeof(SANE_Word), SENSOR, SANE_CONSTRAINT_NONE, {NULL}},
    {SANE_NAME_PREVIEW, "", "", SANE_TYPE_BOOL, SANE_UNIT_NONE, sizeof(SANE_Word),
     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {NULL}},
};

static int stuckHandle;
static int buttonsHandle;
static int silentHandle;
static int deadHandle;
/* Set by the cancel thread, read by the reading one. */
static _Atomic int silentCancelled;

SANE_Status sane_init(SANE_Int* version, SANE_Auth_Callback authorize) {
    (void)authorize;
    if (version) *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}

void sane_exit(void) {}

SANE_Status sane_get_devices(const SANE_Device*** list, SANE_Bool localOnly) {
    (void)localOnly;
    *list = devices;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_open(SANE_String_Const name, SANE_Handle* h) {
    if (strcmp(name, stuck.name) == 0) {
        *h = &stuckHandle;
    } else if (strcmp(name, buttons.name) == 0) {
        *h = &buttonsHandle;
    } else if (strcmp(name, silent.name) == 0) {
        *h = &silentHandle;
    } else if (strcmp(name, dead.name) == 0) {
        *h = &deadHandle;
    } else {
        return SANE_STATUS_INVAL;
    }
    return SANE_STATUS_GOOD;
}

void sane_close(SANE_Handle h) { (void)h; }

const SANE_Option_Descriptor* sane_get_option_descriptor(SANE_Handle h, SANE_Int n) {
    const int count = h == &buttonsHandle ? kOptions : 1;
    return n >= 0 && n < count ? &options[n] : NULL;
}

/* Whether the buttons file holds the sensor's name. */
static SANE_Bool down(const char* name) {
    const char* path = getenv("FAKE_SANE_BUTTONS");
    char text[256] = "";
    FILE* f = path ? fopen(path, "r") : NULL;
    if (f) {
        size_t n = fread(text, 1, sizeof text - 1, f);
        text[n] = '\0';
        fclose(f);
    }
    return strstr(text, name) ? SANE_TRUE : SANE_FALSE;
}

SANE_Status sane_control_option(SANE_Handle h, SANE_Int n, SANE_Action action, void* value, SANE_Int* info) {
    const int count = h == &buttonsHandle ? kOptions : 1;
    if (info) *info = 0;
    if (n < 0 || n >= count || action != SANE_ACTION_GET_VALUE) return SANE_STATUS_INVAL;
    *(SANE_Word*)value = n == kCount ? count : n == kPreview ? SANE_FALSE : down(options[n].name);
    return SANE_STATUS_GOOD;
}

SANE_Status sane_get_parameters(SANE_Handle h, SANE_Parameters* p) {
    (void)h;
    p->format = SANE_FRAME_GRAY;
    p->last_frame = SANE_TRUE;
    p->bytes_per_line = 8;
    p->pixels_per_line = 8;
    p->lines = 8;
    p->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_start(SANE_Handle h) {
    if (h == &silentHandle) silentCancelled = 0;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_read(SANE_Handle h, SANE_Byte* data, SANE_Int max, SANE_Int* length) {
    (void)data;
    (void)max;
    *length = 0;
    if (h == &stuckHandle) return SANE_STATUS_JAMMED;
    if (h == &deadHandle)
        for (;;) pause();
    if (h == &silentHandle) {
        while (!silentCancelled) usleep(10000);
        return SANE_STATUS_CANCELLED;
    }
    /* A page takes as long as the test wants: until "end" is written. */
    while (!down("end")) usleep(10000);
    return SANE_STATUS_EOF;
}

void sane_cancel(SANE_Handle h) {
    if (h == &silentHandle) silentCancelled = 1;
    if (h != &stuckHandle) return;
    for (;;) pause();
}

SANE_Status sane_set_io_mode(SANE_Handle h, SANE_Bool nonBlocking) {
    (void)h;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_get_select_fd(SANE_Handle h, SANE_Int* fd) {
    (void)h;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}

SANE_String_Const sane_strstatus(SANE_Status status) { return status == SANE_STATUS_JAMMED ? "jammed" : "status"; }

/* A SANE library with one device whose backend never comes back from
 * sane_cancel: every read reports a paper jam, and the cancel that follows
 * waits for good, as a backend whose reader died holding a lock does. The
 * SDK loads it through DOCIVA_SANE_LIBRARY. */
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <string.h>
#include <unistd.h>

static const SANE_Device device = {"stuck:0", "Dociva", "stuck cancel", "virtual device"};
static const SANE_Device* devices[] = {&device, NULL};
static const SANE_Option_Descriptor count = {
    SANE_NAME_NUM_OPTIONS, "", "", SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word),
    SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {NULL}};
static int handle;

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
    if (strcmp(name, device.name) != 0) return SANE_STATUS_INVAL;
    *h = &handle;
    return SANE_STATUS_GOOD;
}

void sane_close(SANE_Handle h) { (void)h; }

const SANE_Option_Descriptor* sane_get_option_descriptor(SANE_Handle h, SANE_Int n) {
    (void)h;
    return n == 0 ? &count : NULL;
}

SANE_Status sane_control_option(SANE_Handle h, SANE_Int n, SANE_Action action, void* value, SANE_Int* info) {
    (void)h;
    if (info) *info = 0;
    if (n != 0 || action != SANE_ACTION_GET_VALUE) return SANE_STATUS_INVAL;
    *(SANE_Int*)value = 1;
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
    (void)h;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_read(SANE_Handle h, SANE_Byte* data, SANE_Int max, SANE_Int* length) {
    (void)h;
    (void)data;
    (void)max;
    *length = 0;
    return SANE_STATUS_JAMMED;
}

void sane_cancel(SANE_Handle h) {
    (void)h;
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

#include "viewer/view_convas_dlg.h"

// Resource ids of the viewer's dialog template (resources/viewer.rc). Plain defines:
// the resource compiler reads this file too.
#pragma once

// The child dialog that hosts the viewer (CViewConvasDlg).
#define IDD_VIEW_CONVAS 206
// Its one static control, the place the viewer window takes.
#define IDC_VIEWER_CANVAS 229

// Resource ids of npDociva.dll, shared by the resource script and the code.
#pragma once

// The control's dialog inside the plug-in's window (316 x 180 dialog units,
// child style, no caption, no controls).
#define IDD_PLUGIN_CONTROL 101

// e2e: untraced
// The viewer after a run of four generated pages into PNG files at 100 dpi:
// four to a screen with the newest page current (viewer_picture.png), then
// that page alone (viewer_picture.single.png). run_e2e.py compares the saved
// pictures with those beside this script; the Windows control test
// (tests/control/com_window_test.cpp) brings its own viewer window to the
// same states and compares it with the same pictures. The scanner is the
// one that test attaches: no warm-up, one feeder of four sheets. PNG, not
// JPEG: the two platforms' JPEG encoders make different files (asked for
// quality 70, the Windows files come out as about 76 on the IJG scale),
// which the pictures would show.
var ends = [];
function OnScanEnd(data) { ends.push(data); }

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetOutputFormatPNG(1);
dociva.SetResolution(100);
dociva.SetSavetoFolder(host.root + "/scans");
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnScanEnd", 60000);
host.idle(60000);

host.print("OnScanEnd:", ends.length, ends[0]);
host.print("files:", host.listDir(host.root + "/scans").join(" "), "in the viewer:", dociva.GetFileCount());
dociva.ViewThumb4();
host.idle(10000);
host.screenshot(host.root + "/viewer_picture.png");
// The newest page alone, fitted, under its caption (which the Windows test
// leaves out: its text depends on the fonts and the path).
dociva.ViewSinglePage();
host.idle(10000);
host.screenshot(host.root + "/viewer_picture.single.png");
host.print("saved");

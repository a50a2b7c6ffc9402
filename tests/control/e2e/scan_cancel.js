// e2e: untraced
// e2e: whole files
// A page stops a 60-sheet scan (fronts only: 60 sides) part way
// (ScanCancel); the long batch leaves a slow machine room to cancel
// before the last side. The sides written before it stay, each a whole JPEG, and the multi-page TIFF is
// finished with those same sides; all of them reach the viewer; the run
// ends with exactly one OnScanEnd of code 4 and the progress dialog
// hidden; the control is idle and the next scan runs to its end.
// (How many sides come before the cancel depends on the machine, so the
// page prints what it checks rather than the counts.)
var root = host.root;
dociva.Initialize("");
var ends = [];
function OnScanEnd(data) { ends.push(JSON.parse(data).code); }
function names(ending) {
    return host.listDir(root + "/scans").filter(function (n) { return n.slice(-ending.length) === ending; });
}

host.print("cancel with no scan:", dociva.ScanCancel());
dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetResolution(100);
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiTIFF(1);
dociva.SetSavetoFolder(root + "/scans");
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart("Dociva Virtual Duplex 300");
for (var i = 0; i < 6000 && host.progress().pos < 4; i++) host.sleep(5);
host.print("sides scanned before the cancel (at least 4):", host.progress().pos >= 4);
host.print("cancel during the scan:", dociva.ScanCancel());
host.wait("OnScanEnd", 60000);
host.idle(60000);
host.sleep(200);    // anything still posted to the window arrives now
var jpegs = names(".jpg"), tiffs = names(".tif");
host.print("OnScanEnd:", ends.join(" "), "dialog shown:", host.progress().visible);
host.print("some sides kept, not all 60:", jpegs.length > 0 && jpegs.length < 60, "multi-page TIFF files:", tiffs.length);
host.print("in the viewer, every file:", dociva.GetFileCount() === jpegs.length + tiffs.length);
host.print("cancel after the end:", dociva.ScanCancel());

ends = [];
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnScanEnd", 60000);
host.idle(60000);
host.print("the next scan: OnScanEnd", ends.join(" "), "new JPEG files:", names(".jpg").length - jpegs.length,
           "multi-page TIFF files:", names(".tif").length);

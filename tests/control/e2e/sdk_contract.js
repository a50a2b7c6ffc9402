// e2e: untraced
// A register, a scan into JPEG files and one multi-page PDF, and an edit:
// what a page does with any SDK. The same page also runs against an SDK
// that has only the five contracted calls (run_e2e.py --sdk), where it
// must print exactly the same: the control and the plug-in look up
// anything beyond those calls at run time and manage without it.
var root = host.root;
dociva.Initialize("");
var ends = [];
function OnScanEnd(data) { ends.push(data); }
var registered = "";
function OnAfterScannerRegister(data) { registered = JSON.parse(data).message; }

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetResolution(100);
dociva.SetSavetoFolder(root + "/scans");
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnScanEnd", 60000);
host.idle(60000);
host.print("registered:", registered, "OnScanEnd:", ends.join(" "));
host.print("files:", host.listDir(root + "/scans").join(" "), "in the viewer:", dociva.GetFileCount());

// The record reached the SDK whole, in whichever form it went.
var starts = host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) { return l.length; });
var settings = JSON.parse(starts[0]).settings;
host.print("the SDK read: resolution", settings.scanDpi, "outImg", JSON.stringify(settings.outImg),
           "saveToPath ends", settings.saveToPath.slice(-6));

dociva.GoFirstPage();
var before = host.readFile(root + "/scans/page_001.jpg", "utf-8");
host.print("rotate:", dociva.RotateRight(),
           "rewritten:", host.readFile(root + "/scans/page_001.jpg", "utf-8") !== before);

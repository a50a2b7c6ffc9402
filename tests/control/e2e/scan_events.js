// e2e: untraced
// The events of a scan run, in order, as the Windows control test
// (tests/control/com_test.cpp, ScansIntoFilesTheViewerShowsAndEdits) hears
// them from DocivaOCX.dll: that test compares its events with the EVENT
// lines this page prints. So this page takes exactly the test's steps, with
// the test's scanner: no warm-up, one feeder of four sheets, the only one
// attached (the flatbed's USB place holds another maker's device here, as
// the Windows test attaches one scanner). The pages go into a folder
// inside the control's own, as the test's do.
//
// OnScanEnd is printed after the viewer's button reports: the run's end
// and the pages reaching the viewer come from different threads, so which
// is heard first is the machine's choice (the Windows test moves it the
// same way).
// The two lists: the control raised them when it was made, before this
// page ran (the host keeps them for host.wait); the plug-in raises them at
// the page's first Initialize, which the control takes and ignores.
dociva.Initialize("");
var heard = [["OnProfileReady", host.wait("OnProfileReady", 10000)],
             ["OnSourceReady", host.wait("OnSourceReady", 10000)]];
function hear(name) { return function (data) { heard.push([name, data]); }; }
var OnAfterScannerRegister = hear("OnAfterScannerRegister");
var OnAfterSelectProfile = hear("OnAfterSelectProfile");
var OnAfterScanSizesReady = hear("OnAfterScanSizesReady");
var OnUIButtonStatusChange = hear("OnUIButtonStatusChange");
var OnScanEnd = hear("OnScanEnd");

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetOutputFormatJPG(1);
dociva.SetResolution(100);
dociva.SetSavetoFolder(host.root + "/module/scans");
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnScanEnd", 60000);
host.idle(60000);

var ends = heard.filter(function (e) { return e[0] === "OnScanEnd"; });
heard.filter(function (e) { return e[0] !== "OnScanEnd"; }).concat(ends).forEach(function (e) {
    host.print("EVENT", e[0], e[1]);
});
host.print("files:", host.listDir(host.root + "/module/scans").join(" "), "in the viewer:", dociva.GetFileCount());

// e2e: untraced
// One status the test device is told to give on every read (run once per
// status with its own test.conf line): the run ends with OnScanEnd code 0
// as every run does, the status log holds the SDK status the device's
// status maps to, and no file is left, not even the page being read.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var log = root + "/home/Documents/dociva files/dociva_status.log";
var ends = [];
function OnScanEnd(data) { ends.push(data); }

dociva.ScannerRegister("SANE Test Device");
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetScanType(1);
dociva.SetResolution(75);
dociva.SetCustomScanSize(0, 0, 2, 1.5, 0);
dociva.SetSavetoFolder(root + "/scans");
dociva.ScanStart("SANE Test Device");
host.wait("OnScanEnd", 120000);
host.idle(120000);
host.print("OnScanEnd:", ends.join(" "));
host.print("log:", JSON.stringify(host.readFile(log, "utf-16le").replace(/\r\nTIME=.*$/, "")));
host.print("files:", host.fileExists(root + "/scans") ? host.listDir(root + "/scans").length : "no folder",
           "in the viewer:", dociva.GetFileCount());

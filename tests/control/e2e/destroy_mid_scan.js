// e2e: untraced
// The page goes away in the middle of a run: the control is destroyed
// while the SDK is still writing. Nothing hangs, nothing crashes.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetResolution(100);
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiTIFF(1);
dociva.SetSavetoFolder(root + "/scans");
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnUIButtonStatusChange", 60000);    // the first file is in the viewer
host.print("files in the viewer when the page went away:", dociva.GetFileCount() > 0);
host.exit(0);

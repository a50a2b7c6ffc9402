// e2e: untraced
// Output folders named without a drive are the module folder's, as
// profiles are, never the host's current folder (dociva run starts in the
// test's root, a browser in a folder of its own).
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var scanner = "Dociva Virtual Flatbed 305";
function shown(path) { return path.replace(root, "@ROOT@"); }
function scanInto(what) {
    dociva.ScanStart(scanner);
    host.wait("OnScanEnd", 60000);
    host.idle(60000);
    var folder = JSON.parse(host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) {
        return l.length; }).pop()).settings.saveToPath;
    host.print(what + ":", "the SDK wrote into", shown(folder), "holding", host.listDir(folder).length, "files");
}

dociva.ScannerRegister(scanner);
dociva.SetOutputFormatJPG(1);
dociva.SetResolution(75);
dociva.SetSavetoFolder("page-scans");
scanInto("SetSavetoFolder(\"page-scans\")");
dociva.SetSavetoFolder("../beside-the-module");
scanInto("SetSavetoFolder(\"../beside-the-module\")");
dociva.SelectProfile("profiles/relative.ini");
scanInto("a profile's SaveToPath=profile-scans");
host.print("in the host's current folder:", host.fileExists(root + "/page-scans"), host.fileExists(root + "/profile-scans"));

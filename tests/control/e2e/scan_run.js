// e2e: untraced
// A whole run: 20 generated pages into four formats. Every file reaches
// the viewer, each with its four button reports; the run ends once; the
// edits that follow rewrite the files.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var ends = [], reports = 0, warmups = 0;
function OnScanEnd(data) { ends.push(data); }
function OnUIButtonStatusChange(data) { reports++; }

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetResolution(100);
dociva.SetOutputFormatTIFF(1);
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetOutputFormatPNG(1);
dociva.SetSavetoFolder(root + "/scans");
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.ScanStart("Dociva Virtual Duplex 300");
dociva.ScanStart("Dociva Virtual Duplex 300");    // a run is in progress: ignored
host.print("viewer while scanning:", dociva.GoNextPage(), dociva.ZoomIn());
host.wait("OnScanEnd", 120000);
host.idle(120000);

var files = host.listDir(root + "/scans");
host.print("OnScanEnd:", ends.length, ends[0]);
host.print("files written:", files.length, "in the viewer:", dociva.GetFileCount());
host.print("reports per file:", reports / dociva.GetFileCount());
host.print("first files:", files.slice(0, 4).join(" "), "last:", files[files.length - 1]);

var starts = host.readFile(root + "/sdk-trace.jsonl").split("\n").filter(function (l) { return l.length; });
var settings = JSON.parse(starts[0]).settings;
host.print("starts:", starts.length, "outImg:", JSON.stringify(settings.outImg), "scanType:", settings.scanType,
           "saveToPath ends:", settings.saveToPath.slice(-6));

// Editing the first file writes it back at once.
dociva.GoFirstPage();
var before = host.readFile(root + "/scans/" + files[0]);
host.print("rotate:", dociva.RotateRight(), "undo report follows");
host.print("rewritten:", host.readFile(root + "/scans/" + files[0]) !== before,
           "files after edit:", host.listDir(root + "/scans").length);

// A page's script, run by `dociva run` against the example installation:
// it finds the scanners, registers the sheet-fed one, picks a profile,
// scans a batch into JPEG pages and one multi-page PDF, then rotates and
// crops a page in the viewer and saves pictures of the viewer.
//
//   dociva run --module build/dev/module examples/demo.js
//
// DEMO_OUT (environment) is not visible to scripts, so the output folder is
// the folder "demo-output" beside the module folder.
var module = dociva.GetConfigPath().replace(/[\/\\]dociva\.ini$/, "");
var out = module.replace(/[\/\\]module$/, "") + "/demo-output";

function show(name) {
    return function (data) {
        var text = data.length > 160 ? data.slice(0, 157) + "..." : data;
        host.print("  event " + name + ": " + text);
    };
}
OnAfterScannerRegister = show("OnAfterScannerRegister");
OnAfterScanSizesReady = function (data) {
    var sizes = JSON.parse(data).sizes.map(function (s) { return s.name; });
    host.print("  event OnAfterScanSizesReady: " + sizes.join(", "));
};
OnAfterSelectProfile = show("OnAfterSelectProfile");
OnScanEnd = show("OnScanEnd");
var reports = 0;
OnUIButtonStatusChange = function (data) { reports++; };

host.print("The installed scanners:");
var sources = JSON.parse(host.wait("OnSourceReady", 1000)).sources;
for (var i = 0; i < sources.length; i++) host.print("  " + sources[i].product_name + "  (" + sources[i].dir + ")");
var scanner = sources.filter(function (s) { return /Duplex/.test(s.product_name); })[0].product_name;

host.print("Registering " + scanner + ":");
dociva.ScannerRegister(scanner);

host.print("Selecting the profile \"Colour 300\" and choosing the output:");
dociva.SelectProfile("profiles/Colour 300.ini");
dociva.SetResolution(150);
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetSavetoFolder(out);
dociva.SetSavetoFileName("demo_%COUNTER3%");
host.print("  file names look like " + dociva.GetFileNameExample("demo_%COUNTER3%"));

host.print("Scanning:");
dociva.ScanStart(scanner);
host.sleep(200);
var p = host.progress();
host.print("  progress dialog: " + (p.visible ? "shown" : "hidden") + ", \"" + p.text + "\" " + p.pos + "/" + p.max);
host.wait("OnScanEnd", 120000);
host.idle(120000);
host.print("  " + dociva.GetFileCount() + " files in the viewer, " + reports + " button-state events");

host.print("Editing in the viewer:");
// Four pages a screen, from the first: the scan as it came.
dociva.ViewThumb4();
dociva.GoFirstPage();
host.screenshot(out + "/viewer-4-pages.png");
dociva.ViewSinglePage();
dociva.GoFirstPage();
host.print("  rotate right: " + dociva.RotateRight());
host.screenshot(out + "/viewer-rotated-page.png");
// The first Cut shows the crop rectangle round the whole page; its
// corner handles are dragged in to the printed part of the page; the
// second Cut crops to it. (The page fills 74,33 to 592,768 of the viewer.)
dociva.Cut();
function dragHandle(fromX, fromY, toX, toY) {
    host.mouse("down", fromX, fromY);
    host.mouse("drag", (fromX + toX) / 2, (fromY + toY) / 2);
    host.mouse("drag", toX, toY);
    host.mouse("up", toX, toY);
}
dragHandle(74, 33, 250, 110);
dragHandle(591, 767, 510, 690);
host.screenshot(out + "/viewer-crop-rectangle.png");
host.print("  crop: " + dociva.Cut() + " (" + reports + " button-state events so far)");
host.screenshot(out + "/viewer-edited-page.png");
host.print("Files written to " + out + ":");
var files = host.listDir(out);
host.print("  " + files.join("  "));

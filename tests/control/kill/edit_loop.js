// The kill stage's page (tests/control/kill/kill_stage.py): scans a 20-page
// multi-page TIFF and a 20-page multi-page PDF, then rotates and deletes
// their pages in page mode, in a loop, until the stage kills the process.
// Every step is printed before it starts ("STEP") and when it is done
// ("DONE"), so the stage knows which page counts each file may hold. The
// choices come from the seed the stage hands over, so a failing round can
// be run again as it was.
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var params = JSON.parse(host.readFile(root + "/kill-params.json"));
var state = params.seed % 2147483647 || 1;
function random(n) {
    state = (state * 48271) % 2147483647;
    return state % n;
}

dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.SetScanType(3);
dociva.SetResolution(50);
dociva.SetCustomScanSize(0, 0, 3, 4, 0);
dociva.SetOutputFormatMultiTIFF(1);
dociva.SetOutputFormatMultiPDF(1);
dociva.SetSavetoFolder(params.folder);
dociva.SetSavetoFileName("doc_%COUNTER3%");
host.print("SCAN");
dociva.ScanStart("Dociva Virtual Duplex 300");
host.wait("OnScanEnd", 60000);
host.idle(60000);
var names = host.listDir(params.folder);
host.print("SCANNED", dociva.GetFileCount(), names.join(" "));

// The viewer holds the multi-page TIFF first, then the PDF (the SDK hands
// over its multi-page files in the order of their format codes).
var pages = [20, 20];
function openPageMode(doc, page) {
    dociva.ViewThumb4();
    dociva.ViewSinglePage();
    dociva.GoFirstPage();
    for (var d = 0; d < doc; d++) dociva.GoNextPage();
    host.doubleClick(300, 300);
    for (var p = 0; p < page; p++) dociva.GoNextPage();
}
for (var step = 0; ; step++) {
    var doc = random(2);
    // Deletes while a file has pages to spare; a page is always left to
    // turn, in page mode (two pages or more).
    var del = pages[doc] > 2 && random(3) === 0;
    var page = random(pages[doc]);
    openPageMode(doc, page);
    host.print("STEP", step, doc, del ? "delete" : "rotate", page, pages[doc]);
    var result = del ? dociva.DeleteImage() : dociva.RotateRight();
    if (del && result === 0) pages[doc]--;
    host.print("DONE", step, doc, del ? "delete" : "rotate", result, pages[doc]);
}

// e2e: untraced
// SANE's test device through the control: registered under the product
// name `dociva driver add-sane` gave it, then its feeder (10 sheets) in
// colour, grey and black and white at 150 and 300 dpi into JPEG, TIFF,
// multi-page TIFF and multi-page PDF files, and its flatbed once with a
// custom area. Every file reaches the viewer; every run ends with code 0
// and a success record in the status log. The FILE lines after the run
// give each file's pixel size (2 x 1.5 inches: 300 x 225 at 150 dpi, 600 x
// 450 at 300 dpi; the flatbed's 2.5 x 1.75 inches at 200 dpi: 500 x 350).
var module = dociva.GetConfigPath().replace(/\/dociva\.ini$/, "");
var root = module.replace(/\/module$/, "");
var log = root + "/home/Documents/dociva files/dociva_status.log";
var ends = [], registered = [];
function OnScanEnd(data) { ends.push(data); }
function OnAfterScannerRegister(data) { registered.push(data); }

dociva.ScannerRegister("SANE Test Device");
host.print("registered:", registered[0]);

var runs = [
    // name, scan mode, dpi, formats
    ["colour150", 2, 150, ["JPG", "MultiPDF"]],
    ["grey300", 1, 300, ["TIFF", "MultiPDF"]],
    ["bw150", 0, 150, ["TIFF", "MultiTIFF"]],
    ["colour300", 2, 300, ["MultiTIFF"]],
];
var formats = ["BMP", "JPG", "PDF", "TIFF", "PNG", "GIF", "MultiTIFF", "MultiPDF"];
var filesBefore = 0;
for (var i = 0; i < runs.length; i++) {
    var run = runs[i];
    for (var f = 0; f < formats.length; f++) dociva["SetOutputFormat" + formats[f]](run[3].indexOf(formats[f]) >= 0 ? 1 : 0);
    dociva.SetScanType(1);
    dociva.SetScanMode(run[1]);
    dociva.SetResolution(run[2]);
    dociva.SetCustomScanSize(0, 0, 2, 1.5, 0);
    dociva.SetSavetoFolder(root + "/scans/" + run[0]);
    dociva.SetSavetoFileName("page_%COUNTER3%");
    ends = [];
    dociva.ScanStart("SANE Test Device");
    host.wait("OnScanEnd", 120000);
    host.idle(120000);
    var written = host.listDir(root + "/scans/" + run[0]);
    host.print(run[0] + ":", "OnScanEnd", ends.join(" "), "files", written.length,
               "new in the viewer", dociva.GetFileCount() - filesBefore,
               "log", JSON.stringify(host.readFile(log, "utf-16le").replace(/\r\nTIME=.*$/, "")));
    filesBefore = dociva.GetFileCount();
}

// The flatbed: one sheet, the area asked for.
dociva.SetOutputFormatMultiTIFF(0);
dociva.SetOutputFormatPNG(1);
dociva.SetScanType(0);
dociva.SetScanMode(2);
dociva.SetResolution(200);
dociva.SetCustomScanSize(0.5, 0.25, 2.5, 1.75, 0);
dociva.SetSavetoFolder(root + "/scans/flatbed");
ends = [];
dociva.ScanStart("SANE Test Device");
host.wait("OnScanEnd", 120000);
host.idle(120000);
host.print("flatbed:", "OnScanEnd", ends.join(" "), "files", host.listDir(root + "/scans/flatbed").join(" "),
           "new in the viewer", dociva.GetFileCount() - filesBefore);

// Registration outcomes, in the order the page sees them.
function OnAfterScanSizesReady(data) {
    var sizes = JSON.parse(data);
    host.print("sizes:", sizes.count, "default:", sizes.default_size_id, "first:", sizes.sizes[0].name,
               "custom w:", sizes.sizes[sizes.sizes.length - 1].w);
}

dociva.ScannerRegister("");
dociva.ScannerRegister(null);
try { dociva.ScannerRegister(); } catch (e) { host.print("refused:", e.message); }
// Product names compare exactly: a name differing only in case is not installed.
dociva.ScannerRegister("dociva virtual duplex 300");
dociva.ScannerRegister("No Such Scanner");
dociva.GetDriverPath();
dociva.ScannerRegister("Dociva Virtual Duplex 300");
dociva.GetDriverPath();
// Registering again repeats both events.
dociva.ScannerRegister("Dociva Virtual Duplex 300");
// Another scanner becomes the current one; the first stays open.
dociva.ScannerRegister("Dociva Virtual Flatbed 305");
dociva.GetDriverPath();
dociva.Initialize("anything at all");
dociva.AboutBox();
dociva.invoke(1, "Dociva Virtual Duplex 300");
dociva.GetDriverPath();

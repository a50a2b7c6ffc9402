// ScanStart refusals come at once, each with its code: no installed driver
// of that exact name (1), a driver installed but not registered (2).
dociva.ScanStart("");
dociva.ScanStart(null);
dociva.ScanStart("No Such Scanner");
dociva.ScanStart("dociva virtual duplex 300");
dociva.ScanStart("Dociva Virtual Flatbed 305");
// The viewer methods work again at once: the control is idle.
dociva.GoNextPage();

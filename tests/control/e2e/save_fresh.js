// SaveProfile right after construction writes only ScanDpi (0, its reset
// value): every other field is still without a value.
dociva.SaveProfile();
host.print("[" + host.readFile(dociva.GetConfigPath()) + "]");
// With a current scanner the driver folder is written too.
dociva.ScannerRegister("Dociva Virtual Flatbed 305");
dociva.SaveProfile();
host.print("[" + host.readFile(dociva.GetConfigPath()) + "]");

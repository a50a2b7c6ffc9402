// A page loaded for the first time: the control's window reports the
// profiles and the two attached example scanners, none of them current.
// Registering one makes it the current scanner for the next page load.
host.print("files in the viewer:", dociva.GetFileCount());
dociva.ScannerRegister("Dociva Virtual Duplex 300");

// The folder and program choosers give the chosen path or an empty text;
// nothing is stored.
host.answer("folder", "/home/user/Documents/dociva files/invoices");
dociva.SelectFolder();
host.answer("folder", null);
dociva.SelectFolder();
host.answer("file", "/opt/tools/viewer.exe");
dociva.SelectAPFile();
host.answer("file", null);
dociva.SelectAPFile();

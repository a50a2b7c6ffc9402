// Setters keep their rules; SaveProfile writes what has a value into the
// active profile.
dociva.SetScanType(1);
dociva.SetScanMode(2);
dociva.SetResolution(600);
dociva.SetGamma(18);
dociva.SetBrightness(-20);
dociva.SetContrast(35);
dociva.SetProcessGrayscaleChannel(2);
dociva.SetProcessGrayscaleChannel(9);     // out of range: ignored
dociva.SetProcessBWThreshold(128);
dociva.SetRotate(2);
dociva.SetRotate(4);                      // out of range: ignored
dociva.SetProcessAutoOrientation(1);      // stored as 2
dociva.SetContinuousScan(1);
dociva.SetProcessBlankPageRemoval(1);
dociva.SetProcessPunchHoleRemoval(0);
dociva.SetSplitMerge(3);                  // out of range: ignored
dociva.SetEjectPaperDirection(1);
dociva.SetOutputFormatPDF(1);
dociva.SetOutputFormatPDF(1);             // once in the set
dociva.SetOutputFormatMultiTIFF(1);
dociva.SetOutputFormatJPG(1);
dociva.SetOutputFormatBMP(1);
dociva.SetOutputFormatBMP(2);             // anything but 1 removes
dociva.SetOutputJpegCompressionLevel(75);
dociva.SetOutputScaleX(150);
dociva.SetOutputScaleY(50);
dociva.SetOutputChangeResolution(200);
dociva.SetOutputPageSplit(1);
dociva.SetProcessAutoMultiCrop(1);
dociva.SetOutputBWCompression(50);        // 0.5
dociva.SetProcessInvert(1);
dociva.SetProcessStrokeFillSize(-5);      // stored as 0
dociva.SetProcessStrokeFillPosition(1);
dociva.SetScanSize(5);                    // a fixed size: AutoSize 0
dociva.SetCustomScanSize(0, 0, 21.59, 27.94, 1);   // centimetres: 8.5 x 11 inches
dociva.SetSavetoFileName("page_%COUNTER3%");
dociva.SetSavetoFolder("scans folder");
dociva.SetSavetoLaunchAppPath("");        // empty: cleared, not written
dociva.SetSavetoLaunchAppParams(null);    // null: ignored
dociva.SetOutputSplitFixPages(3);         // kept, never written
dociva.SaveProfile();
host.print(host.readFile(dociva.GetConfigPath()));

// Alert, the file-name example and the watermark dialog.
host.answer("alert", 1);
dociva.Alert("Dociva", "Scan the next batch.");
dociva.Alert(null, "");
dociva.GetFileNameExample("scan_%COUNTER3%");
dociva.GetFileNameExample("invoice_%COUNTER5%_%COUNTER2%");
dociva.GetFileNameExample("plain name");
dociva.GetFileNameExample("100% %d %s %n");
// The watermark dialog opens with the profile's values where the control
// has none; out-of-range transparency and angle keep the earlier values.
host.answer("watermark", {type: 2, position: 8, transparency: 300, text: "DRAFT", textSize: 48, textAngle: 400});
dociva.OpenWatermarkSetting();
host.answer("watermark", {transparency: 200, textAngle: 90});
dociva.OpenWatermarkSetting();
host.answer("watermark", null);
dociva.OpenWatermarkSetting();
dociva.OpenWatermarkSetting();

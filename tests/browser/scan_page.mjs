// The example page in Debian's Chromium, driven by Playwright:
//   node scan_page.mjs URL ROOT PID COMMAND
// URL: the page served by `dociva serve`; ROOT: its installation (scans go
// to ROOT/home/Documents/dociva files); PID and COMMAND (a JSON array):
// the service's process and command line, to restart it. Lists the demo
// scanners, scans JPEG files and a multi-page PDF with the progress bar
// moving, counts the PDF's pages with pdfinfo, then edits through the
// toolbar, and last restarts the service, to which the page connects
// again. Exits 1 at the first check that fails.
//   node scan_page.mjs URL ROOT PID COMMAND windows
// is the same against dociva.exe serve under Wine, which has no PDF library:
// the test sets the control's folder to ROOT/scans (Z:\...) and adds a
// multi-page TIFF, the page scans JPEG files and no PDF, and the TIFF read
// through the client has every page (ImageMagick's identify counts them).
import { execFileSync, spawn } from "node:child_process";
import { readdirSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { chromium } from "playwright-core";

const [url, root, servicePid, serviceCommand, variant] = process.argv.slice(2);
const windows = variant === "windows";
const PRODUCT = "Dociva Virtual Duplex 300";
const PAGES = 4;
const scans = windows ? join(root, "scans") : join(root, "home", "Documents", "dociva files");
const multiPage = windows ? ".tif" : ".pdf";
const pagesIn = (file) => windows
  ? execFileSync("identify", ["-format", "%p\n", file]).toString().split("\n").filter(Boolean).length
  : Number(/^Pages:\s+(\d+)$/m.exec(execFileSync("pdfinfo", [file]).toString())?.[1]);

function check(condition, what) {
  if (!condition) throw new Error(`check failed: ${what}`);
  console.log("ok:", what);
}

let restarted = null;
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
let pageErrors = [];
try {
  const page = await browser.newPage();
  page.on("pageerror", (e) => pageErrors.push(String(e)));
  page.on("console", (m) => { if (m.type() === "error") pageErrors.push(m.text()); });
  await page.goto(url);

  await page.waitForFunction(() => document.querySelectorAll("#scanner option").length >= 2, null, { timeout: 30000 });
  const scanners = await page.$$eval("#scanner option", (options) => options.map((o) => o.value));
  check(scanners.includes(PRODUCT) && scanners.length === 2, `the page lists the demo scanners: ${scanners}`);
  const profiles = await page.$$eval("#profile option", (options) => options.map((o) => o.textContent));
  check(profiles.includes("Colour 300"), `the page lists the profiles: ${profiles}`);

  // The client: methods by name, refusals as errors.
  const denied = await page.evaluate(() => window.dociva.SetSavetoLaunchAppPath("/bin/sh").then(() => "ran", (e) => e.error));
  check(denied === "denied", "a launch setting is refused to the page");
  const mismatch = await page.evaluate(() => window.dociva.SetResolution("high").then(() => "ran", (e) => e.hresult));
  check(mismatch === "0x80020005", "a wrong argument type is a dispatch refusal");

  await page.evaluate(() => {
    window.seen = [];
    window.dociva.onProgress((s) => window.seen.push({ visible: s.visible, position: s.position, high: s.high }));
  });
  if (windows) {
    const folder = "Z:" + scans.replaceAll("/", "\\");
    await page.evaluate((f) => window.dociva.SetSavetoFolder(f), folder);
    await page.evaluate(() => window.dociva.SetOutputFormatMultiTIFF(1));
    await page.uncheck("#pdf");
  }
  await page.selectOption("#scanner", PRODUCT);
  await page.fill("#resolution", "150");
  await page.click("#scan");
  // The bar as drawn: sampled while the scan runs.
  const drawn = new Set();
  const deadline = Date.now() + 120000;
  while (Date.now() < deadline) {
    const state = await page.evaluate(() => ({
      hidden: document.getElementById("progress").hidden,
      value: document.getElementById("progress-bar").value,
      status: document.getElementById("status").textContent,
    }));
    if (!state.hidden) drawn.add(state.value);
    if (state.status !== "Scanning...") break;
    await page.waitForTimeout(20);
  }
  check(await page.textContent("#status") === "Scan finished.", "the scan finished");
  const seen = await page.evaluate(() => window.seen);
  const positions = seen.filter((s) => s.visible).map((s) => s.position);
  check(positions.length >= 2 && positions.some((p) => p > 0), `the progress moved: ${JSON.stringify(positions)}`);
  check(drawn.size >= 2, `the progress bar was drawn at several values: ${[...drawn]}`);
  check(seen.at(-1).visible === false || (await page.isHidden("#progress")), "the progress bar is hidden at the end");

  await page.waitForFunction((n) => document.getElementById("file-count").value === String(n), PAGES + 1,
                             { timeout: 60000 });
  check(true, `the viewer holds ${PAGES + 1} files`);
  const files = readdirSync(scans).filter((f) => f.endsWith(".jpg") || f.endsWith(multiPage)).sort();
  const pdf = files.filter((f) => f.endsWith(multiPage));
  check(files.filter((f) => f.endsWith(".jpg")).length === PAGES && pdf.length === 1, `files: ${files}`);
  check(pagesIn(join(scans, pdf[0])) === PAGES, `${pdf[0]} holds ${PAGES} pages`);

  const saved = join(root, "downloaded" + multiPage);
  if (!windows) {
    // The PDF downloaded through the client (by its id) has every page.
    const downloadPromise = page.waitForEvent("download");
    await page.click("#download");
    const download = await downloadPromise;
    await download.saveAs(saved);
    check(download.suggestedFilename() === pdf[0], `the page downloaded ${download.suggestedFilename()}`);
  } else {
    // The page's button offers PDFs only: the TIFF read through the client.
    const bytes = await page.evaluate(async (name) => {
      const file = (await window.dociva.files()).find((f) => f.name === name);
      return file ? [...new Uint8Array(await (await window.dociva.file(file.file)).arrayBuffer())] : null;
    }, pdf[0]);
    check(bytes !== null, `the client lists ${pdf[0]}`);
    writeFileSync(saved, Buffer.from(bytes));
  }
  check(pagesIn(saved) === PAGES, `the ${multiPage} read through the client has ${PAGES} pages`);

  // The viewer in the page: the control's picture, redrawn after an edit.
  const picture = () => page.evaluate(() => {
    const img = document.getElementById("viewer");
    return img.complete ? { src: img.src, width: img.naturalWidth, height: img.naturalHeight } : null;
  });
  await page.waitForFunction(() => document.getElementById("viewer").naturalWidth === 665, null, { timeout: 30000 });
  const shown = await picture();
  check(shown.width === 665 && shown.height === 800, "the page shows the viewer's 665 x 800 picture");

  // Editing through the toolbar acts on the files: a page's width and
  // height swap with a quarter turn and come back with Undo.
  const size = (file) => execFileSync("identify", ["-format", "%w %h", file]).toString().split(" ").map(Number);
  await page.click("button[data-call=GoFirstPage]");
  const first = join(scans, files[0]);
  const [width, height] = size(first);
  await page.click("button[data-call=RotateRight]");
  await page.waitForFunction(() => [...document.querySelectorAll("#log li")].some((li) => li.textContent === "RotateRight -> 0"));
  check(size(first).join() === [height, width].join(), `Rotate right turned ${files[0]} (${width}x${height})`);
  await page.waitForFunction((before) => document.getElementById("viewer").src !== before, shown.src, { timeout: 10000 });
  check(true, "the viewer's picture in the page changed with the rotation");
  await page.click("button[data-call=Undo]");
  await page.waitForFunction(() => [...document.querySelectorAll("#log li")].some((li) => li.textContent === "Undo -> 0"));
  check(size(first).join() === [width, height].join(), "Undo turned it back");
  // Crop by pointer: the first Crop shows the rectangle, a rubber band
  // drawn with the mouse on the picture replaces it, the second Crop cuts.
  await page.click("button[data-call=Cut]");
  await page.waitForFunction(() => [...document.querySelectorAll("#log li")].filter((li) => li.textContent === "Cut -> 0").length === 1);
  const box = await page.locator("#viewer").boundingBox();
  await page.mouse.move(box.x + 150, box.y + 200);
  await page.mouse.down();
  for (let i = 1; i <= 10; ++i) await page.mouse.move(box.x + 150 + i * 20, box.y + 200 + i * 25);
  await page.mouse.up();
  await page.waitForTimeout(300);
  await page.click("button[data-call=Cut]");
  await page.waitForFunction(() => [...document.querySelectorAll("#log li")].filter((li) => li.textContent === "Cut -> 0").length === 2);
  const [croppedW, croppedH] = size(first);
  check(croppedW < width && croppedH < height, `the rubber band cropped ${files[0]}: ${width}x${height} -> ${croppedW}x${croppedH}`);

  await page.click("button[data-call=DeleteImage]");
  await page.waitForFunction((n) => document.getElementById("file-count").value === String(n), PAGES, { timeout: 30000 });
  check(true, "Delete took a file out of the viewer");
  check(pageErrors.length === 0, `no errors in the page: ${pageErrors}`);

  // The service restarts: the client connects again, to a new control
  // that lists the scanners again.
  if (servicePid) {
    await page.evaluate(() => document.getElementById("scanner").replaceChildren());
    process.kill(Number(servicePid), "SIGTERM");
    await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Connection lost"),
                               null, { timeout: 30000 });
    check(true, "the page saw the service go");
    const [program, ...args] = JSON.parse(serviceCommand);
    restarted = spawn(program, args, { stdio: ["ignore", "ignore", "inherit"] });
    await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Connected again"),
                               null, { timeout: 30000 });
    await page.waitForFunction(() => document.querySelectorAll("#scanner option").length === 2, null, { timeout: 30000 });
    check(true, "the client connected again and the new control listed the scanners");
    check(await page.evaluate(() => window.dociva.GetFileCount()) === 0, "the new session has a new control");
  }
} finally {
  await browser.close();
  if (restarted) {
    restarted.kill("SIGTERM");
    await new Promise((resolve) => restarted.on("exit", resolve));
  }
}

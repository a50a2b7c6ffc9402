// The demo's browser part (scripts/demo): the example page in headless
// Chromium, a scan, a rotation and a crop drawn with the mouse on the live
// viewer, then a screenshot of the page.
//   node demo_page.mjs URL SCREENSHOT.png
import { chromium } from "playwright-core";

const [url, screenshot] = process.argv.slice(2);
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
try {
  const page = await browser.newPage({ viewport: { width: 1100, height: 1500 } });
  await page.goto(url);
  await page.waitForFunction(() => document.querySelectorAll("#scanner option").length > 0, null, { timeout: 30000 });
  console.log("scanners:", (await page.$$eval("#scanner option", (o) => o.map((x) => x.value))).join(", "));
  await page.selectOption("#scanner", "Dociva Virtual Duplex 300");
  await page.click("#scan");
  await page.waitForFunction(() => document.getElementById("status").textContent !== "Scanning...", null,
                             { timeout: 180000 });
  await page.waitForFunction(() => Number(document.getElementById("file-count").value) >= 5, null, { timeout: 60000 });
  console.log("status:", await page.textContent("#status"), "files in the viewer:", await page.textContent("#file-count"));
  const logged = (text) => page.waitForFunction(
    (t) => [...document.querySelectorAll("#log li")].some((li) => li.textContent === t), text);
  await page.click("button[data-call=GoFirstPage]");
  await page.click("button[data-call=RotateRight]");
  await logged("RotateRight -> 0");
  await page.click("button[data-call=Cut]");
  await logged("Cut -> 0");
  const box = await page.locator("#viewer").boundingBox();
  await page.mouse.move(box.x + 120, box.y + 150);
  await page.mouse.down();
  for (let i = 1; i <= 10; ++i) await page.mouse.move(box.x + 120 + i * 35, box.y + 150 + i * 30);
  await page.mouse.up();
  await page.click("button[data-call=Cut]");
  await page.waitForFunction(
    () => [...document.querySelectorAll("#log li")].filter((li) => li.textContent === "Cut -> 0").length === 2);
  await page.waitForTimeout(500);
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log("screenshot:", screenshot);
} finally {
  await browser.close();
}

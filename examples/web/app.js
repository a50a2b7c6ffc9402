// The example page: what a web developer copies from. It connects to the
// service it was served by, lists the scanners and profiles the control
// reports, scans with a progress bar and edits the scanned files through
// the viewer's methods.
import { Dociva } from "/dociva.js";

const $ = (id) => document.getElementById(id);
const PRODUCT_OPTION = (source) => new Option(source.product_name, source.product_name, false, source.is_default === 1);

function log(text) {
  const item = document.createElement("li");
  item.textContent = text;
  $("log").append(item);
}

function showProgress(state) {
  $("progress").hidden = !state.visible;
  $("progress-bar").max = Math.max(1, state.high - state.low);
  $("progress-bar").value = Math.max(0, state.position - state.low);
  $("progress-text").textContent = state.text;
}

async function updateCount(d) {
  $("file-count").value = await d.GetFileCount();
}

async function main() {
  let d;
  try {
    d = await Dociva.connect({
      port: Number(location.port) || Dociva.defaultPort,
      onProgress: showProgress,
      events: {
        OnSourceReady: (sources) => {
          $("scanner").replaceChildren(...sources.sources.map(PRODUCT_OPTION));
          $("scan").disabled = sources.count === 0;
        },
        OnProfileReady: (profiles) => {
          const list = (profiles.profiles || []).filter((p) => p && p.name);
          $("profile").replaceChildren(new Option("(none)", ""), ...list.map((p) => new Option(p.name, p.path)));
        },
      },
    });
  } catch (e) {
    $("status").textContent = `Cannot reach dociva serve: ${e.message}`;
    return;
  }
  window.dociva = d;  // for the console (and the browser test)
  d.viewer($("viewer"));
  $("status").textContent = "Connected.";

  d.on("OnAfterScannerRegister", (r) => log(`registered: ${r.message}`));
  d.on("OnUIButtonStatusChange", () => updateCount(d));
  d.on("OnScanEnd", (r) => {
    $("status").textContent = r.code === 0 ? "Scan finished."
      : r.code === 4 ? "Scan stopped; the pages scanned before it are kept." : `Scan ended with code ${r.code}.`;
    $("scan").disabled = false;
    $("stop").disabled = true;
    updateCount(d);
  });
  d.onConnection((connected) => {
    $("status").textContent = connected ? "Connected again (a new session)." : "Connection lost; retrying...";
  });

  $("profile").addEventListener("change", async () => {
    if ($("profile").value) await d.SelectProfile($("profile").value);
  });

  $("settings").addEventListener("submit", async (e) => {
    e.preventDefault();
    const product = $("scanner").value;
    $("scan").disabled = true;
    $("status").textContent = "Scanning...";
    try {
      await d.ScannerRegister(product);
      await d.SetResolution(Number($("resolution").value));
      await d.SetOutputFormatJPG($("jpeg").checked ? 1 : 0);
      await d.SetOutputFormatMultiPDF($("pdf").checked ? 1 : 0);
      $("stop").disabled = false;
      await d.ScanStart(product);
    } catch (error) {
      $("status").textContent = `Refused: ${error.message}`;
      $("scan").disabled = false;
      $("stop").disabled = true;
    }
  });

  // 0: stopping (OnScanEnd code 4 follows); 1: nothing left to stop; 2: the
  // scanner's SDK cannot stop a scan.
  $("stop").addEventListener("click", async () => {
    const answer = await d.ScanCancel();
    if (answer === 0) $("status").textContent = "Stopping...";
    else if (answer === 2) $("status").textContent = "This scanner cannot stop a scan once started.";
  });

  // The scanned PDF, read through the service by its id (never by a path):
  // here offered as a download; a page would upload it to its own server.
  $("download").addEventListener("click", async () => {
    const pdf = (await d.files()).find((f) => f.name.toLowerCase().endsWith(".pdf"));
    if (!pdf) { $("status").textContent = "No PDF in the viewer."; return; }
    const blob = await d.file(pdf.file);
    const link = $("download-link");
    if (link.href) URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(blob);
    link.download = pdf.name;
    link.textContent = `${pdf.name} (${pdf.pages} pages)`;
    link.hidden = false;
    link.click();
  });

  for (const button of $("toolbar").querySelectorAll("button[data-call]")) {
    button.addEventListener("click", async () => {
      const result = await d.invoke(button.dataset.call);
      log(`${button.dataset.call} -> ${result}`);
      updateCount(d);
    });
  }
}

main();

#!/usr/bin/env python3
"""What the bridge costs a page, over loopback, against a fresh installation
with the demo scanners (the same set-up as tests/bridge/raw_client_test.py):

  call_ms        round trip of GetFileCount, p50 and p99 over 2000 calls
  cycles         with --cycles N: N sessions one after another, each
                 registering, scanning 4 JPEG pages and leaving; the
                 service's resident memory after the first and after the
                 last, and the temporary files left behind (none allowed)
  scan_s         with --scan-compare: a 20-page 200 dpi JPEG scan (the demo
                 duplex feeder set to 20 pages, no warm-up) from ScanStart
                 until the viewer holds every file, through the service
                 and through `dociva run` in the same installation,
                 3 runs each, medians
  picture_ms     from sending RotateRight/RotateLeft to the new viewer
                 picture in the client, p50 and p99 over 20 edits, and
                 the part of it after the edit's reply (the edit itself
                 writes the file back first)

  /usr/bin/python3 bench/bridge_bench.py --dociva build/release/tools/dociva \\
      --module build/release/module --examples examples/install-demo.sh
"""
import argparse
import asyncio
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "bridge"))
import raw_client_test as rc  # noqa: E402


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


async def measure(service):
    s = await rc.Session.open(service)
    await s.event("OnSourceReady")
    for _ in range(100):  # warm up
        await s.call("GetFileCount")
    calls = []
    for _ in range(2000):
        start = time.perf_counter()
        await s.call("GetFileCount")
        calls.append((time.perf_counter() - start) * 1000)

    await s.send({"type": "viewer", "on": True})
    await s.call("ScannerRegister", rc.PRODUCT)
    await s.call("SetResolution", 200)
    await s.call("SetOutputFormatJPG", 1)
    await s.call("SetSavetoFolder", str(service.root / "scans"))
    await s.call("ScanStart", rc.PRODUCT)
    await s.event("OnScanEnd", 120)
    while await s.call("GetFileCount") < rc.PAGES:
        await asyncio.sleep(0.2)
    await rc.latest_picture(s)
    pictures, after = [], []
    for i in range(20):
        s.unread.clear()
        start = time.perf_counter()
        await s.send({"type": "call", "id": "edit%d" % i, "method": "RotateRight" if i % 2 == 0 else "RotateLeft"})
        await s.wait(lambda m: m.get("id") == "edit%d" % i, 30)
        replied = time.perf_counter()
        await s.wait(lambda m: m["type"] == "picture", 30)
        pictures.append((time.perf_counter() - start) * 1000)
        after.append((time.perf_counter() - replied) * 1000)
    await s.close()
    return calls, pictures, after


def resident_kb(service):
    status = pathlib.Path("/proc/%d/status" % service.process.pid).read_text()
    return int(rc.re.search(r"^VmRSS:\s+(\d+)", status, rc.re.M).group(1))


async def cycles(service, count):
    memory = []
    for i in range(count):
        s = await rc.Session.open(service)
        await s.send({"type": "viewer", "on": True})
        await s.call("ScannerRegister", rc.PRODUCT)
        await s.call("SetResolution", 100)
        await s.call("SetOutputFormatJPG", 1)
        await s.call("SetSavetoFolder", str(service.root / "scans" / str(i)))
        await s.call("ScanStart", rc.PRODUCT)
        await s.event("OnScanEnd", 120)
        while await s.call("GetFileCount") < rc.PAGES:
            await asyncio.sleep(0.1)
        await s.close()
        await asyncio.sleep(0.3)
        memory.append(resident_kb(service))
    leftovers = [str(p) for p in (service.root / "scans").rglob(".~*")]
    leftovers += [str(p) for p in pathlib.Path(tempfile.gettempdir()).glob("dociva-viewer-*.png")]
    return memory, leftovers


RUN_SCRIPT = """
dociva.ScannerRegister("%(product)s");
dociva.SetResolution(200);
dociva.SetOutputFormatJPG(1);
dociva.SetSavetoFolder("%(folder)s");
var start = Date.now();
dociva.ScanStart("%(product)s");
host.wait("OnScanEnd", 120000);
while (dociva.GetFileCount() < %(pages)d) host.sleep(20);
host.print("files", dociva.GetFileCount(), "ms", Date.now() - start);
"""


async def bridge_scan(service, folder, pages):
    s = await rc.Session.open(service)
    await s.call("ScannerRegister", rc.PRODUCT)
    await s.call("SetResolution", 200)
    await s.call("SetOutputFormatJPG", 1)
    await s.call("SetSavetoFolder", str(folder))
    start = time.perf_counter()
    await s.call("ScanStart", rc.PRODUCT)
    await s.event("OnScanEnd", 120)
    while await s.call("GetFileCount") < pages:
        await asyncio.sleep(0.02)
    elapsed = time.perf_counter() - start
    await s.close()
    return elapsed


def scan_compare(args, service, pages=20):
    driver = service.root / "install" / "programdata" / "Corvane" / "VirtualDuplex" / "driver" / "module.ini"
    text = driver.read_text()
    text = rc.re.sub(r"^pagesPerBatch=\d+", "pagesPerBatch=%d" % pages, text, flags=rc.re.M)
    text = rc.re.sub(r"^warmupMs=\d+", "warmupMs=0", text, flags=rc.re.M)
    driver.write_text(text)
    through_bridge, through_run = [], []
    for i in range(3):
        through_bridge.append(asyncio.run(bridge_scan(service, service.root / "scans" / ("bridge%d" % i), pages)))
        script = service.root / ("run%d.js" % i)
        script.write_text(RUN_SCRIPT % {"product": rc.PRODUCT, "pages": pages,
                                        "folder": service.root / "scans" / ("run%d" % i)})
        out = subprocess.run([args.dociva, "run", "--module", str(service.module), str(script)], env=service.env,
                             capture_output=True, text=True, check=True).stdout
        through_run.append(int(rc.re.search(r"ms (\d+)", out).group(1)) / 1000)
    b, r = statistics.median(through_bridge), statistics.median(through_run)
    print("scan_s  %d pages: through the service %.2f, through dociva run %.2f (%+.0f %%)" %
          (pages, b, r, (b - r) / r * 100))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--cycles", type=int, default=0)
    parser.add_argument("--scan-compare", action="store_true")
    args = parser.parse_args()
    root = rc.make_root(pathlib.Path(args.module))
    service = rc.Service(args, root)
    try:
        if args.scan_compare:
            scan_compare(args, service)
            return
        if args.cycles:
            memory, leftovers = asyncio.run(cycles(service, args.cycles))
            print("cycles %d  resident MB after the first %.1f, after the last %.1f, peak %.1f" %
                  (args.cycles, memory[0] / 1024, memory[-1] / 1024, max(memory) / 1024))
            print("resident MB every 10 cycles: %s" % " ".join("%.1f" % (m / 1024) for m in memory[::10]))
            print("temporary files left: %d %s" % (len(leftovers), leftovers[:5]))
            return
        calls, pictures, after = asyncio.run(measure(service))
    finally:
        service.process.terminate()
        service.process.wait()
        shutil.rmtree(root, ignore_errors=True)
    print("call_ms     p50 %.3f  p99 %.3f  mean %.3f  (n=%d)" %
          (percentile(calls, 50), percentile(calls, 99), statistics.mean(calls), len(calls)))
    print("picture_ms  p50 %.1f  p99 %.1f  (n=%d)" % (percentile(pictures, 50), percentile(pictures, 99), len(pictures)))
    print("  of which after the edit's reply: p50 %.1f  p99 %.1f" % (percentile(after, 50), percentile(after, 99)))


if __name__ == "__main__":
    main()

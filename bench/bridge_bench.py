#!/usr/bin/env python3
"""What the bridge costs a page, over loopback, against a fresh installation
with the demo scanners (the same set-up as tests/bridge/raw_client_test.py):

  call_ms        round trip of GetFileCount, p50 and p99 over 2000 calls
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
import sys
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True)
    args = parser.parse_args()
    root = rc.make_root(pathlib.Path(args.module))
    service = rc.Service(args, root)
    try:
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

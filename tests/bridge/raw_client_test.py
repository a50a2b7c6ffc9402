#!/usr/bin/env python3
"""Drives `dociva serve` with a client written from docs/bridge.md alone
(Python's websockets, plain sockets for what a browser would never send),
each case against a fresh installation with the demo scanners:

  ROOT/module   a copy of the build's module folder (the bridge module,
                the control's installation)
  ROOT/install  the example scanners (examples/install-demo.sh)
  ROOT/home     HOME
  ROOT/scans    where the pages' scans go

  raw_client_test.py --dociva DOCIVA --module MODULE --examples INSTALL_DEMO CASE

With --wine WINE_RUN --wine-prefix PREFIX, DOCIVA is dociva.exe, run under
Wine in PREFIX, and INSTALL_DEMO is examples/install-demo-wine.sh, which
puts the demo scanners into PREFIX once (its registry, C:\ProgramData and
present USB devices) instead of ROOT/install. The PDF library is not built
for Windows, so there the scans' multi-page file is a TIFF (counted with
ImageMagick's identify) instead of a PDF (pdfinfo).

Cases: scan, dialogs, host, origin, messages, sessions, midscan, viewer,
files, golden, and
browser, which runs tests/browser/scan_page.mjs (the example page in
Chromium) against the service. Each
prints what it checked and exits 1 at the first check that fails.
"""
import argparse
import asyncio
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import websockets
import websockets.exceptions

PRODUCT = "Dociva Virtual Duplex 300"
PAGES = 4  # the demo duplex feeder's pages per start
TIMEOUT = 60


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)
    print("ok:", what)


# ---- the installation and the service ---------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Service:
    def __init__(self, args, root, extra=()):
        self.args = args
        self.root = root
        self.module = root / "module"
        self.port = free_port()
        self.windows = bool(args.wine)
        self.env = dict(os.environ, HOME=str(root / "home"), LC_ALL="C.UTF-8",
                        DOCIVA_SDK_TRACE=self.path(root / "sdk-trace.jsonl"))
        if self.windows:
            if not args.wine_prefix:
                raise Failed("--wine needs --wine-prefix")
            # wine-run.sh runs in this prefix instead of the build's own.
            self.env["DOCIVA_WINEPREFIX"] = args.wine_prefix
        target = args.wine_prefix if self.windows else str(root / "install")
        out = subprocess.run([args.examples, target], check=True, capture_output=True, text=True).stdout
        for name, value in re.findall(r"export (\w+)=(.*)", out):
            self.env[name] = value.strip("'")
        self.process = subprocess.Popen(
            self.command("serve", "--module", self.module_argument(), "--port", str(self.port), *extra),
            env=self.env, stdout=subprocess.PIPE, stderr=sys.stderr, text=True)
        line = self.process.stdout.readline()
        if "listening on http://127.0.0.1:%d/" % self.port not in line:
            self.process.kill()
            raise Failed("the service did not start: %r" % line)
        self.origin = "http://127.0.0.1:%d" % self.port
        self.url = "ws://127.0.0.1:%d/" % self.port

    # With --wine, dociva.exe runs under Wine (its sockets are the host's):
    # paths are given the Windows way, through Wine's Z: drive.
    def command(self, *arguments):
        return ([self.args.wine] if self.args.wine else []) + [self.args.dociva, *arguments]

    def path(self, path):
        """A Linux path as the service names it."""
        return "Z:" + str(path).replace("/", "\\") if self.args.wine else str(path)

    def module_argument(self):
        return self.path(self.module)

    # The file that holds every page of a scan: a PDF where the PDF library
    # is built, else a multi-page TIFF (Windows).
    def multi_page(self):
        return ("SetOutputFormatMultiTIFF", ".tif") if self.windows else ("SetOutputFormatMultiPDF", ".pdf")

    def tool(self, *arguments):
        result = subprocess.run(self.command("serve", "--module", self.module_argument(), *arguments),
                                env=self.env, capture_output=True, text=True)
        result.stdout = result.stdout.replace("\r\n", "\n")
        return result

    # A sanitizer's runtime may start a thread of its own at any time; a
    # count may exceed the one before by that one.
    SPARE_THREADS = 1

    def threads(self):
        status = pathlib.Path("/proc/%d/status" % self.process.pid).read_text()
        return int(re.search(r"^Threads:\s+(\d+)", status, re.M).group(1))

    def stop(self):
        if self.args.wine:
            # Wine ends a Windows program on SIGTERM without its handlers.
            self.process.terminate()
            self.process.wait(30)
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failed("the service did not end within 30 s of SIGTERM")
        check(code == 0, "the service ends with 0 on SIGTERM (got %s)" % code)


def make_root(module):
    root = pathlib.Path(tempfile.mkdtemp(prefix="dociva-bridge-"))

    def link_or_copy(src, dst):
        try:
            os.link(src, dst)
        except OSError:
            shutil.copy2(src, dst)

    shutil.copytree(module, root / "module", copy_function=link_or_copy,
                    ignore=shutil.ignore_patterns("settings.ini", "bridge.ini"))
    for ini in (root / "module").rglob("*.ini"):  # written by the controls: never shared with the build
        data = ini.read_bytes()
        ini.unlink()
        ini.write_bytes(data)
    (root / "home").mkdir()
    (root / "scans").mkdir()
    return root


# ---- a client of the protocol ----------------------------------------------

class Session:
    """One WebSocket session: calls by id, every other message kept in order."""

    def __init__(self, ws):
        self.ws = ws
        self.next_id = 0
        self.seen = []      # every message, in arrival order
        self.unread = []    # messages not taken by a call or a wait yet

    @classmethod
    async def open(cls, service, origin=None):
        ws = await websockets.connect(service.url, origin=origin or service.origin, max_size=None, open_timeout=20)
        session = cls(ws)
        hello = await session.receive()
        check(hello["type"] == "hello" and hello["protocol"] == 1, "a session starts with hello, protocol 1")
        names = [m["name"] for m in hello["methods"]]
        check(len(names) == 83 and "ScanCancel" in names and "ScannerRegister" in names and "OnScanEnd" in hello["events"],
              "hello carries the method table (83) and the events")
        return session

    async def receive(self, timeout=TIMEOUT):
        frame = await asyncio.wait_for(self.ws.recv(), timeout)
        if isinstance(frame, bytes):
            raise Failed("a binary frame without the text frame that says what it is")
        message = json.loads(frame)
        if message["type"] in ("picture", "file"):
            # The binary frame it announces follows at once.
            data = await asyncio.wait_for(self.ws.recv(), timeout)
            if not isinstance(data, bytes) or len(data) != message["bytes"]:
                raise Failed("%s: a binary frame of %d bytes must follow" % (message["type"], message["bytes"]))
            message["png" if message["type"] == "picture" else "data"] = data
        self.seen.append(message)
        return message

    async def send(self, message):
        await self.ws.send(json.dumps(message))

    async def call_reply(self, method, *args):
        self.next_id += 1
        call_id = self.next_id
        await self.send({"type": "call", "id": call_id, "method": method, "args": list(args)})
        while True:
            message = await self.receive()
            if message.get("id") == call_id and message["type"] in ("result", "error"):
                return message
            self.unread.append(message)

    async def call(self, method, *args):
        reply = await self.call_reply(method, *args)
        if reply["type"] != "result":
            raise Failed("%s%r was refused: %r" % (method, args, reply))
        return reply["value"]

    async def wait(self, predicate, timeout=TIMEOUT):
        for i, message in enumerate(self.unread):
            if predicate(message):
                del self.unread[i]
                return message
        deadline = time.monotonic() + timeout
        while True:
            message = await self.receive(max(0.1, deadline - time.monotonic()))
            if predicate(message):
                return message
            self.unread.append(message)

    async def event(self, name, timeout=TIMEOUT):
        message = await self.wait(lambda m: m["type"] == "event" and m["name"] == name, timeout)
        return json.loads(message["data"])

    async def close(self):
        await self.ws.close()


def page_count(path):
    """Pages in a PDF (pdfinfo) or a TIFF (identify); None if it does not open."""
    if str(path).endswith(".pdf"):
        run = subprocess.run(["pdfinfo", str(path)], capture_output=True, text=True)
        found = re.search(r"^Pages:\s+(\d+)$", run.stdout, re.M)
        return int(found.group(1)) if run.returncode == 0 and found else None
    run = subprocess.run(["identify", "-format", "%p\n", str(path)], capture_output=True, text=True)
    return len(run.stdout.split()) if run.returncode == 0 else None


def is_event(name):
    return lambda m: m["type"] == "event" and m["name"] == name


# ---- cases ------------------------------------------------------------------

async def case_scan(service):
    root = service.root
    # A profile that names a program to launch, put among the profiles (by
    # anyone who could write there): a scan from a page still launches
    # nothing.
    colour = (root / "module" / "profiles" / "Colour 300.ini").read_text()
    launching = root / "module" / "profiles" / "Launching.ini"
    launching.write_text(colour.replace("[ScanParams]", "[ScanParams]\nAPPath=/usr/bin/touch\nAPParams=%s" %
                                        (root / "launched")))
    outside = root / "downloaded.ini"
    outside.write_text(launching.read_text())

    s = await Session.open(service)
    sources = await s.event("OnSourceReady")
    check(PRODUCT in [x["product_name"] for x in sources["sources"]], "OnSourceReady lists the demo scanners")
    profiles = await s.event("OnProfileReady")
    listed = [p["path"] for p in profiles["profiles"] if p]
    check(service.path(launching) in listed, "OnProfileReady lists the profiles folder")

    # Only the profiles the control listed (and the default one) can be
    # selected: SelectProfile reads any file, and hands its values back.
    for path in (service.path(outside), "/etc/passwd",
                 service.path(root / "module" / "profiles" / ".." / "profiles" / "Launching.ini"),
                 "profiles/Launching.ini", 5):
        reply = await s.call_reply("SelectProfile", path)
        check(reply["type"] == "error" and reply["error"] == "denied", "SelectProfile(%r) is denied" % (path,))
    check(await s.call("SelectProfile", service.path(root / "module" / "dociva.ini")) is None,
          "the default profile can be selected")
    await s.event("OnAfterSelectProfile")
    await s.call("SelectProfile", service.path(launching))
    selected = await s.event("OnAfterSelectProfile")
    check(selected.get("APPath") == "/usr/bin/touch", "the selected profile names a program (APPath)")

    for method in ("SetSavetoLaunchAppPath", "SetSavetoLaunchAppParams"):
        reply = await s.call_reply(method, "/bin/sh")
        check(reply["type"] == "error" and reply["error"] == "denied", "%s is denied to pages" % method)
    reply = await s.call_reply("SelectAPFile")
    check(reply["error"] == "denied", "SelectAPFile is denied to pages")
    reply = await s.call_reply("AssignProfileToScannerButton", 1, service.path(launching))
    check(reply["error"] == "denied", "AssignProfileToScannerButton is denied to pages")

    await s.call("ScannerRegister", PRODUCT)
    registered = await s.event("OnAfterScannerRegister")
    check(registered["code"] == 0, "ScannerRegister raises OnAfterScannerRegister code 0")
    multi, suffix = service.multi_page()
    for method, value in (("SetResolution", 100), ("SetOutputFormatJPG", 1), (multi, 1),
                          ("SetSavetoFolder", service.path(root / "scans")), ("SetSavetoFileName", "page_%COUNTER3%")):
        check(await s.call(method, value) is None, "%s gives no value" % method)
    # The watermark dialog: the page sets the text, not the image file.
    await s.call("SetProcessWatermark", 1)
    await s.send({"type": "call", "id": "wm", "method": "OpenWatermarkSetting", "args": []})
    dialog = await s.wait(lambda m: m["type"] == "dialog")
    check(dialog["kind"] == "watermark" and "image" in dialog["record"], "OpenWatermarkSetting puts its record to the page")
    await s.send({"type": "answer", "dialog": dialog["dialog"],
                  "value": {"type": 2, "text": "From the page", "image": "/etc/passwd"}})
    await s.wait(lambda m: m.get("id") == "wm")
    await s.call("ScanStart", PRODUCT)
    end = await s.event("OnScanEnd", 120)
    check(end == {"code": 0}, "OnScanEnd code 0")
    hidden = await s.wait(lambda m: m["type"] == "progress" and not m["visible"] and m["shown"] >= 1)
    progress = [m for m in s.seen if m["type"] == "progress"]
    shown = [m for m in progress if m["visible"]]
    check(shown, "the progress dialog was shown, then hidden after the run")
    scanning = [m["position"] for m in shown if m["text"] == "paper scanning..."]
    check(scanning == sorted(scanning) and all(0 <= p <= PAGES for p in scanning),
          "the pages' positions never go back: %r" % scanning)
    deadline = time.monotonic() + 60
    while await s.call("GetFileCount") < PAGES + 1 and time.monotonic() < deadline:
        await asyncio.sleep(0.2)
    files = sorted(p.name for p in (root / "scans").iterdir())
    count = await s.call("GetFileCount")
    check(count == PAGES + 1, "the viewer holds %d JPEG files and the %s (%d: %r)" % (PAGES, suffix, count, files))
    jpegs = [f for f in files if f.endswith(".jpg")]
    multis = [f for f in files if f.endswith(suffix)]
    check(len(jpegs) == PAGES and len(multis) == 1 and len(files) == PAGES + 1, "files written: %r" % files)
    pages = page_count(root / "scans" / multis[0])
    check(pages == PAGES, "%s holds %d pages (%s)" % (multis[0], PAGES, pages))

    starts = [json.loads(l) for l in (root / "sdk-trace.jsonl").read_text().splitlines() if l]
    check(len(starts) == 1, "the scanner was started once")
    settings = starts[0]["settings"]
    check(settings["apPath"] == "" and settings["apParams"] == "",
          "the scanner got no program to launch (apPath %r, apParams %r)" % (settings["apPath"], settings["apParams"]))
    check(not (root / "launched").exists(), "nothing was launched")
    check(settings["watermarkText"] == "From the page" and settings["watermarkType"] == 2,
          "the page's watermark text reached the scanner (%r)" % {k: v for k, v in settings.items() if k.startswith("watermark")})
    check(settings["watermarkImage"] != "/etc/passwd", "the page's watermark image did not (%r)" % settings["watermarkImage"])

    reports = [m for m in s.seen if m["type"] == "event" and m["name"] == "OnUIButtonStatusChange"]
    check(len(reports) >= 4 * (PAGES + 1), "button states reported for each file (%d)" % len(reports))
    for m in s.seen:
        if m["type"] == "event":
            json.loads(m["data"])
    check(True, "every event's data parses as JSON")
    await s.close()


async def case_dialogs(service):
    root = service.root
    s = await Session.open(service)
    await s.call("SelectProfile", service.path(root / "module" / "profiles" / "Colour 300.ini"))

    # ExportProfile asks for a name; the answer becomes the profile's name.
    s.next_id += 1
    export_id = s.next_id
    await s.send({"type": "call", "id": export_id, "method": "ExportProfile", "args": []})
    dialog = await s.wait(lambda m: m["type"] == "dialog")
    check(dialog["kind"] == "input" and dialog["prompt"] == "Please enter a Profile name:",
          "ExportProfile puts an input box to the page")
    await s.send({"type": "answer", "dialog": dialog["dialog"] + 1, "value": "wrong dialog"})
    await s.send({"type": "answer", "dialog": dialog["dialog"], "value": "from the page"})
    closed = await s.wait(lambda m: m["type"] == "dialogClosed" and m["dialog"] == dialog["dialog"])
    check(closed == {"type": "dialogClosed", "dialog": dialog["dialog"], "why": "answered"}, "dialogClosed answered")
    reply = await s.wait(lambda m: m.get("id") == export_id)
    check(reply == {"type": "result", "id": export_id, "value": 0}, "ExportProfile gives 0")
    exported = root / "module" / "profiles" / "from the page.ini"
    check(exported.exists(), "the exported profile is written under the page's name")
    check("/usr/bin" not in exported.read_text(errors="replace"), "no launch program in it")

    # Alert: the page's answer is the result; a cancelled one gives 0.
    s.next_id += 1
    alert_id = s.next_id
    await s.send({"type": "call", "id": alert_id, "method": "Alert", "args": ["Title", "Message"]})
    dialog = await s.wait(lambda m: m["type"] == "dialog")
    check(dialog["kind"] == "alert" and dialog["caption"] == "Title" and dialog["message"] == "Message",
          "Alert puts its caption and message to the page")
    await s.send({"type": "answer", "dialog": dialog["dialog"], "value": None})
    reply = await s.wait(lambda m: m.get("id") == alert_id)
    check(reply["value"] == 0, "a cancelled alert gives 0")

    # Nobody answers: the dialog is cancelled after the time-out (2 s here),
    # and the session's next call runs after it.
    started = time.monotonic()
    s.next_id += 1
    folder_id = s.next_id
    await s.send({"type": "call", "id": folder_id, "method": "SelectFolder", "args": []})
    await s.send({"type": "call", "id": "after", "method": "GetFileCount", "args": []})
    dialog = await s.wait(lambda m: m["type"] == "dialog")
    check(dialog["kind"] == "folder", "SelectFolder puts a folder chooser to the page")
    closed = await s.wait(lambda m: m["type"] == "dialogClosed" and m["dialog"] == dialog["dialog"], 20)
    check(closed["why"] == "timeout" and time.monotonic() - started >= 1.5,
          "an unanswered dialog times out (%r after %.1f s)" % (closed, time.monotonic() - started))
    reply = await s.wait(lambda m: m.get("id") == folder_id)
    check(reply["value"] == "", "SelectFolder gives an empty text when cancelled")
    reply = await s.wait(lambda m: m.get("id") == "after")
    check(reply["value"] == 0, "the next call runs after the dialog")
    await s.close()


def raw_request(port, lines):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        data = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
            if b"\r\n\r\n" in data and (b" 101 " in data.split(b"\r\n")[0] or len(data) > 100000):
                break
    return data.decode(errors="replace")


def status_of(response):
    return int(response.split(" ", 2)[1]) if response.startswith("HTTP/1.1 ") else 0


async def case_host(service):
    port = service.port
    upgrade = ["Upgrade: websocket", "Connection: Upgrade", "Sec-WebSocket-Version: 13",
               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Origin: " + service.origin]
    rows = [
        # Host, upgrade, expected status
        ("127.0.0.1:%d" % port, True, 101),
        ("localhost:%d" % port, True, 101),
        ("[::1]:%d" % port, True, 101),
        ("attacker.example:%d" % port, True, 403),
        ("attacker.example", True, 403),
        ("127.0.0.1", True, 403),
        ("127.0.0.1:%d" % (port + 1), True, 403),
        (None, True, 403),
        ("attacker.example:%d" % port, False, 403),
        ("127.0.0.1:%d" % port, False, None),  # the page: 200 where staged, else 404
    ]
    for host, is_upgrade, expected in rows:
        lines = (["GET / HTTP/1.1"] + (["Host: " + host] if host is not None else []) +
                 (upgrade if is_upgrade else ["Connection: close"]))
        status = status_of(raw_request(port, lines))
        if expected is None:
            check(status in (200, 404), "GET / with Host %s: %d" % (host, status))
        else:
            check(status == expected, "Host %r %s: %d (expected %d)" %
                  (host, "upgrade" if is_upgrade else "GET", status, expected))
    check(status_of(raw_request(port, ["GET /../../etc/passwd HTTP/1.1", "Host: 127.0.0.1:%d" % port,
                                       "Connection: close"])) == 404,
          "a path that is not on the list is not found")
    check(status_of(raw_request(port, ["GET / HTTP/1.1", "Host: 127.0.0.1:%d" % port,
                                       "X-Filler: " + "x" * 20000])) == 400,
          "a request header over 8 KiB is refused")
    check(status_of(raw_request(port, ["POST / HTTP/1.1", "Host: 127.0.0.1:%d" % port, "Content-Length: 0",
                                       "Connection: close"])) == 405,
          "POST is not allowed")


async def refused(service, origin):
    try:
        ws = await websockets.connect(service.url, origin=origin, open_timeout=10)
    except websockets.exceptions.InvalidStatusCode as e:
        return e.status_code
    await ws.close()
    return 101


async def case_origin(service):
    other = "http://localhost:%d" % free_port()
    for origin in (other, "null", "https://app.example", "http://127.0.0.1:%d" % (service.port + 1)):
        check(await refused(service, origin) == 403, "origin %s is refused" % origin)
    # websockets sends no Origin unless given one.
    check(await refused(service, None) == 403, "a missing origin is refused")
    for own in ("http://127.0.0.1:%d" % service.port, "http://localhost:%d" % service.port):
        check(await refused(service, own) == 101, "the service's own origin %s gets in" % own)

    result = service.tool("--allow-origin", other.upper() + "/")
    check(result.returncode == 0 and result.stdout.strip() == "allowed " + other, "--allow-origin: " + result.stdout)
    check(await refused(service, other) == 101, "the allowed origin gets in on the running service")
    check(service.tool("--list-origins").stdout.split() == [other], "--list-origins lists it")
    bad = service.tool("--allow-origin", "null")
    check(bad.returncode == 2, "--allow-origin null is refused")
    check(service.tool("--remove-origin", other).returncode == 0, "--remove-origin")
    check(await refused(service, other) == 403, "a removed origin is refused again")
    check(service.tool("--remove-origin", other).returncode == 1, "removing it twice fails")


async def case_messages(service):
    s = await Session.open(service)
    rows = [
        # what is sent, what the reply must hold
        ("not json", {"type": "error", "id": None, "error": "malformed"}),
        ("[1,2]", {"type": "error", "id": None, "error": "malformed"}),
        (json.dumps({"type": "call", "method": "GetFileCount"}), {"error": "malformed", "id": None}),
        (json.dumps({"type": "call", "id": 1, "method": "GetFileCount", "args": "x"}), {"error": "malformed", "id": 1}),
        (json.dumps({"type": "call", "id": 2, "method": "NoSuchMethod"}),
         {"error": "dispatch", "id": 2, "hresult": "0x80020006", "reason": "unknown name"}),
        (json.dumps({"type": "call", "id": 3, "method": "SetResolution", "args": ["abc"]}),
         {"error": "dispatch", "id": 3, "hresult": "0x80020005", "reason": "type mismatch", "argument": 0}),
        (json.dumps({"type": "call", "id": 4, "method": "SetResolution", "args": [70000]}),
         {"error": "dispatch", "id": 4, "hresult": "0x8002000A", "reason": "overflow"}),
        (json.dumps({"type": "call", "id": 5, "method": "SetResolution", "args": []}),
         {"error": "dispatch", "id": 5, "hresult": "0x8002000E"}),
        (json.dumps({"type": "call", "id": 6, "method": "SetResolution", "args": [{"a": 1}]}),
         {"error": "dispatch", "id": 6, "reason": "type mismatch", "argument": 0}),
        (json.dumps({"type": "call", "id": 7, "method": "scannerregister", "args": [None]}),
         {"type": "result", "id": 7, "value": None}),
        (json.dumps({"type": "call", "id": 8, "method": "SetResolution", "args": ["  200 "]}),
         {"type": "result", "id": 8, "value": None}),
        (json.dumps({"type": "call", "id": "text id", "method": "GetFileCount"}),
         {"type": "result", "id": "text id", "value": 0}),
        (json.dumps({"type": "nonsense", "id": 9}), {"error": "malformed", "id": 9}),
    ]
    for sent, expected in rows:
        await s.ws.send(sent)
        reply = await s.wait(lambda m: m["type"] in ("result", "error"))
        check(all(reply.get(k) == v for k, v in expected.items()), "%s -> %s" % (sent[:60], json.dumps(reply)))
    await s.ws.send(b"\x00\x01binary")
    reply = await s.wait(lambda m: m["type"] == "error")
    check(reply["error"] == "malformed", "a binary frame is malformed")

    # A flood: every call gets exactly one reply, a result or busy.
    ids = list(range(1000, 1300))
    for i in ids:
        await s.send({"type": "call", "id": i, "method": "GetFileCount"})
    replies = {}
    while len(replies) < len(ids):
        m = await s.wait(lambda m: m["type"] in ("result", "error"))
        if m["id"] in replies:
            raise Failed("a second reply for call %s" % m["id"])
        replies[m["id"]] = m
    kinds = {m["type"] if m["type"] == "result" else m["error"] for m in replies.values()}
    check(sorted(replies) == ids and kinds <= {"result", "busy"}, "300 calls: each answered once (%s)" % sorted(kinds))
    check(await s.call("GetFileCount") == 0, "the session goes on after the flood")

    # Over 64 KiB: the session ends with 1009, the service goes on.
    await s.send({"type": "call", "id": "big", "method": "SetSavetoFileName", "args": ["x" * 70000]})
    try:
        while True:
            await s.receive(20)
    except websockets.exceptions.ConnectionClosed as e:
        check(e.rcvd is not None and e.rcvd.code == 1009, "an oversized message closes with 1009 (%s)" % e)
    s2 = await Session.open(service)
    check(await s2.call("GetFileCount") == 0, "the service takes new sessions after it")
    await s2.close()


async def case_sessions(service):
    baseline = service.threads()
    sessions = await asyncio.gather(*(Session.open(service) for _ in range(50)))
    results = await asyncio.gather(*(s.call("GetFileCount") for s in sessions))
    check(results == [0] * 50, "50 sessions at once each get their own control")
    sources = await asyncio.gather(*(s.event("OnSourceReady") for s in sessions))
    check(all(x["count"] == sources[0]["count"] for x in sources), "each raised OnSourceReady")
    check(service.threads() >= baseline + 50, "each control has a thread of its own (%d threads)" % service.threads())
    await asyncio.gather(*(s.close() for s in sessions))
    deadline = time.monotonic() + 30
    while service.threads() > baseline and time.monotonic() < deadline:
        await asyncio.sleep(0.1)
    check(service.threads() <= baseline + service.SPARE_THREADS,
          "every control's thread ends when its session does (%d threads, %d before)" % (service.threads(), baseline))
    s = await Session.open(service)
    check(await s.call("GetFileCount") == 0, "a new session afterwards")
    await s.close()


async def case_midscan(service):
    root = service.root
    baseline = service.threads()
    s = await Session.open(service)
    await s.call("ScannerRegister", PRODUCT)
    await s.call("SetResolution", 100)
    await s.call("SetOutputFormatJPG", 1)
    await s.call(service.multi_page()[0], 1)
    await s.call("SetSavetoFolder", service.path(root / "scans"))
    await s.call("ScanStart", PRODUCT)
    await s.wait(lambda m: m["type"] == "progress" and m["visible"] and m["text"] == "paper scanning...")
    # The page goes away without closing its socket properly.
    s.ws.transport.abort()
    deadline = time.monotonic() + 30
    while service.threads() > baseline and time.monotonic() < deadline:
        await asyncio.sleep(0.1)
    check(service.threads() <= baseline + service.SPARE_THREADS, "the control of a page gone mid-scan is destroyed")
    time.sleep(1)
    leftovers = [p.name for p in (root / "scans").iterdir() if p.name.startswith(".~")]
    check(not leftovers, "no temporary files are left: %r" % leftovers)
    for path in (root / "scans").iterdir():
        data = path.read_bytes()
        if path.suffix == ".jpg":
            check(data[:2] == b"\xff\xd8" and data.rstrip(b"\x00")[-2:] == b"\xff\xd9", "%s is a whole JPEG" % path.name)
        if path.suffix == service.multi_page()[1]:
            check(page_count(path) is not None, "%s opens" % path.name)
    s2 = await Session.open(service)
    await s2.call("ScannerRegister", PRODUCT)
    registered = await s2.event("OnAfterScannerRegister")
    check(registered["code"] == 0, "the scanner registers again in a new session")
    await s2.close()


async def case_cancel(service):
    """A page stops a scan through the bridge while the demo scanner warms
    up (3 s on its first start): the call answers 0, the run ends at once
    with one OnScanEnd of code 4 and no file, and the next scan runs to its
    end with whole files. (Sides kept by a cancel: tests/control/e2e/
    scan_cancel.js.)"""
    root = service.root
    scans = root / "scans"
    s = await Session.open(service)
    check(await s.call("ScanCancel") == 1, "ScanCancel with no scan answers 1")
    await s.call("ScannerRegister", PRODUCT)
    await s.call("SetResolution", 100)
    await s.call("SetOutputFormatJPG", 1)
    await s.call(service.multi_page()[0], 1)
    await s.call("SetSavetoFolder", service.path(scans))
    await s.call("ScanStart", PRODUCT)
    await s.wait(lambda m: m["type"] == "progress" and m["visible"])
    started = time.monotonic()
    check(await s.call("ScanCancel") == 0, "ScanCancel during the warm-up answers 0")
    end = await s.event("OnScanEnd")
    check(end["code"] == 4, "the cancelled run ends with code 4: %r" % end)
    check(time.monotonic() - started < 2.5, "the warm-up ended at once")
    time.sleep(0.5)
    extra = [m for m in s.unread if m["type"] == "event" and m["name"] == "OnScanEnd"]
    check(not extra, "exactly one OnScanEnd: %r" % extra)
    check(await s.call("GetFileCount") == 0, "nothing reached the viewer")
    check(not scans.exists() or not any(scans.iterdir()), "no file is left")
    await s.call("ScanStart", PRODUCT)
    end = await s.event("OnScanEnd", timeout=120)
    check(end["code"] == 0, "the next scan runs to its end: %r" % end)
    time.sleep(1)
    files = sorted(scans.iterdir())
    jpegs = [p for p in files if p.suffix == ".jpg"]
    check(len(jpegs) == 4, "the next scan wrote its 4 sides (fronts): %r" % [p.name for p in files])
    for path in jpegs:
        data = path.read_bytes()
        check(data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9", "%s is a whole JPEG" % path.name)
    await s.close()


def png_size(png):
    check(png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR", "a picture is a PNG")
    return int.from_bytes(png[16:20], "big"), int.from_bytes(png[20:24], "big")


async def latest_picture(s, settle=1.0):
    """The last picture once none has come for `settle` seconds."""
    picture = None
    for i in range(len(s.unread) - 1, -1, -1):
        if s.unread[i]["type"] == "picture":
            picture = s.unread[i]["png"]
            break
    s.unread = [m for m in s.unread if m["type"] != "picture"]
    while True:
        try:
            message = await s.wait(lambda m: m["type"] == "picture", settle)
            picture = message["png"]
        except asyncio.TimeoutError:
            return picture


async def case_viewer(service):
    root = service.root
    s = await Session.open(service)
    await s.send({"type": "viewer", "on": True})
    first = (await s.wait(lambda m: m["type"] == "picture"))["png"]
    check(png_size(first) == (665, 800), "the viewer's picture is 665 x 800")
    await s.call("ScannerRegister", PRODUCT)
    for method, value in (("SetResolution", 100), ("SetOutputFormatJPG", 1), ("SetSavetoFolder", service.path(root / "scans"))):
        await s.call(method, value)
    await s.call("ScanStart", PRODUCT)
    await s.event("OnScanEnd", 120)
    deadline = time.monotonic() + 60
    while await s.call("GetFileCount") < PAGES and time.monotonic() < deadline:
        await asyncio.sleep(0.2)
    scanned = await latest_picture(s)
    check(scanned is not None and scanned != first, "a new picture once the scanned files are in the viewer")

    rows = [
        # what the page does, whether the picture must change
        (("call", "RotateRight"), True),
        (("call", "GetFileCount"), False),
        (("call", "ViewThumb4"), True),
        (("mouse", "dblclick", 160, 200), True),   # the first cell: page mode
        (("mouse", "move", 5, 5), False),
    ]
    picture = scanned
    for action, changes in rows:
        s.seen.clear()
        if action[0] == "call":
            await s.call(action[1])
        else:
            await s.send({"type": "mouse", "kind": action[1], "x": action[2], "y": action[3]})
        if changes:
            # Slow builds (sanitizers) take a while to draw; wait for one.
            s.unread.append(await s.wait(lambda m: m["type"] == "picture", 30))
        now = await latest_picture(s) or picture
        check((now != picture) == changes, "%r %s the picture" % (action, "changes" if changes else "leaves"))
        picture = now
    reports = [m for m in s.seen if m["type"] == "event" and m["name"] == "OnUIButtonStatusChange"]
    check(not reports, "a move raises no button reports")

    await s.send({"type": "mouse", "kind": "wiggle", "x": 1, "y": 1})
    reply = await s.wait(lambda m: m["type"] == "error")
    check(reply["error"] == "malformed", "an unknown mouse kind is malformed")
    await s.send({"type": "viewer", "on": False})
    await s.call("RotateLeft")
    check(await latest_picture(s) is None, "no picture once the page turned the viewer off")
    await s.close()


async def file_request(s, message):
    s.next_id += 1
    request_id = "f%d" % s.next_id
    await s.send(dict(message, id=request_id))
    return await s.wait(lambda m: m.get("id") == request_id and m["type"] in ("result", "error", "file"))


async def case_files(service):
    root = service.root
    s = await Session.open(service)
    listing = await file_request(s, {"type": "files"})
    check(listing == {"type": "result", "id": listing["id"], "value": []}, "no files before a scan")
    await s.call("ScannerRegister", PRODUCT)
    multi, suffix = service.multi_page()
    for method, value in (("SetResolution", 100), ("SetOutputFormatJPG", 1), (multi, 1),
                          ("SetSavetoFolder", service.path(root / "scans"))):
        await s.call(method, value)
    await s.call("ScanStart", PRODUCT)
    await s.event("OnScanEnd", 120)
    deadline = time.monotonic() + 60
    while await s.call("GetFileCount") < PAGES + 1 and time.monotonic() < deadline:
        await asyncio.sleep(0.2)
    files = (await file_request(s, {"type": "files"}))["value"]
    names = sorted(f["name"] for f in files)
    check(names == sorted(p.name for p in (root / "scans").iterdir()), "the list names the scanned files: %r" % names)
    check(all(re.fullmatch(r"[0-9a-f]{32}", f["file"]) for f in files), "ids are 32 hex digits, never paths")
    pdf = next(f for f in files if f["name"].endswith(suffix))
    check(pdf["pages"] == PAGES, "the %s holds %d pages" % (suffix, PAGES))
    got = await file_request(s, {"type": "file", "file": pdf["file"]})
    check(got["type"] == "file" and got["name"] == pdf["name"], "the %s comes by its id" % suffix)
    check(got["data"] == (root / "scans" / pdf["name"]).read_bytes(), "its bytes are the file's")
    copy = root / ("downloaded" + suffix)
    copy.write_bytes(got["data"])
    check(page_count(copy) == PAGES, "%d pages in the bytes read" % PAGES)
    again = (await file_request(s, {"type": "files"}))["value"]
    check(again == files, "ids stay the same for the session")

    other = await Session.open(service)
    rows = [
        (other, pdf["file"], "an id from another session"),
        (s, service.path(root / "scans" / pdf["name"]), "the file's path"),
        (s, str(root / "scans" / pdf["name"]), "the file's Linux path"),
        (s, "/etc/passwd", "a path"),
        (s, "../" * 8 + "etc/passwd", "a climbing path"),
        (s, pdf["file"].upper(), "an id in upper case"),
        (s, pdf["file"][:31], "a cut id"),
        (s, "0" * 32, "an id never handed out"),
    ]
    for session, file_id, what in rows:
        reply = await file_request(session, {"type": "file", "file": file_id})
        check(reply["type"] == "error" and reply["error"] == "denied", "%s is refused" % what)
    await other.close()

    # Once the viewer lets a file go, its id no longer reads it.
    await s.call("GoLastPage")
    listing = {f["name"]: f["file"] for f in (await file_request(s, {"type": "files"}))["value"]}
    await s.call("DeleteImage")
    remaining = {f["name"] for f in (await file_request(s, {"type": "files"}))["value"]}
    gone = [name for name in listing if name not in remaining]
    check(len(gone) == 1, "DeleteImage took one file from the list: %r" % gone)
    reply = await file_request(s, {"type": "file", "file": listing[gone[0]]})
    check(reply["type"] == "error" and reply["error"] == "denied", "a deleted file's id is refused")
    await s.close()


async def case_golden(service):
    # The page's picture against the control's own: the state of the
    # end-to-end page viewer_picture.js, whose pictures `dociva run` saved
    # beside it, reached through the service, compared the same way
    # (run_e2e.py: 99.9 % of the pixels within 3 levels, the caption's rows
    # left out).
    e2e = pathlib.Path(__file__).resolve().parents[1] / "control"
    sys.path.insert(0, str(e2e))
    import run_e2e
    shutil.copytree(e2e / "e2e" / "viewer_picture.files", service.root, dirs_exist_ok=True)
    root = service.root
    s = await Session.open(service)
    await s.call("ScannerRegister", PRODUCT)
    for method, value in (("SetOutputFormatPNG", 1), ("SetResolution", 100), ("SetSavetoFolder", str(root / "scans")),
                          ("SetSavetoFileName", "page_%COUNTER3%")):
        await s.call(method, value)
    await s.send({"type": "viewer", "on": True})
    await s.call("ScanStart", PRODUCT)
    await s.event("OnScanEnd", 120)
    deadline = time.monotonic() + 60
    while await s.call("GetFileCount") < PAGES and time.monotonic() < deadline:
        await asyncio.sleep(0.1)
    for method, name in (("ViewThumb4", "viewer_picture.png"), ("ViewSinglePage", "viewer_picture.single.png")):
        await latest_picture(s)
        await s.call(method)
        s.unread.append(await s.wait(lambda m: m["type"] == "picture", 30))
        picture = await latest_picture(s)
        saved = root / ("bridge." + name)
        saved.write_bytes(picture)
        failures = run_e2e.picture_failures(saved, e2e / "e2e" / name)
        check(not failures, "after %s the page's picture is the control's own (%s): %s" % (method, name, failures))
    await s.close()


class Skipped(Exception):
    pass


async def case_browser(service):
    # The browser test (tests/browser/scan_page.mjs) against this service.
    script = pathlib.Path(__file__).resolve().parents[1] / "browser" / "scan_page.mjs"
    if not (script.parent / "node_modules" / "playwright-core").is_dir() or not shutil.which("node"):
        raise Skipped("playwright-core is not installed (scripts/setup installs it)")
    if not pathlib.Path("/usr/bin/chromium").exists():
        raise Skipped("no /usr/bin/chromium")
    # The script restarts the service itself (the client must connect
    # again): it gets the service's process and command line.
    command = service.command("serve", "--module", service.module_argument(), "--port", str(service.port))
    result = subprocess.run(["node", str(script), "http://127.0.0.1:%d/" % service.port, str(service.root),
                             str(service.process.pid), json.dumps(command)] + (["windows"] if service.windows else []),
                            env=service.env, timeout=360)
    check(result.returncode == 0, "the page in Chromium (exit %d)" % result.returncode)


CASES = {"browser": (case_browser, ()), "scan": (case_scan, ()), "dialogs": (case_dialogs, ("--dialog-timeout", "2")), "host": (case_host, ()),
         "origin": (case_origin, ()), "messages": (case_messages, ()), "sessions": (case_sessions, ()),
         "midscan": (case_midscan, ()), "cancel": (case_cancel, ()), "viewer": (case_viewer, ()), "files": (case_files, ()), "golden": (case_golden, ())}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the temporary installation")
    parser.add_argument("--wine", help="runs DOCIVA (dociva.exe) with this (the build's wine-run.sh)")
    parser.add_argument("--wine-prefix", help="with --wine: the Wine prefix the demo scanners are put in")
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    root = make_root(pathlib.Path(args.module))
    function, extra = CASES[args.case]
    service = None
    try:
        service = Service(args, root, extra)
        asyncio.run(function(service))
        service.stop()
        service = None
    except Skipped as e:
        print("skipped:", e)
        return 77
    except (Failed, websockets.exceptions.WebSocketException, asyncio.TimeoutError, OSError) as e:
        print("FAILED:", type(e).__name__, e)
        return 1
    finally:
        if service:
            service.process.kill()
            service.process.wait()
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs one end-to-end script of the control through `dociva run --trace`
in a fresh installation and compares what it printed with the expected
trace beside it.

The installation is made anew for every test under a temporary root:
  ROOT/module   a copy of the build's module folder (the control, the
                libraries it loads, dociva.ini, profiles/)
  ROOT/install  the example scanners (examples/install-demo.sh)
  ROOT/home     HOME, so the default output folder lands inside ROOT
Files under NAME.files/ are copied over ROOT first (extra profiles,
settings.ini, ...); a file named with a '%XX' escape gets that byte in its
name, so names holding quotes or backslashes can live in the tree.

A script whose first line is "// e2e: untraced" runs without --trace (its
events come in an order threads decide; it prints what it checks itself).
The SDK writes every start it receives to ROOT/sdk-trace.jsonl.

NAME.js runs first; NAME.2.js, NAME.3.js ... run after it against the same
ROOT, as a page loaded again would (each run makes a new control). The
trace of each run, with ROOT written as @ROOT@ (and the scripts' folder as
@E2E@) and the exit code as a last
line "EXIT n", is compared with NAME.trace. Every EVENT line's payload must
parse as JSON.

With --plugin the same scripts run against the plug-in
(`dociva run --plugin`) and are compared with NAME.plugin.trace; the run is
also held to NAME.trace, from which it may differ only in the plug-in's
documented ways (the table above plugin_differences() below), so a
regenerated NAME.plugin.trace that differs in any other way fails too.

A script that saves the viewer as ROOT/NAME.png or ROOT/NAME.WORD.png
(host.screenshot) has it compared with the picture of that name beside the
script, the way the viewer's golden pictures are compared on Linux: at
least 99.9 % of the pixels within 3 levels per channel, leaving out the
rows of the single view's caption box (its text holds the temporary path). The Windows control test compares its
own viewer window with the same pictures.

With --sane the installation also has SANE's test device: a private SANE
configuration (ROOT/sane: dll.conf naming only the test backend, test.conf
with NAME.sane.conf and every --sane-option line added) and, before the
scripts run, `dociva driver add-sane test:0 --name "SANE Test Device"`,
whose output starts the trace. After the runs every file below ROOT/scans
is described by tools that share no code with ours (identify for images,
one line a page; pdfimages for PDF files) in "FILE" lines. --expected names
another trace to compare with (one script run with several device
options).

A script with a line "// e2e: whole files" among its first comments has
the files below ROOT/scans checked after the runs, with ImageMagick's
identify (warnings taken as errors) and the JPEG markers: every JPEG and
TIFF whole, no temporary file of ours left, and the pages of the
multi-page TIFF files as many as the JPEG files (one JPEG and one TIFF
page per side). It adds one "FILES" line, the same whatever the counts.

DOCIVA_REGENERATE_GOLDEN=1 writes NAME.trace (and the pictures) instead of
comparing.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse
import zlib


def copy_module(source: pathlib.Path, target: pathlib.Path) -> None:
    def link_or_copy(src, dst):
        try:
            os.link(src, dst)
        except OSError:
            shutil.copy2(src, dst)

    # Profiles are written by the scripts: copy those, link the libraries.
    shutil.copytree(source, target, copy_function=link_or_copy,
                    ignore=shutil.ignore_patterns("settings.ini"))
    for ini in target.rglob("*.ini"):
        data = ini.read_bytes()
        ini.unlink()
        ini.write_bytes(data)


def sorted_profile_list(line: str) -> str:
    """The profile list comes in the order the file system lists the folder,
    which differs between file systems: compare it sorted by name, keeping
    each item's text exactly as the control wrote it."""
    prefix = "EVENT OnProfileReady "
    if not line.startswith(prefix):
        return line
    payload = line[len(prefix):]
    start = payload.find('"profiles":[')
    if start < 0:
        return line
    position = start + len('"profiles":[')
    decoder = json.JSONDecoder()
    items = []
    while position < len(payload) and payload[position] == "{":
        value, end = decoder.raw_decode(payload, position)
        items.append((value.get("name", ""), payload[position:end]))
        position = end + 1 if end < len(payload) and payload[end] == "," else end
    if not items or payload[position] != "]":
        return line
    items.sort()
    return prefix + payload[:start] + '"profiles":[' + ",".join(text for _, text in items) + payload[position:]


def copy_files(files: pathlib.Path, root: pathlib.Path) -> None:
    for path in sorted(files.rglob("*")):
        relative = path.relative_to(files)
        parts = [urllib.parse.unquote(p) for p in relative.parts]
        target = root.joinpath(*parts)
        if path.is_dir():
            target.mkdir(parents=True, exist_ok=True)
        else:
            target.parent.mkdir(parents=True, exist_ok=True)
            text = path.read_bytes().replace(b"@ROOT@", str(root).encode())
            target.write_bytes(text)


def read_png(path: pathlib.Path):
    """(width, height, channels, rows) of an 8-bit, non-interlaced grey, RGB
    or RGBA PNG, rows being each row's bytes after unfiltering."""
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    position, header, compressed = 8, None, b""
    while position < len(data):
        length = int.from_bytes(data[position:position + 4], "big")
        kind = data[position + 4:position + 8]
        body = data[position + 8:position + 8 + length]
        position += 12 + length
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    width, height = int.from_bytes(header[0:4], "big"), int.from_bytes(header[4:8], "big")
    depth, colour, interlace = header[8], header[9], header[12]
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace != 0:
        raise ValueError(f"{path}: depth {depth}, colour type {colour}, interlace {interlace} not read here")
    raw = zlib.decompress(compressed)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                estimate = left + up - corner
                pa, pb, pc = abs(estimate - left), abs(estimate - up), abs(estimate - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


# The single view's caption box: the viewer's caption colour blended over a
# white page, and the most rows a caption takes (a pixel of slack above).
CAPTION_COLOUR = (225, 134, 44)
CAPTION_ROWS = 26


def caption_rows(width, channels, rows) -> range:
    """The rows of a caption box in a picture (found by its colour), or none.
    Its text holds the file's path, which differs from run to run."""
    for y, row in enumerate(rows):
        for x in range(width):
            pixel = row[x * channels:x * channels + 3]
            if len(pixel) == 3 and all(abs(pixel[i] - CAPTION_COLOUR[i]) <= 12 for i in range(3)):
                return range(max(0, y - 1), y - 1 + CAPTION_ROWS)
    return range(0)


def picture_failures(actual_path: pathlib.Path, expected_path: pathlib.Path) -> list:
    """Compares two viewer pictures outside the caption's rows: 99.9 % of the
    pixels within 3 levels."""
    if not expected_path.exists():
        return [f"missing {expected_path} (DOCIVA_REGENERATE_GOLDEN=1 makes it)"]
    if not actual_path.exists():
        return [f"the script saved no picture {actual_path.name}"]
    aw, ah, ac, arows = read_png(actual_path)
    ew, eh, ec, erows = read_png(expected_path)
    if (aw, ah) != (ew, eh):
        return [f"picture is {aw} x {ah}, {expected_path.name} is {ew} x {eh}"]
    skipped = caption_rows(ew, ec, erows)
    differing = compared = 0
    for y, (arow, erow) in enumerate(zip(arows, erows)):
        if y in skipped:
            continue
        compared += aw
        for x in range(aw):
            a = arow[x * ac:x * ac + 3] if ac >= 3 else arow[x * ac:x * ac + 1] * 3
            e = erow[x * ec:x * ec + 3] if ec >= 3 else erow[x * ec:x * ec + 1] * 3
            if max(abs(a[i] - e[i]) for i in range(3)) > 3:
                differing += 1
    print(f"picture {expected_path.name}: {differing} of {compared} pixels differ by more than 3 levels")
    if differing * 1000 > compared:
        return [f"picture differs from {expected_path} in {differing} of {compared} pixels"]
    return []


# The plug-in's documented differences from the control, as they show in a
# page's trace: NAME.plugin.trace may differ from NAME.trace in these ways
# and in no other (plugin_differences() checks it line by line).
#
# | kind                 | what differs in the trace                           | why |
# |----------------------|-----------------------------------------------------|-----|
# | set-up events        | no OnProfileReady/OnSourceReady at the start of a   | the plug-in raises them when the page first |
# |                      | run; they come just before CALL Initialize          | calls Initialize, the control when its window is made |
# | registration wording | "Product name cannot be empty", "Driver register    | the plug-in's own texts for the same |
# |                      | fail" / "Scanner handle not found" for "Product     | failures |
# |                      | Name cannot be empty" / "Load driver fail"          | |
# | unknown methods      | AboutBox, RegScannerSourceCallback,                 | the plug-in's table has no such names; |
# |                      | SetOutputSplitFixPages: "error: Unknown method";    | a browser throws "Unknown method" |
# |                      | uncaught, the run ends there (STDERR, EXIT 1)       | into the page |
# | argument conversion  | a call the control refuses (type mismatch,          | the plug-in converts every value |
# |                      | overflow, wrong number of arguments) is made: its   | (numbers truncated to 16 bits, text only |
# |                      | result, events and what the script prints about it | from strings, a missing value as nothing) |
# |                      | differ; ScannerRegister of a value that is no       | |
# |                      | string reports the empty name                       | |
# | dispatch ids         | dociva.invoke(number) fails: "the plug-in's         | a browser finds a plug-in's methods by |
# |                      | methods have no dispatch ids"                       | name only |
#
# A script that cannot apply to the plug-in at all is named, with its
# reason, in e2e_not_for_plugin in tests/CMakeLists.txt; none is today.
PLUGIN_UNKNOWN_METHODS = ("AboutBox", "RegScannerSourceCallback", "SetOutputSplitFixPages")
SETUP_EVENTS = ("EVENT OnProfileReady ", "EVENT OnSourceReady ")
REGISTRATION_WORDING = (
    ('"message":"Product Name cannot be empty"', '"message":"Product name cannot be empty"'),
    ('"message":"Load driver fail"', '"message":<driver failure>'),
    ('"message":"Driver register fail"', '"message":<driver failure>'),
    ('"message":"Scanner handle not found"', '"message":<driver failure>'),
)
REFUSED_CALL = re.compile(r"^CALL (\S+) -> error: (type mismatch|overflow|wrong number of arguments)")
UNKNOWN_METHOD_CALL = re.compile(r"^CALL (\S+) -> error: Unknown method$")
EMPTY_NAME_EVENT = 'EVENT OnAfterScannerRegister {"code":3, "message":"Product name cannot be empty"}'
DISPATCH_ID_CALL = re.compile(r"^CALL dispid -?\d+ -> error: the plug-in's methods have no dispatch ids$")


def trace_runs(lines: list) -> list:
    """A trace's runs (NAME.js, NAME.2.js ...), each ending with its EXIT line."""
    runs, current = [], []
    for line in lines:
        current.append(line)
        if line.startswith("EXIT "):
            runs.append(current)
            current = []
    if current:
        runs.append(current)
    return runs


def reworded(line: str) -> str:
    if line.startswith("EVENT OnAfterScannerRegister "):
        for old, new in REGISTRATION_WORDING:
            line = line.replace(old, new)
    return line


def control_run_normalised(run: list) -> list:
    """The control's run without the set-up events its window raised first."""
    out, starting = [], True
    for line in run:
        if starting and line.startswith(SETUP_EVENTS):
            continue
        if not line.startswith("--- "):
            starting = False
        out.append(reworded(line))
    return out


def plugin_run_normalised(run: list) -> list:
    """The plug-in's run without the set-up events of its first Initialize."""
    out = [reworded(line) for line in run]
    for i, line in enumerate(out):
        if line.startswith("CALL Initialize -> "):
            start = i
            while start > 0 and out[start - 1].startswith(SETUP_EVENTS):
                start -= 1
            return out[:start] + out[i:]
    return out


def trace_steps(run: list) -> list:
    """A run cut into steps, one per call: the events and dialogs raised
    during it, its CALL line and what the script printed after it. The EXIT
    line is a step of its own."""
    steps, current, called = [], [], False
    for line in run:
        if line.startswith("EXIT "):
            if current:
                steps.append(current)
            steps.append([line])
            current, called = [], False
            continue
        if called and (line.startswith(("EVENT ", "DIALOG ", "CALL "))):
            steps.append(current)
            current, called = [], False
        current.append(line)
        called = called or line.startswith("CALL ")
    if current:
        steps.append(current)
    return steps


def call_line(step: list):
    return next((line for line in step if line.startswith("CALL ")), None)


def documented_step_difference(control: list, plugin: list):
    """The kind of documented difference that explains two different steps
    of the same call, or None."""
    c, p = call_line(control), call_line(plugin)
    if c is None or p is None:
        return None
    unknown = UNKNOWN_METHOD_CALL.match(p)
    if unknown and unknown.group(1) in PLUGIN_UNKNOWN_METHODS and c.startswith(f"CALL {unknown.group(1)} -> "):
        return "unknown methods"
    if DISPATCH_ID_CALL.match(p):
        return "dispatch ids"
    refused = REFUSED_CALL.match(c)
    if refused and p.startswith(f"CALL {refused.group(1)} -> ") and " -> error: " not in p:
        return "argument conversion"
    # A name that is no string: the control registers its text, the
    # plug-in reads no name at all.
    if c == p and c.startswith("CALL ScannerRegister -> ") and len(control) == len(plugin):
        changed = [(a, b) for a, b in zip(control, plugin) if a != b]
        if len(changed) == 1 and changed[0][1] == EMPTY_NAME_EVENT and changed[0][0].startswith(
                'EVENT OnAfterScannerRegister {"code":3, '):
            return "argument conversion"
    return None


def plugin_differences(control_lines: list, plugin_lines: list) -> list:
    """The differences between a script's control trace and its plug-in
    trace that the table above does not explain; [] when there are none."""
    problems = []
    control_runs, plugin_runs = trace_runs(control_lines), trace_runs(plugin_lines)
    if len(control_runs) != len(plugin_runs):
        return [f"{len(control_runs)} runs against the control, {len(plugin_runs)} against the plug-in"]
    for number, (control_run, plugin_run) in enumerate(zip(control_runs, plugin_runs), 1):
        # A page that prints what it heard itself (untraced, set-up events
        # included once it called Initialize) shows both the same.
        if [reworded(line) for line in control_run] == [reworded(line) for line in plugin_run]:
            continue
        control_steps = trace_steps(control_run_normalised(control_run))
        plugin_steps = trace_steps(plugin_run_normalised(plugin_run))
        ci = pi = 0
        while ci < len(control_steps) and pi < len(plugin_steps):
            c, p = control_steps[ci], plugin_steps[pi]
            ci, pi = ci + 1, pi + 1
            if c == p:
                continue
            kind = documented_step_difference(c, p)
            if kind is None:
                problems.append(f"run {number}: undocumented difference:\n  control: " + "\n           ".join(c) +
                                "\n  plug-in: " + "\n           ".join(p))
                continue
            if any(line.startswith("STDERR dociva run: ") for line in p):
                # The throw was not caught: the plug-in's run ends here,
                # the control's goes on to its own end.
                if pi < len(plugin_steps) and plugin_steps[pi] == ["EXIT 1"]:
                    ci, pi = len(control_steps), len(plugin_steps)
                else:
                    problems.append(f"run {number}: the plug-in's run went on after an uncaught {kind} error")
        if ci < len(control_steps) or pi < len(plugin_steps):
            problems.append(f"run {number}: the control's run has {len(control_steps)} steps, "
                            f"the plug-in's {len(plugin_steps)}")
    return problems


SANE_TEST_CONF = "number_of_devices 1\ntest-picture \"Color pattern\"\n"


def describe_files(folder: pathlib.Path) -> list:
    """FILE lines for every file below folder: pixel sizes and colour per
    page, read with ImageMagick's identify and poppler's pdfimages."""
    lines = []
    for path in sorted(p for p in folder.rglob("*") if p.is_file()):
        relative = path.relative_to(folder).as_posix()
        if path.suffix.lower() == ".pdf":
            listing = subprocess.run(["pdfimages", "-list", str(path)], capture_output=True, text=True).stdout
            pages = []
            for row in listing.splitlines()[2:]:
                cells = row.split()
                if len(cells) > 7:
                    pages.append(f"{cells[3]}x{cells[4]} {cells[5]} {cells[7]}-bit")
        elif path.suffix.lower() in (".jpg", ".tif", ".png", ".bmp", ".gif"):
            listing = subprocess.run(["identify", "-format", "%wx%h %[colorspace] %z-bit\n", str(path)],
                                     capture_output=True, text=True).stdout
            pages = listing.splitlines()
        else:
            continue
        same = all(p == pages[0] for p in pages) if pages else False
        summary = f"{len(pages)} pages of {pages[0]}" if same and len(pages) > 1 else "; ".join(pages)
        lines.append(f"FILE {relative}: {summary}")
    return lines


def whole_files(folder: pathlib.Path) -> list:
    """The "FILES" line of a "whole files" script, or the problems found."""
    problems = []
    jpeg_files = tiff_pages = 0
    for path in sorted(p for p in folder.rglob("*") if p.is_file()):
        relative = path.relative_to(folder).as_posix()
        if path.name.startswith(".~"):
            problems.append(f"FILES temporary file left: {relative}")
            continue
        suffix = path.suffix.lower()
        if suffix not in (".jpg", ".tif"):
            continue
        listing = subprocess.run(["identify", "-regard-warnings", "-format", "%wx%h\n", str(path)],
                                 capture_output=True, text=True)
        pages = listing.stdout.splitlines()
        if listing.returncode != 0 or not pages:
            problems.append(f"FILES not whole: {relative}: {listing.stderr.strip()}")
            continue
        if suffix == ".jpg":
            data = path.read_bytes()
            if not (data.startswith(b"\xff\xd8") and data.endswith(b"\xff\xd9")) or len(pages) != 1:
                problems.append(f"FILES not a whole JPEG: {relative}")
            jpeg_files += 1
        else:
            tiff_pages += len(pages)
    if problems:
        return problems
    return [f"FILES all whole, no temporary file; multi-page TIFF pages = JPEG files: {tiff_pages == jpeg_files}"]


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True, help="examples/install-demo.sh")
    parser.add_argument("--plugin", action="store_true", help="run against the plug-in")
    parser.add_argument("--sdk", help="a folder whose libdociva.so replaces the installation's SDK "
                        "(the same trace is expected)")
    parser.add_argument("--sane", action="store_true", help="add SANE's test device as a driver first")
    parser.add_argument("--sane-option", action="append", default=[], help="a line for the test device's test.conf")
    parser.add_argument("--expected", help="the trace to compare with (default NAME.trace)")
    parser.add_argument("script")
    args = parser.parse_args()

    script = pathlib.Path(args.script).resolve()
    name = script.name[:-len(".js")]
    folder = script.parent
    expected_path = folder / (name + (".plugin.trace" if args.plugin else ".trace"))
    if args.expected:
        expected_path = pathlib.Path(args.expected).resolve()

    with tempfile.TemporaryDirectory(prefix="dociva-e2e-") as tmp:
        root = pathlib.Path(tmp).resolve()
        copy_module(pathlib.Path(args.module), root / "module")
        (root / "home" / "Documents").mkdir(parents=True)
        env = dict(os.environ)
        env.update({"HOME": str(root / "home"), "XDG_CONFIG_HOME": str(root / "home" / ".config"),
                    "LC_ALL": "C.UTF-8", "DOCIVA_SDK_TRACE": str(root / "sdk-trace.jsonl")})
        exports = subprocess.run([args.examples, str(root / "install")], check=True,
                                 capture_output=True, text=True).stdout
        for line in exports.splitlines():
            match = re.match(r"export (\w+)=(.*)$", line)
            if match:
                env[match.group(1)] = subprocess.run(["bash", "-c", "printf %s " + match.group(2)],
                                                     check=True, capture_output=True, text=True).stdout
        files = folder / (name + ".files")
        if files.is_dir():
            copy_files(files, root)
        if args.sdk:
            # The tool links an SDK of its own; the loader must find this one
            # first, or the module would be bound to the tool's.
            sdk = root / "module" / "libdociva.so"
            sdk.unlink()
            shutil.copy2(pathlib.Path(args.sdk) / "libdociva.so", sdk)
            env["LD_LIBRARY_PATH"] = str(root / "module")
            env["LD_DEBUG"] = "libs"
            env["LD_DEBUG_OUTPUT"] = str(root / "ld-debug")

        output = []
        if args.sane:
            sane = root / "sane"
            sane.mkdir()
            (sane / "dll.conf").write_text("test\n")
            conf = folder / (name + ".sane.conf")
            (sane / "test.conf").write_text(SANE_TEST_CONF + (conf.read_text() if conf.exists() else "") +
                                            "".join(line + "\n" for line in args.sane_option))
            env["SANE_CONFIG_DIR"] = str(sane)
            added = subprocess.run([args.dociva, "driver", "add-sane", "test:0", "--name", "SANE Test Device"],
                                   cwd=root, env=env, capture_output=True, timeout=60)
            for line in added.stdout.decode("utf-8", "replace").replace(str(root), "@ROOT@").splitlines():
                output.append("ADD-SANE " + line)
            for line in added.stderr.decode("utf-8", "replace").replace(str(root), "@ROOT@").splitlines():
                output.append("ADD-SANE STDERR " + line)

        runs = [script]
        n = 2
        while (folder / f"{name}.{n}.js").exists():
            runs.append(folder / f"{name}.{n}.js")
            n += 1

        failures = []
        for run in runs:
            if len(runs) > 1:
                output.append(f"--- {run.name}")
            command = [args.dociva, "run", "--module", str(root / "module"), str(run)]
            if args.plugin:
                command.insert(2, "--plugin")
            if not run.read_text(encoding="utf-8").startswith("// e2e: untraced"):
                command.insert(-1, "--trace")
            done = subprocess.run(command, cwd=root, env=env, capture_output=True, timeout=170)
            # Error locations name the script where the checkout has it.
            stdout = done.stdout.decode("utf-8", "replace").replace(str(root), "@ROOT@").replace(
                str(folder), "@E2E@")
            stderr = done.stderr.decode("utf-8", "replace").replace(str(root), "@ROOT@").replace(
                str(folder), "@E2E@")
            for line in stdout.splitlines():
                if line.startswith("EVENT "):
                    payload = line.split(" ", 2)[2] if line.count(" ") >= 2 else ""
                    try:
                        json.loads(payload)
                        line = sorted_profile_list(line)
                    except ValueError as error:
                        failures.append(f"not JSON ({error}): {line}")
                output.append(line)
            for line in stderr.splitlines():
                output.append("STDERR " + line)
            output.append(f"EXIT {done.returncode}")

        if args.sane and (root / "scans").is_dir():
            output.extend(describe_files(root / "scans"))
        head = script.read_text(encoding="utf-8").splitlines()
        if "// e2e: whole files" in head[:5]:
            output.extend(whole_files(root / "scans"))

        if args.sdk:
            loaded = set()
            for log in root.glob("ld-debug.*"):
                for line in log.read_text(encoding="utf-8", errors="replace").splitlines():
                    match = re.search(r"calling init: (\S*libdociva\.so)$", line)
                    if match:
                        loaded.add(match.group(1))
            if loaded != {str(root / "module" / "libdociva.so")}:
                failures.append(f"the SDK in use was not the one given: {sorted(loaded)}")

        # The viewer's pictures the script saved under its name.
        regenerate = os.environ.get("DOCIVA_REGENERATE_GOLDEN") == "1"
        pictures = sorted({p.name for p in [*root.glob(name + ".png"), *root.glob(name + ".*.png"),
                                            *folder.glob(name + ".png"), *folder.glob(name + ".*.png")]})
        for picture in pictures:
            # The plug-in's viewer is held to the control's picture, never
            # writes it.
            if regenerate and (root / picture).exists() and not args.plugin:
                shutil.copyfile(root / picture, folder / picture)
                print(f"wrote {folder / picture}")
            elif not regenerate:
                failures.extend(picture_failures(root / picture, folder / picture))

    actual = "\n".join(output) + "\n"
    if args.plugin:
        # Beside its own trace, the plug-in is held to the control's.
        control_path = folder / (name + ".trace")
        control_lines = control_path.read_text(encoding="utf-8").splitlines() if control_path.exists() else []
        for problem in plugin_differences(control_lines, output):
            failures.append(f"against {control_path.name}: {problem}")
    if regenerate:
        expected_path.write_text(actual, encoding="utf-8")
        print(f"wrote {expected_path}")
        # A new plug-in trace is only as good as its differences.
        plugin_failures = [f for f in failures if args.plugin and f.startswith("against ")]
        for failure in plugin_failures:
            print("FAIL:", failure)
        return 1 if plugin_failures else 0
    expected = expected_path.read_text(encoding="utf-8") if expected_path.exists() else ""
    if actual != expected:
        import difflib
        sys.stdout.writelines(difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                                   str(expected_path), "actual"))
        failures.append("trace differs from " + str(expected_path))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

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
(`dociva run --plugin`) and are compared with NAME.plugin.trace, which
differs from NAME.trace only where the plug-in does.

DOCIVA_REGENERATE_GOLDEN=1 writes NAME.trace instead of comparing.
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


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True, help="examples/install-demo.sh")
    parser.add_argument("--plugin", action="store_true", help="run against the plug-in")
    parser.add_argument("script")
    args = parser.parse_args()

    script = pathlib.Path(args.script).resolve()
    name = script.name[:-len(".js")]
    folder = script.parent
    expected_path = folder / (name + (".plugin.trace" if args.plugin else ".trace"))

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

        runs = [script]
        n = 2
        while (folder / f"{name}.{n}.js").exists():
            runs.append(folder / f"{name}.{n}.js")
            n += 1

        output = []
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

    actual = "\n".join(output) + "\n"
    if os.environ.get("DOCIVA_REGENERATE_GOLDEN") == "1":
        expected_path.write_text(actual, encoding="utf-8")
        print(f"wrote {expected_path}")
        return 0
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

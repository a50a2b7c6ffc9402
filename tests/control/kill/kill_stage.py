#!/usr/bin/env python3
"""The kill stage: a page that rotates and deletes pages of a 20-page TIFF
and a 20-page PDF in a loop (kill/edit_loop.js, run by `dociva run`) is
killed with SIGKILL at random moments - while it scans, while it writes a
document, between writes. After every kill:

  - every document in the folder opens with all its pages: tiffinfo and
    pdfinfo read it without an error, and our own loader (`dociva view`,
    the viewer's loading) reads every page at full size, all three
    counting the same pages;
  - each document of the killed round holds the pages the page had when it
    was killed (or, for a delete the kill interrupted, one page fewer), and
    every document of earlier rounds is as the check after its own round
    found it;
  - that next load leaves no temporary file in the folder (it removes what
    the killed writer left), and nothing else but the documents is there.

The moments and the page's choices come from one seed (--seed, default
fixed), so a failing round can be run again: the stage prints the seed and
each round's moment. One installation and one output folder serve every
round, so each round's scan also writes where the last one was killed.

Prints "kill: N passed, N failed" (one check per round) and exits 1 on any
failure.
"""
import argparse
import os
import pathlib
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
import run_e2e  # noqa: E402  (the installation helpers of the end-to-end pages)

DOCUMENT = re.compile(r"^doc_\d{3}\.(tif|pdf)$")


def install(root: pathlib.Path, module: pathlib.Path, examples: str) -> dict:
    run_e2e.copy_module(module, root / "module")
    (root / "home" / "Documents").mkdir(parents=True)
    env = dict(os.environ)
    env.update({"HOME": str(root / "home"), "XDG_CONFIG_HOME": str(root / "home" / ".config"),
                "LC_ALL": "C.UTF-8"})
    for name in ("DOCIVA_TEST_DISK_FULL", "DOCIVA_TEST_DISK_FREE"):
        env.pop(name, None)
    exports = subprocess.run([examples, str(root / "install")], check=True, capture_output=True,
                             text=True).stdout
    for line in exports.splitlines():
        match = re.match(r"export (\w+)=(.*)$", line)
        if match:
            env[match.group(1)] = subprocess.run(["bash", "-c", "printf %s " + match.group(2)], check=True,
                                                 capture_output=True, text=True).stdout
    # The duplex scanner without its warm-up, ten sheets a start: 20 sides.
    ini = root / "install" / "programdata" / "Corvane" / "VirtualDuplex" / "driver" / "module.ini"
    text = re.sub(r"(?m)^warmupMs=.*$", "warmupMs=0", ini.read_text())
    text = re.sub(r"(?m)^pagesPerBatch=.*$", "pagesPerBatch=10", text)
    ini.write_text(text)
    return env


def run_round(dociva, root, env, seed, folder, delay):
    """Runs the page and kills it after delay seconds; returns its output lines."""
    (root / "kill-params.json").write_text('{"seed": %d, "folder": "%s"}' % (seed, folder))
    process = subprocess.Popen([dociva, "run", "--module", str(root / "module"), str(HERE / "edit_loop.js")],
                               cwd=root, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = []

    def read():
        for raw in process.stdout:
            lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    reader = threading.Thread(target=read)
    reader.start()
    time.sleep(delay)
    ended_early = process.poll() is not None
    if not ended_early:
        process.send_signal(signal.SIGKILL)
    process.wait()
    reader.join()
    return lines, ended_early, process.returncode


def expected_counts(lines):
    """What each document of the round may hold: {0: {..}, 1: {..}} for the
    TIFF (0) and the PDF (1); None before the scan was done."""
    if not any(line.startswith("SCANNED") for line in lines):
        return None
    confirmed = {0: 20, 1: 20}
    pending = {}
    for line in lines:
        parts = line.split()
        if not parts:
            continue
        if parts[0] == "STEP":
            pending = {"doc": int(parts[2]), "op": parts[3], "before": int(parts[5])}
        elif parts[0] == "DONE":
            confirmed[int(parts[2])] = int(parts[5])
            pending = {}
    allowed = {d: {c} for d, c in confirmed.items()}
    if pending and pending["op"] == "delete":
        allowed[pending["doc"]].add(pending["before"] - 1)
    return allowed


def tiff_pages(path):
    done = subprocess.run(["tiffinfo", str(path)], capture_output=True, text=True)
    if done.returncode != 0 or "error" in done.stderr.lower():
        return None, done.stderr.strip()
    return done.stdout.count("TIFF Directory at offset"), ""


def pdf_pages(path):
    done = subprocess.run(["pdfinfo", str(path)], capture_output=True, text=True)
    match = re.search(r"^Pages:\s+(\d+)$", done.stdout, re.M)
    if done.returncode != 0 or not match or done.stderr.strip():
        return None, done.stderr.strip()
    return int(match.group(1)), ""


def load(dociva, module, paths):
    """Our own loader: {path name: (pages, every page read)}; the load also
    removes stale temporary files from the folder."""
    if not paths:
        return {}
    done = subprocess.run([dociva, "view", "--module", str(module), *map(str, paths)], capture_output=True,
                          text=True)
    found = {}
    for line in done.stdout.splitlines():
        match = re.match(r"^(.*): (\d+) pages,(.*)$", line)
        if match:
            sizes = match.group(3).split()
            found[pathlib.Path(match.group(1)).name] = (int(match.group(2)),
                                                          all(not s.startswith("0x") for s in sizes))
        else:
            name, _, rest = line.partition(": ")
            found[pathlib.Path(name).name] = (None, rest)
    return found


def main() -> int:
    sys.stdout.reconfigure(line_buffering=True)
    parser = argparse.ArgumentParser()
    parser.add_argument("--dociva", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--examples", required=True, help="examples/install-demo.sh")
    parser.add_argument("--seed", type=int, default=int(os.environ.get("DOCIVA_KILL_SEED", "20250611")))
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--keep", action="store_true", help="keep the installation and print where it is")
    args = parser.parse_args()
    args.dociva = str(pathlib.Path(args.dociva).resolve())
    args.module = str(pathlib.Path(args.module).resolve())
    args.examples = str(pathlib.Path(args.examples).resolve())

    for tool in ("tiffinfo", "pdfinfo"):
        if not shutil.which(tool):
            print(f"kill: {tool} is not installed (scripts/setup installs it)")
            print("kill: 0 passed, 1 failed")
            return 1

    rng = random.Random(args.seed)
    print(f"kill: seed {args.seed} (--seed {args.seed} runs these rounds again)", flush=True)
    tmp = tempfile.mkdtemp(prefix="dociva-kill-")
    root = pathlib.Path(tmp).resolve()
    passed = failed = 0
    started = time.monotonic()
    try:
        env = install(root, pathlib.Path(args.module), args.examples)
        folder = root / "scans"
        known = {}  # document name -> pages found after its round
        previous = set()
        for n in range(1, args.rounds + 1):
            delay = rng.uniform(0.05, 1.0)
            lines, ended_early, code = run_round(args.dociva, root, env, args.seed * 1000 + n, folder, delay)
            problems = []
            if ended_early:
                problems.append(f"the page ended by itself (exit {code}): " + " | ".join(lines[-5:]))
            allowed = expected_counts(lines)
            names = sorted(os.listdir(folder)) if folder.is_dir() else []
            documents = [name for name in names if DOCUMENT.match(name)]
            left = [name for name in names if not DOCUMENT.match(name)]
            round_docs = {}
            for kind, index in (("tif", 0), ("pdf", 1)):
                mine = sorted(d for d in documents if d.endswith("." + kind) and d not in known)
                if allowed is None:
                    # Killed while scanning: a document is whole or not there.
                    for name in mine:
                        round_docs[name] = {20}
                elif len(mine) != 1:
                    problems.append(f"{kind}: {len(mine)} new documents after a finished scan: {mine}")
                else:
                    round_docs[mine[0]] = allowed[index]
            # This round's documents and the round before's (every earlier
            # one again after the last round), read three ways.
            check = [d for d in documents if d not in known or d in previous or n == args.rounds]
            loaded = load(args.dociva, args.module, [folder / d for d in check])
            for name in check:
                pages, ok = loaded.get(name, (None, "not loaded"))
                if pages is None or ok is not True:
                    problems.append(f"{name}: our loader: {ok}")
                    continue
                other, why = tiff_pages(folder / name) if name.endswith(".tif") else pdf_pages(folder / name)
                if other != pages:
                    problems.append(f"{name}: our loader found {pages} pages, "
                                    f"{'tiffinfo' if name.endswith('.tif') else 'pdfinfo'} {other} {why}")
                if name in known and known[name] != pages:
                    problems.append(f"{name}: an earlier round's document changed from {known[name]} to {pages} pages")
                elif name in round_docs and pages not in round_docs[name]:
                    problems.append(f"{name}: {pages} pages, the page had {sorted(round_docs[name])}")
                known[name] = pages
            after = sorted(os.listdir(folder)) if folder.is_dir() else []
            leftovers = [name for name in after if not DOCUMENT.match(name)]
            if check and leftovers:
                problems.append(f"left after the next load: {leftovers}")
            previous = set(round_docs)
            last = next((line for line in reversed(lines) if line.startswith(("STEP", "DONE", "SCAN"))), "-")
            state = f"killed at {delay:.2f} s after \"{last}\""
            swept = f", {len(left)} temporary file(s) removed by the load" if left and not leftovers else ""
            if problems:
                failed += 1
                print(f"kill round {n}: FAILED, {state}")
                for problem in problems:
                    print(f"  {problem}")
            else:
                passed += 1
                print(f"kill round {n}: ok, {state}, {len(documents)} documents{swept}")
        if args.keep:
            print(f"kill: installation kept in {root}")
    finally:
        if not args.keep:
            shutil.rmtree(tmp, ignore_errors=True)
    print(f"kill: {time.monotonic() - started:.1f} s")
    print(f"kill: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks that every #include of the component's own headers runs in an
allowed direction between folders (docs/architecture.md, "Include
directions"): a folder may include its own headers and those of the
folders listed for it, never a folder above it, so the layers stay a
stack without circles.

  check_includes.py ROOT

Prints every include that runs against the table and exits 1 when there is
one. Test programs (tests/), benchmarks (bench/) and fuzz targets may
include anything.
"""
import pathlib
import re
import sys

# The folder (or library under libs/) -> the folders its code may include.
ALLOWED = {
    "platform": set(),
    "settings": {"platform"},
    "threadpool": {"platform"},
    "dialogs": {"platform"},
    "libs/timage": {"platform"},
    "libs/qixipf": {"platform", "libs/timage"},
    "output": {"platform", "libs/timage", "libs/qixipf"},
    "scanner": {"platform", "settings"},
    "libs/dociva-sdk": {"platform", "settings", "scanner", "output", "libs/timage", "libs/qixipf"},
    # scanner: the SDK's interface header, for its format ids.
    "viewer": {"platform", "output", "scanner", "libs/timage", "libs/qixipf", "threadpool"},
    "control": {"platform", "settings", "threadpool", "dialogs", "output", "scanner", "viewer",
                "libs/timage", "libs/qixipf"},
    "plugin": {"platform", "settings", "threadpool", "dialogs", "output", "scanner", "viewer", "control",
               "libs/timage", "libs/qixipf"},
    "bridge": {"platform", "settings", "threadpool", "dialogs", "output", "scanner", "viewer", "control",
               "libs/timage", "libs/qixipf"},
    "tools": {"platform", "settings", "threadpool", "dialogs", "output", "scanner", "viewer", "control",
              "plugin", "bridge", "libs/timage", "libs/qixipf"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def unit_of(relative: str) -> str:
    parts = relative.split("/")
    if parts[0] == "libs" and len(parts) > 1:
        return "libs/" + parts[1]
    return parts[0]


def main() -> int:
    root = pathlib.Path(sys.argv[1]).resolve()
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in {".h", ".cpp"} or "build" in path.relative_to(root).parts[:1]:
            continue
        relative = path.relative_to(root).as_posix()
        source = unit_of(relative)
        if source not in ALLOWED:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            target = unit_of(match.group(1))
            if target not in ALLOWED or target == source or target in ALLOWED[source]:
                continue
            problems.append(f"{relative}:{number}: {source} includes {match.group(1)} ({target} is not below it)")
    for problem in problems:
        print(problem)
    print(f"include directions: {len(problems)} against the table")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks that each given module takes from the scanner SDK only the five
calls every SDK has: a module that imports anything more at load time will
not load against an SDK that lacks it.

  check_sdk_imports.py --nm NM FILE...        Linux shared objects
  check_sdk_imports.py --objdump OBJDUMP FILE... Windows DLLs and programs

On Linux the SDK's calls are the module's undefined dynamic symbols named
dociva_*. On Windows they are the module's imports from dociva.dll, by name
or (open, register, close) by ordinal.
Prints one line per module and exits 1 when any imports more.
"""
import argparse
import re
import subprocess
import sys

CONTRACT_NAMES = {"dociva_OpenDriver", "dociva_GetSourceCapability", "dociva_RegisterCallback",
                  "dociva_StartScanAsync", "dociva_CloseDriver"}
# The calls bound by ordinal only, and the two by name.
CONTRACT_ORDINALS = {1, 2, 8}
CONTRACT_BY_NAME = {"dociva_GetSourceCapability", "dociva_StartScanAsync"}


def linux_imports(nm: str, path: str) -> set:
    out = subprocess.run([nm, "-D", "--undefined-only", path], check=True, capture_output=True, text=True).stdout
    names = set()
    for line in out.splitlines():
        name = line.split()[-1].split("@")[0]
        if name.startswith("dociva_"):
            names.add(name)
    return names


def windows_imports(objdump: str, path: str) -> set:
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    imports = set()
    inside = False
    for line in out.splitlines():
        dll = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if dll:
            inside = dll.group(1).lower() == "dociva.dll"
            continue
        if not inside:
            continue
        if not line.strip():
            inside = False
            continue
        # "\t<vma>\t <hint> <name>" for a name, "\t<vma>\t<ordinal>" (or with
        # "<none>") for an ordinal.
        fields = line.split()
        if len(fields) >= 3 and re.fullmatch(r"[0-9a-fA-F]+", fields[0]) and fields[1].isdigit():
            imports.add(fields[2] if fields[2] != "<none>" else int(fields[1]))
        elif len(fields) == 2 and re.fullmatch(r"[0-9a-fA-F]+", fields[0]) and fields[1].isdigit():
            imports.add(int(fields[1]))
    return imports


def main() -> int:
    parser = argparse.ArgumentParser()
    tool = parser.add_mutually_exclusive_group(required=True)
    tool.add_argument("--nm")
    tool.add_argument("--objdump")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    failed = False
    for path in args.files:
        if args.nm:
            got = linux_imports(args.nm, path)
            allowed = CONTRACT_NAMES
        else:
            got = windows_imports(args.objdump, path)
            allowed = CONTRACT_BY_NAME | CONTRACT_ORDINALS
        extra = sorted(str(x) for x in got - allowed)
        if not got:
            print(f"{path}: imports nothing from the SDK")
            failed = True
        elif extra:
            print(f"{path}: imports beyond the five calls: {', '.join(extra)}")
            failed = True
        else:
            print(f"{path}: {', '.join(sorted(str(x) for x in got))}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The library's export table as include/vorlex.h declares it.

  exports.py list        the expected export names, one a line (_FuncNNN@k, Func033)
  exports.py def FILE    writes the module-definition file for the Windows build
  exports.py plain FILE  the same for a 64-bit build (undecorated names)
  exports.py implib FILE writes the definitions from which dlltool makes the
                         import library (mingw)
  exports.py msvc FILE   writes the module-definition file for MSVC users
                         (lib /def:FILE /machine:x86 /out:vorlex.lib)
  exports.py table FILE  a C header with an X-macro of every export
  exports.py check DLL   compares a built DLL's export table with the list
"""
import re
import subprocess
import sys
from pathlib import Path

HEADER = Path(__file__).resolve().parent.parent / "include" / "vorlex.h"
DECL = re.compile(r"VORLEX_API\s+[\w\s\*]+?\b(WINAPI|__cdecl)\s+(Func\d{3})\s*\(([^)]*)\)", re.S)


def exports():
    text = HEADER.read_text()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    out = {}
    for conv, name, args in DECL.findall(text):
        args = args.strip()
        count = 0 if args in ("", "void") else len([a for a in args.split(",") if a.strip() != "..."])
        # Every argument is 32 bits wide on 32-bit Windows.
        out[name] = name if conv == "__cdecl" else f"_{name}@{4 * count}"
    return [out[k] for k in sorted(out)]


def main():
    cmd = sys.argv[1] if len(sys.argv) > 1 else "list"
    names = exports()
    if cmd == "list":
        print("\n".join(names))
    elif cmd == "def":
        lines = ["LIBRARY vorlex", "EXPORTS"]
        for n in names:
            # mingw names the stdcall symbol without the leading underscore.
            lines.append(f"    {n} = {n[1:]}" if n.startswith("_") else f"    {n}")
        Path(sys.argv[2]).write_text("\n".join(lines) + "\n")
    elif cmd == "plain":
        # 64-bit Windows has one calling convention: names stay undecorated.
        lines = ["LIBRARY vorlex", "EXPORTS"] + [f"    {n[1:].split('@')[0]}" if n.startswith("_") else f"    {n}"
                                                for n in names]
        Path(sys.argv[2]).write_text("\n".join(lines) + "\n")
    elif cmd == "implib":
        # dlltool puts an underscore before every symbol; the export names
        # already carry theirs, so the import names are given apart (==):
        # a program's reference to Func041@8 (_Func041@8 in its object)
        # imports _Func041@8.
        lines = ["LIBRARY vorlex.dll", "EXPORTS"]
        for n in names:
            lines.append(f"    {n[1:]} == {n}" if n.startswith("_") else f"    {n}")
        Path(sys.argv[2]).write_text("\n".join(lines) + "\n")
    elif cmd == "msvc":
        # lib.exe takes a name with '@' as decorated and imports it as it
        # stands; Func033 (cdecl) gets its underscore from lib.
        lines = ["LIBRARY vorlex", "EXPORTS"] + [f"    {n}" for n in names]
        Path(sys.argv[2]).write_text("\n".join(lines) + "\n")
    elif cmd == "table":
        # A C header listing every export, for the program that links them all.
        plain = sorted(n[1:].split("@")[0] if n.startswith("_") else n for n in names)
        body = " \\\n".join(f"    X({n})" for n in plain)
        Path(sys.argv[2]).write_text(f"#define VORLEX_EVERY_EXPORT(X) \\\n{body}\n#define VORLEX_EXPORT_COUNT {len(plain)}\n")
    elif cmd == "check":
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", sys.argv[2]], capture_output=True, text=True,
                              check=True).stdout
        table = dump.split("[Ordinal/Name Pointer] Table", 1)[1] if "[Ordinal/Name Pointer] Table" in dump else ""
        table = table.strip("\n").split("\n\n", 1)[0]
        found = sorted(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)", table, re.M))
        missing = sorted(set(names) - set(found))
        extra = sorted(set(found) - set(names))
        print(f"{len(found)} exports in {sys.argv[2]}, {len(names)} declared in vorlex.h")
        for n in missing:
            print(f"  missing: {n}")
        for n in extra:
            print(f"  not declared: {n}")
        sys.exit(1 if missing or extra else 0)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

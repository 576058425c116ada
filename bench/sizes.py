"""The benchmark's size rows: the program against the bare window, from
mingw-w64's objdump and nm.

usage: sizes.py KIVO_EXE BARE_EXE"""
import os
import re
import subprocess
import sys


def tool(name, path):
    return subprocess.run(["x86_64-w64-mingw32-" + name] + (["-h"] if name == "objdump" else ["-C"]) + [path],
                          check=True, capture_output=True, text=True).stdout


def sections(path):
    """Each section's size by name, resources and debug sections left out."""
    return {name: int(size, 16) for name, size in re.findall(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)", tool("objdump", path), re.M)
            if not (name.startswith(".debug") or name in (".bss", ".rsrc"))}


def kib(size):
    return "%.1f KiB" % (size / 1024)


def row(what, kivo, bare, floor="", met=None):
    verdict = "" if met is None else ("met" if met else "MISSED")
    print("| %s | %s | %s | %.2f | %s | %s |" % (what, kib(kivo), kib(bare), kivo / bare, floor, verdict))


def main():
    kivo, bare = sys.argv[1:3]
    kivo_sections, bare_sections = sections(kivo), sections(bare)
    row("size: whole file, resources and debug sections included", os.path.getsize(kivo), os.path.getsize(bare))
    image = sum(kivo_sections.values())
    row("size: image without resources (all sections but .rsrc, .bss, .debug*)", image, sum(bare_sections.values()),
        "code under 200 KB", image < 200 * 1024)
    row("size: machine code (.text)", kivo_sections[".text"], bare_sections[".text"])
    symbols = tool("nm", kivo).splitlines()
    runtime = sum(1 for s in symbols if re.search(r"__cxa_|__gxx_personality|pthread_|emutls", s))
    iostream = sum(1 for s in symbols if re.search(r"std::(basic_[io]stream|ios_base|cout|cin)", s))
    print("| C++ runtime symbols linked (exceptions, guards, threads) / iostream symbols | %d / %d | | | none | %s |"
          % (runtime, iostream, "met" if runtime == iostream == 0 else "MISSED"))


main()

#!/usr/bin/env python3
"""Counts what shortcutsweep.exe asks of the system, under Wine.

Run through bench/count-calls.sh, which builds the programs and makes the
Wine prefix. Times depend on the machine's load (and, where Wine's 32-bit
side runs under qemu-i386, on the emulator); the calls a run makes do not.
Each build sweeps the same tree, made anew for each run by run.py's Tree,
under `strace -f -c`: every Linux call of the program's process and the
wine loader, the Wine server started beforehand and so left out, less
those of a run of the same build with nothing to sweep (the start). `write`
is one request to the Wine server.
"""

import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402  (the benchmark's trees)


class Column:
    def __init__(self, spec):
        self.label, _, self.exe = spec.partition("=")
        if not self.exe or not os.path.isfile(self.exe):
            sys.exit("count_calls: %s is not LABEL=shortcutsweep.exe" % spec)
        self.source, self.key = self.exe, self.label


def strace_counts(path):
    """(all calls, write calls) from `strace -c`'s table."""
    total = writes = 0
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 5 and fields[-1] == "total":
                total = int(fields[3])
            elif len(fields) >= 5 and fields[-1] == "write":
                writes = int(fields[3])
    return total, writes


def count(work, column, files, variant):
    """What one sweep of `files` costs, less what a run with nothing to
    sweep costs (the loader's and, under qemu-i386, the emulator's start)."""
    tree = run.Tree(os.path.join(work, "tree"), [run.Program("sweep", column.label, "shortcutsweep.exe", column.exe)])
    idle = traced(work, tree)
    tree.make(files, variant)
    busy = traced(work, tree)
    left = tree.leftovers()
    if left:
        sys.exit("count_calls: %s left %d files (%s ...)" % (column.label, len(left), left[0]))
    return busy[0] - idle[0], busy[1] - idle[1]


def traced(work, tree):
    out = os.path.join(work, "strace.txt")
    subprocess.run(
        ["strace", "-f", "-c", "-o", out, "wine", tree.program("shortcutsweep.exe")],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return strace_counts(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True, help="a scratch folder for the trees")
    parser.add_argument("--files", type=int, default=2048)
    parser.add_argument("--variants", default=",".join(run.VARIANTS))
    parser.add_argument("columns", nargs="+", help="LABEL=path of a shortcutsweep.exe; the first is the base")
    args = parser.parse_args()
    columns = [Column(spec) for spec in args.columns]
    # The server kept running (the prefix's is, or starts here), so not counted.
    subprocess.run(["wineserver", "-p"], stderr=subprocess.DEVNULL, check=False)
    print("Linux calls / Wine server requests of one sweep of %d files (strace -f -c), less those of a run "
          "with nothing to sweep\n" % args.files)
    header = ["variant"] + [c.label for c in columns] + ["%s / %s" % (c.label, columns[0].label) for c in columns[1:]]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for variant in args.variants.split(","):
        got = [count(args.work, c, args.files, variant) for c in columns]
        cells = ["%d / %d" % g for g in got]
        cells += ["%.3f (%.3f)" % (g[0] / got[0][0], g[1] / got[0][1]) for g in got[1:]]
        print("| " + " | ".join([variant] + cells) + " |", flush=True)
    subprocess.run(["wineserver", "-k"], check=False)


if __name__ == "__main__":
    main()

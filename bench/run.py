#!/usr/bin/env python3
"""Times shortcutsweep.exe against the file system's floor, under Wine.

Run through bench/run.sh, which builds the programs and makes the Wine
prefix this script runs them in (WINEPREFIX and the rest come from the
environment). Everything here is measured by bench/launcher.exe from inside
Windows; this script only builds the trees, runs the launcher, checks that
every listed file went, and prints the figures.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

LANGUAGES = ("en", "de", "fr", "ja")
SHORTCUT = b"[InternetShortcut]\r\nURL=https://example.invalid/\r\n"
MARK = b"\xef\xbb\xbf"
FILES_PER_WILDCARD = 3


def winpath(path):
    """The Wine path of a Unix path: Z: maps to /."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Tree:
    """An install folder with the programs, and a folder of shortcuts."""

    def __init__(self, root, sweep_exe, floor_exe):
        self.root = root
        self.bin = os.path.join(root, "Vantrel", "Tool", "bin")
        self.links = os.path.join(root, "Links")
        if os.path.isdir(root):
            shutil.rmtree(root)
        os.makedirs(self.bin)
        shutil.copy(sweep_exe, os.path.join(self.bin, "shortcutsweep.exe"))
        shutil.copy(floor_exe, os.path.join(self.bin, "floor.exe"))

    def program(self, name):
        return winpath(os.path.join(self.bin, name))

    def clear(self):
        """No shortcuts, no manifests, no batch file."""
        if os.path.isdir(self.links):
            shutil.rmtree(self.links)
        for name in os.listdir(self.bin):
            if name.startswith("__shortcutsweep"):
                os.remove(os.path.join(self.bin, name))

    def make(self, files, wildcards):
        """Creates `files` shortcuts and the four manifests that list them.

        Without wildcards every file has its own line. With them, a quarter
        of the files have their own line and the rest lie in folders of
        FILES_PER_WILDCARD, each listed by one wildcard line, so that half
        the lines are wildcard lines. Lines are dealt to the languages in
        four equal runs. Returns the manifests' sizes in bytes.
        """
        self.clear()
        os.makedirs(self.links)
        links_win = winpath(self.links)
        lines = []
        if not wildcards:
            for i in range(files):
                name = "s%06d.url" % i
                self._write(os.path.join(self.links, name))
                lines.append("%s\\%s" % (links_win, name))
        else:
            singles = files // (FILES_PER_WILDCARD + 1)
            folders = (files - singles) // FILES_PER_WILDCARD
            assert singles + folders * FILES_PER_WILDCARD == files and singles == folders
            for i in range(singles):
                name = "s%06d.url" % i
                self._write(os.path.join(self.links, name))
                lines.append("%s\\%s" % (links_win, name))
                folder = "d%05d" % i
                os.mkdir(os.path.join(self.links, folder))
                for k in range(FILES_PER_WILDCARD):
                    self._write(os.path.join(self.links, folder, "w%d.url" % k))
                lines.append("%s\\%s\\*.url" % (links_win, folder))
        sizes = []
        share = len(lines) // len(LANGUAGES)
        for n, lang in enumerate(LANGUAGES):
            part = lines[n * share : (n + 1) * share] if n < 3 else lines[3 * share :]
            data = MARK + "".join(line + "\r\n" for line in part).encode("utf-8")
            with open(os.path.join(self.bin, "__shortcutsweep-%s.ini" % lang), "wb") as f:
                f.write(data)
            sizes.append(len(data))
        with open(os.path.join(self.bin, "__shortcutsweep.bat"), "wb") as f:
            f.write(b"@echo off\r\n")
        os.sync()  # so that write-back of the new tree does not land in a timed run
        return len(lines), sizes

    def leftovers(self):
        """Shortcuts, manifests and batch file still there after a run."""
        left = [n for n in os.listdir(self.bin) if n.startswith("__shortcutsweep")]
        for folder, _, names in os.walk(self.links):
            left += [os.path.join(folder, n) for n in names]
        return left

    @staticmethod
    def _write(path):
        with open(path, "wb") as f:
            f.write(SHORTCUT)


class Launcher:
    def __init__(self, exe, poll_ms):
        self.exe = winpath(exe)
        self.poll_ms = poll_ms

    def run(self, program):
        """Runs a Windows program; returns (milliseconds, peak working set in KiB)."""
        out = subprocess.run(
            ["wine", self.exe, "--poll", str(self.poll_ms), program],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            stdin=subprocess.DEVNULL,
            check=False,
        )
        text = out.stdout.decode("utf-8", "replace").strip()
        fields = dict(item.split("=", 1) for item in text.split() if "=" in item)
        if out.returncode != 0 or "ms" not in fields:
            sys.exit("launcher failed for %s: %s %s" % (program, text, out.stderr.decode("utf-8", "replace")))
        if fields.get("exit") != "0":
            sys.exit("%s ended with status %s" % (program, fields.get("exit")))
        return float(fields["ms"]), int(fields["peak_kb"])


def median(values):
    return statistics.median(values)


def log(message):
    print(message, file=sys.stderr, flush=True)


def bench_start(tree, launcher, empty_exe, runs):
    """A sweep with nothing to do against an empty program, alternating."""
    tree.clear()
    empty, nothing = [], []
    for _ in range(runs):
        empty.append(launcher.run(winpath(empty_exe)))
        nothing.append(launcher.run(tree.program("shortcutsweep.exe")))
    return empty, nothing


def bench_deletions(tree, launcher, files, wildcards, runs):
    """Floor and sweep, alternating, the tree made afresh before every run."""
    pairs = []
    lines = sizes = None
    for r in range(runs):
        pair = []
        for name in ("floor.exe", "shortcutsweep.exe"):
            lines, sizes = tree.make(files, wildcards)
            pair.append(launcher.run(tree.program(name)))
            left = tree.leftovers()
            if left:
                sys.exit("%s left %d of the listed files, e.g. %s" % (name, len(left), left[0]))
        pairs.append(pair)
        log(
            "  %s N=%d run %d: floor %.0f ms, sweep %.0f ms"
            % ("wildcard" if wildcards else "plain", files, r + 1, pair[0][0], pair[1][0])
        )
    return lines, sizes, pairs


def bench_reader(reader_exe, work, megabytes, repeats):
    out = subprocess.run(
        ["wine", winpath(reader_exe), winpath(work), str(megabytes), str(repeats)],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        stdin=subprocess.DEVNULL,
        check=False,
    )
    if out.returncode != 0:
        sys.exit("reader bench failed: " + out.stderr.decode("utf-8", "replace"))
    return out.stdout.decode("utf-8", "replace").strip().splitlines()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the mingw build folder")
    parser.add_argument("--work", required=True, help="a scratch folder for the trees")
    parser.add_argument("--sweep-exe", help="another build of shortcutsweep.exe to measure")
    parser.add_argument("--sizes", default="1000,8000,32768,100000", help="manifest lines, comma-separated")
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per size")
    parser.add_argument("--big-runs", type=int, default=3, help="runs per program for sizes over 40000 lines")
    parser.add_argument("--poll-ms", type=int, default=10, help="how often the launcher reads the peak")
    parser.add_argument("--reader-mb", type=int, default=50)
    parser.add_argument("--reader-repeats", type=int, default=5)
    parser.add_argument("--no-wildcards", action="store_true", help="skip the wildcard variant")
    parser.add_argument("--no-reader", action="store_true", help="skip the in-process reader bench")
    args = parser.parse_args()

    b = args.build
    sweep_exe = args.sweep_exe or os.path.join(b, "sweep", "shortcutsweep.exe")
    floor_exe = os.path.join(b, "bench", "floor.exe")
    empty_exe = os.path.join(b, "bench", "empty.exe")
    reader_exe = os.path.join(b, "bench", "reader_bench.exe")
    launcher = Launcher(os.path.join(b, "bench", "launcher.exe"), args.poll_ms)
    tree = Tree(os.path.join(args.work, "tree"), sweep_exe, floor_exe)
    sizes = [int(s) for s in args.sizes.split(",")]
    started = time.time()

    log("warming up: one untimed run of each program")
    for name in ("floor.exe", "shortcutsweep.exe"):
        tree.make(100, False)
        launcher.run(tree.program(name))
    log("start-up: empty program and a sweep with nothing to do")
    empty, nothing = bench_start(tree, launcher, empty_exe, max(args.runs, 5))
    start_ms = median([t for t, _ in empty])

    results = []
    for wildcards in ([False] if args.no_wildcards else [False, True]):
        for files in sizes:
            runs = args.runs if files <= 40000 else args.big_runs
            lines, manifest_sizes, pairs = bench_deletions(tree, launcher, files, wildcards, runs)
            results.append((wildcards, files, lines, manifest_sizes, pairs))

    reader = [] if args.no_reader else bench_reader(reader_exe, args.work, args.reader_mb, args.reader_repeats)
    shutil.rmtree(tree.root)

    p = print
    p("## Start-up (%d runs each, alternating)" % len(empty))
    p()
    p("| program | median ms | min ms | max ms | peak working set KiB (median) |")
    p("|---|---:|---:|---:|---:|")
    for label, runs in (("empty Win32 program", empty), ("sweep, nothing to do", nothing)):
        t = [x for x, _ in runs]
        p("| %s | %.0f | %.0f | %.0f | %d |" % (label, median(t), min(t), max(t), median([m for _, m in runs])))
    ratios = [s[0] / e[0] for e, s in zip(empty, nothing)]
    p()
    p("Sweep with nothing to do / empty program, pair by pair: median %.2f (%.2f to %.2f)."
      % (median(ratios), min(ratios), max(ratios)))
    p()
    p("## Deleting N listed files: sweep against the floor")
    p()
    p("Times in ms (median); ratio = sweep/floor pair by pair, median (lowest to highest); net = the")
    p("same medians less the empty program's start-up of %.0f ms. Memory: peak working set in KiB" % start_ms)
    p("(median); limit = floor + 8 MiB + 3 x the largest manifest.")
    p()
    p("| lines | files | runs | floor ms | sweep ms | ratio | net ratio | floor KiB | sweep KiB | limit KiB | manifest bytes |")
    p("|---|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|")
    medians = {}
    for wildcards, files, lines, manifest_sizes, pairs in results:
        ft = median([f[0] for f, _ in pairs])
        st = median([s[0] for _, s in pairs])
        fm = median([f[1] for f, _ in pairs])
        sm = median([s[1] for _, s in pairs])
        ratio = [s[0] / f[0] for f, s in pairs]
        net = (st - start_ms) / (ft - start_ms)
        limit = fm + 8 * 1024 + 3 * max(manifest_sizes) // 1024
        medians[(wildcards, files)] = (ft, st)
        kind = "%d (half wildcard)" % lines if wildcards else "%d" % lines
        p("| %s | %d | %d | %.0f | %.0f | %.2f (%.2f-%.2f) | %.2f | %d | %d | %d%s | %d x 4 |"
          % (kind, files, len(pairs), ft, st, median(ratio), min(ratio), max(ratio), net, fm, sm, limit,
             "" if sm <= limit else " **over**", max(manifest_sizes)))
    p()
    p("## Growth from N = 8,000 to N = 32,768")
    p()
    p("| variant | floor growth | sweep growth | sweep growth / floor growth | same, net of start-up |")
    p("|---|---:|---:|---:|---:|")
    for wildcards in (False, True):
        a, z = medians.get((wildcards, 8000)), medians.get((wildcards, 32768))
        if not a or not z:
            continue
        fg, sg = z[0] / a[0], z[1] / a[1]
        fgn = (z[0] - start_ms) / (a[0] - start_ms)
        sgn = (z[1] - start_ms) / (a[1] - start_ms)
        p("| %s | %.2f | %.2f | %.2f | %.2f |"
          % ("half wildcard" if wildcards else "plain", fg, sg, sg / fg, sgn / fgn))
    if reader:
        p()
        p("## Manifest reader in process (%s)" % reader[0])
        p()
        p("| step | median ms | best ms | MB/s (median) |")
        p("|---|---:|---:|---:|")
        for line in reader[1:]:
            name, *fields = line.split()
            f = dict(x.split("=", 1) for x in fields)
            p("| %s | %s | %s | %s |" % (name, f["median_ms"], f["best_ms"], f["MBps"]))
    p()
    p("Benchmark wall time: %.0f s." % (time.time() - started))


if __name__ == "__main__":
    main()

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
        self.layout = None  # (files, wildcards) of the tree last made
        if os.path.isdir(root):
            shutil.rmtree(root)
        os.makedirs(self.bin)
        shutil.copy(sweep_exe, os.path.join(self.bin, "shortcutsweep.exe"))
        shutil.copy(floor_exe, os.path.join(self.bin, "floor.exe"))

    def program(self, name):
        return winpath(os.path.join(self.bin, name))

    def clear(self):
        """No shortcuts, no manifests, no batch file."""
        self.layout = None
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
        four equal runs. Returns the number of lines and the manifests'
        sizes in bytes. The folders of the previous tree of the same shape,
        emptied by the run, are kept: making 25,000 of them anew takes longer
        than the run.
        """
        reuse = self.layout == (files, wildcards) and not self.leftovers()
        if not reuse:
            self.clear()
            os.makedirs(self.links)
        self.layout = (files, wildcards)
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
                if not reuse:
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


def bench_start(tree, launcher, empty_exe, peek_exe, runs):
    """An empty program, one that lets its messages through, and a sweep with
    nothing to do, taking turns."""
    tree.clear()
    empty, peek, nothing = [], [], []
    for _ in range(runs):
        empty.append(launcher.run(winpath(empty_exe)))
        peek.append(launcher.run(winpath(peek_exe)))
        nothing.append(launcher.run(tree.program("shortcutsweep.exe")))
    return empty, peek, nothing


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


def run_windows(args):
    out = subprocess.run(
        ["wine"] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, check=False
    )
    if out.returncode != 0:
        sys.exit("%s failed: %s" % (args[0], out.stderr.decode("utf-8", "replace")))
    return out.stdout.decode("utf-8", "replace").replace("\r", "").strip().splitlines()


def report_start(empty, peek, nothing):
    print("## Start-up: empty programs and a sweep with nothing to do (%d runs each, taking turns)" % len(empty))
    print()
    print("| program | median ms | lowest ms | highest ms | peak working set KiB (median) |")
    print("|---|---:|---:|---:|---:|")
    for label, runs in (
        ("empty Win32 program", empty),
        ("the same, letting its messages through once (user32)", peek),
        ("sweep, no manifests", nothing),
    ):
        t = [x for x, _ in runs]
        print("| %s | %.0f | %.0f | %.0f | %d |" % (label, median(t), min(t), max(t), median([m for _, m in runs])))
    ratios = [s[0] / e[0] for e, s in zip(empty, nothing)]
    print()
    print("Sweep with nothing to do / empty program, pair by pair: median %.2f (%.2f to %.2f)."
          % (median(ratios), min(ratios), max(ratios)))
    print()


def report_deletions(results, start_ms, fixed_kib):
    print("## Deleting N files: the sweep against the floor")
    print()
    print("Medians of alternating runs; ratio = sweep/floor pair by pair: median (lowest to highest); net")
    print("ratio = the medians less the empty program's start-up (%.0f ms)." % start_ms)
    print()
    print("| lines | files | runs | floor ms | sweep ms | ratio | net ratio | ms per file, floor | ms per file, sweep |")
    print("|---|---:|---:|---:|---:|---|---:|---:|---:|")
    medians = {}
    for wildcards, files, lines, sizes, pairs in results:
        ft = median([f[0] for f, _ in pairs])
        st = median([s[0] for _, s in pairs])
        ratio = [s[0] / f[0] for f, s in pairs]
        medians[(wildcards, files)] = (ft, st)
        kind = "%d, half wildcard" % lines if wildcards else "%d" % lines
        print("| %s | %d | %d | %.0f | %.0f | %.2f (%.2f-%.2f) | %.2f | %.3f | %.3f |"
              % (kind, files, len(pairs), ft, st, median(ratio), min(ratio), max(ratio),
                 (st - start_ms) / (ft - start_ms), (ft - start_ms) / files, (st - start_ms) / files))
    print()
    print("## Growth from N = 8,000 to N = 32,768")
    print()
    print("| variant | floor growth | sweep growth | sweep growth / floor growth | the same, net of start-up |")
    print("|---|---:|---:|---:|---:|")
    for wildcards in (False, True):
        a, z = medians.get((wildcards, 8000)), medians.get((wildcards, 32768))
        if a and z:
            fg, sg = z[0] / a[0], z[1] / a[1]
            fgn = (z[0] - start_ms) / (a[0] - start_ms)
            sgn = (z[1] - start_ms) / (a[1] - start_ms)
            print("| %s | %.2f | %.2f | %.2f | %.2f |"
                  % ("half wildcard" if wildcards else "plain", fg, sg, sg / fg, sgn / fgn))
    print()
    print("## Peak working set")
    print()
    print("KiB, medians. Allowed = floor + 8 MiB + 3 x the largest manifest (the sweep holds one at a")
    print("time). Fixed part = sweep with nothing to do less the empty program (%d KiB), what the sweep" % fixed_kib)
    print("costs before it reads a manifest.")
    print()
    print("| lines | largest manifest bytes | floor | sweep | sweep - floor | allowed | within? | sweep - floor - fixed part | 3 x manifest |")
    print("|---|---:|---:|---:|---:|---:|---|---:|---:|")
    for wildcards, files, lines, sizes, pairs in results:
        fm = median([f[1] for f, _ in pairs])
        sm = median([s[1] for _, s in pairs])
        biggest = max(sizes)
        allowed = fm + 8 * 1024 + 3 * biggest / 1024
        kind = "%d, half wildcard" % lines if wildcards else "%d" % lines
        print("| %s | %d | %d | %d | %d | %.0f | %s | %d | %.0f |"
              % (kind, biggest, fm, sm, sm - fm, allowed, "yes" if sm <= allowed else "no",
                 sm - fm - fixed_kib, 3 * biggest / 1024))
    print()


def report_lines(title, lines, note):
    print("## " + title)
    print()
    if note:
        print(note)
        print()
    print("```")
    for line in lines:
        print(line)
    print("```")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the mingw build folder")
    parser.add_argument("--work", required=True, help="a scratch folder for the trees")
    parser.add_argument("--sweep-exe", help="another build of shortcutsweep.exe to measure")
    parser.add_argument("--sizes", default="1000,8000,32768,100000", help="files to delete, comma-separated")
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per size")
    parser.add_argument("--big-runs", type=int, default=2, help="runs of each program for sizes over 40000")
    parser.add_argument("--poll-ms", type=int, default=10, help="how often the launcher reads the peak")
    parser.add_argument("--reader-mb", type=int, default=50)
    parser.add_argument("--reader-repeats", type=int, default=5)
    parser.add_argument("--calls-files", type=int, default=2000, help="files per way in the call costs")
    parser.add_argument("--no-wildcards", action="store_true", help="skip the wildcard variant")
    parser.add_argument("--no-reader", action="store_true", help="skip the in-process reader figures")
    parser.add_argument("--no-calls", action="store_true", help="skip the cost of each call")
    args = parser.parse_args()

    b = args.build
    sweep_exe = args.sweep_exe or os.path.join(b, "sweep", "shortcutsweep.exe")
    bench = os.path.join(b, "bench")
    launcher = Launcher(os.path.join(bench, "launcher.exe"), args.poll_ms)
    tree = Tree(os.path.join(args.work, "tree"), sweep_exe, os.path.join(bench, "floor.exe"))
    sizes = [int(s) for s in args.sizes.split(",")]
    started = time.time()

    log("warming up: one untimed run of each program")
    for name in ("floor.exe", "shortcutsweep.exe"):
        tree.make(100, False)
        launcher.run(tree.program(name))
    log("start-up: empty programs and a sweep with nothing to do")
    empty, peek, nothing = bench_start(
        tree, launcher, os.path.join(bench, "empty.exe"), os.path.join(bench, "peek.exe"), max(args.runs, 5)
    )
    start_ms = median([t for t, _ in empty])
    fixed_kib = median([m for _, m in nothing]) - median([m for _, m in empty])

    results = []
    for wildcards in [False] if args.no_wildcards else [False, True]:
        for files in sizes:
            runs = args.runs if files <= 40000 else args.big_runs
            lines, manifest_sizes, pairs = bench_deletions(tree, launcher, files, wildcards, runs)
            results.append((wildcards, files, lines, manifest_sizes, pairs))
    shutil.rmtree(tree.root)

    reader = calls = []
    if not args.no_reader:
        log("the manifest reader in process")
        reader = run_windows([os.path.join(bench, "reader_bench.exe"), winpath(args.work),
                              str(args.reader_mb), str(args.reader_repeats)])
    if not args.no_calls:
        log("the cost of each call")
        calls = run_windows([os.path.join(bench, "calls_bench.exe"), winpath(args.work), str(args.calls_files)])

    report_start(empty, peek, nothing)
    report_deletions(results, start_ms, fixed_kib)
    if reader:
        report_lines("The manifest reader in process (reader_bench.exe)", reader,
                     "Times in ms; MBps = 10^6 bytes of manifest per second (for `fresh`, of memory).")
    if calls:
        report_lines("What each call of a delete costs (calls_bench.exe)", calls, "")
    print("Benchmark wall time: %.0f s." % (time.time() - started))


if __name__ == "__main__":
    main()

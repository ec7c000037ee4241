#!/usr/bin/env python3
"""Times shortcutsweep.exe against the file system's floors, under Wine.

Run through bench/run.sh, which builds the programs and makes the Wine
prefix this script runs them in (WINEPREFIX and the rest come from the
environment). Everything here is measured by bench/launcher.exe from inside
Windows; this script only builds the trees, runs the launcher, checks that
every listed file went, and prints the figures.

Each size of each tree variant is run in rounds: every program once per
round, the order forward in one round and backward in the next, and every
ratio is taken between two runs of the same round.
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
LOG_VARIABLE = "VANTREL_TOOLS_LOG"
LOG_LIMIT = 16 << 20  # where the decision log stops growing, give or take its last line
# How the listed shortcuts are named and listed; their names matter for the
# sweep's speed (an 8.3-shaped name is its own alias).
VARIANTS = {
    "plain-long": "every file its own line, long names (Vantrel shortcut 000123.url)",
    "plain-83": "every file its own line, 8.3-shaped names (s000123.url)",
    "half-wildcard": "a quarter of the files their own line, the rest three to a folder listed by one *.url line",
}


def winpath(path):
    """The Wine path of a Unix path: Z: maps to /."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Program:
    """One column of the figures: a program in the tree's bin folder, run
    with VANTREL_TOOLS_LOG naming `log` when that is given."""

    def __init__(self, key, label, exe, source, log=None):
        self.key, self.label, self.exe, self.source, self.log = key, label, exe, source, log


class Tree:
    """An install folder with the programs, and a folder of shortcuts."""

    def __init__(self, root, programs):
        self.root = root
        self.bin = os.path.join(root, "Vantrel", "Tool", "bin")
        self.links = os.path.join(root, "Links")
        self.layout = None  # (files, variant) of the tree last made
        if os.path.isdir(root):
            shutil.rmtree(root)
        os.makedirs(self.bin)
        for p in programs:
            shutil.copy(p.source, os.path.join(self.bin, p.exe))

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

    def make(self, files, variant):
        """Creates `files` shortcuts and the four manifests that list them.

        In the plain variants every file has its own line. In the wildcard
        one, a quarter of the files have their own line and the rest lie in
        folders of FILES_PER_WILDCARD, each listed by one wildcard line, so
        that half the lines are wildcard lines. Lines are dealt to the
        languages in four equal runs. Returns the number of lines and the
        manifests' sizes in bytes. The folders of the previous tree of the
        same shape, emptied by the run, are kept: making 25,000 of them anew
        takes longer than the run.
        """
        reuse = self.layout == (files, variant) and not self.leftovers()
        if not reuse:
            self.clear()
            os.makedirs(self.links)
        self.layout = (files, variant)
        links_win = winpath(self.links)
        lines = []
        if variant != "half-wildcard":
            pattern = "s%06d.url" if variant == "plain-83" else "Vantrel shortcut %06d.url"
            for i in range(files):
                name = pattern % i
                self._write(os.path.join(self.links, name))
                lines.append("%s\\%s" % (links_win, name))
        else:
            folders = files // (FILES_PER_WILDCARD + 1)
            singles = files - folders * FILES_PER_WILDCARD
            for i in range(max(singles, folders)):
                if i < singles:
                    name = "Vantrel shortcut %06d.url" % i
                    self._write(os.path.join(self.links, name))
                    lines.append("%s\\%s" % (links_win, name))
                if i < folders:
                    folder = "d%05d" % i
                    if not reuse:
                        os.mkdir(os.path.join(self.links, folder))
                    for k in range(1, FILES_PER_WILDCARD + 1):
                        self._write(os.path.join(self.links, folder, "Vantrel web %d.url" % k))
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

    def run(self, program, log=None):
        """Runs a Windows program, with VANTREL_TOOLS_LOG naming the file
        `log` when given and unset otherwise; returns (milliseconds, peak
        working set in KiB). Wine hands the Unix environment to the launcher,
        and the launcher its own to the program."""
        env = {k: v for k, v in os.environ.items() if k != LOG_VARIABLE}
        if log:
            env[LOG_VARIABLE] = winpath(log)
        out = subprocess.run(
            ["wine", self.exe, "--poll", str(self.poll_ms), program],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            stdin=subprocess.DEVNULL,
            env=env,
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


def bench_deletions(tree, launcher, programs, files, variant, rounds):
    """Every program once per round on a tree made afresh before each run,
    forward in even rounds and backward in odd ones. Returns the lines, the
    manifests' sizes and, per round, {key: (ms, peak KiB, log bytes)}."""
    results = []
    lines = sizes = None
    for r in range(rounds):
        got = {}
        for p in programs if r % 2 == 0 else programs[::-1]:
            lines, sizes = tree.make(files, variant)
            if p.log and os.path.exists(p.log):
                os.remove(p.log)
            ms, kib = launcher.run(tree.program(p.exe), p.log)
            left = tree.leftovers()
            if left:
                sys.exit("%s left %d of the listed files, e.g. %s" % (p.label, len(left), left[0]))
            log_bytes = None
            if p.log:
                if not os.path.exists(p.log):
                    sys.exit("%s wrote no log to %s" % (p.label, p.log))
                log_bytes = os.path.getsize(p.log)
            got[p.key] = (ms, kib, log_bytes)
        results.append(got)
        log("  %s N=%d round %d: %s" % (variant, files, r + 1,
                                         ", ".join("%s %.0f ms" % (p.label, got[p.key][0]) for p in programs)))
    return lines, sizes, results


def run_windows(args):
    env = {k: v for k, v in os.environ.items() if k != LOG_VARIABLE}
    out = subprocess.run(
        ["wine"] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, env=env,
        check=False
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


def ratio_text(rounds, top, bottom):
    """top/bottom of each round: median (lowest-highest)."""
    r = [got[top][0] / got[bottom][0] for got in rounds]
    return "%.2f (%.2f-%.2f)" % (median(r), min(r), max(r))


def table(header, rows):
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" if i < 1 else "---:" for i in range(len(header))) + "|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print()


def report_deletions(results, programs, fixed_kib):
    keys = {p.key for p in programs}
    label = {p.key: p.label for p in programs}
    print("## Deleting N files: the sweep against the floors")
    print()
    print("Each size runs in rounds: every program once per round, on a tree made afresh before each run,")
    print("forward in one round (%s) and backward in the next." % ", ".join(p.label for p in programs))
    print("Figures are only comparable within a round: on this machine timings are bimodal (the same run")
    print("took 0.9 s in some rounds and 4.4 s in others, depending on whether another job kept a CPU")
    print("busy), so every ratio is taken pair by pair within a round, then given as the median over the")
    print("rounds (lowest-highest). The medians of the times may come from different rounds; compare")
    print("programs by the ratios.")
    print()
    for p in programs:
        print("- %s: `%s`" % (p.label, p.source)
              + ("; VANTREL_TOOLS_LOG names `%s`, deleted before each run" % winpath(p.log) if p.log else ""))
    print()
    for variant in dict.fromkeys(v for v, *_ in results):
        print("- %s: %s" % (variant, VARIANTS[variant]))
    print()
    print("### Median times, ms")
    print()
    header = ["variant", "lines", "files", "rounds"] + [p.label for p in programs]
    if "log" in keys:
        header.append("log bytes")
    rows = []
    for variant, files, lines, sizes, rounds in results:
        row = [variant, "%d" % lines, "%d" % files, "%d" % len(rounds)]
        row += ["%.0f" % median([got[p.key][0] for got in rounds]) for p in programs]
        if "log" in keys:
            size = median([got["log"][2] for got in rounds])
            row.append("%d%s" % (size, " (at the limit)" if size >= LOG_LIMIT - 4096 else ""))
        rows.append(row)
    table(header, rows)
    print("### Ratios within rounds: median (lowest-highest)")
    print()
    pairs = [("sweep", "floor"), ("sweep", "checked"), ("sweep", "listed"), ("checked", "floor"),
             ("sweep", "baseline"), ("log", "sweep")]
    pairs = [(a, b) for a, b in pairs if a in keys and b in keys]
    table(["variant", "files"] + ["%s / %s" % (label[a], label[b]) for a, b in pairs],
          [[variant, "%d" % files] + [ratio_text(rounds, a, b) for a, b in pairs]
           for variant, files, _, _, rounds in results])
    by = {(v, f): rounds for v, f, _, _, rounds in results}
    growth = []
    for variant in dict.fromkeys(v for v, *_ in results):
        a, z = by.get((variant, 8000)), by.get((variant, 32768))
        if a and z:
            g = {k: median([x[k][0] for x in z]) / median([x[k][0] for x in a]) for k in ("floor", "checked", "sweep")}
            within = {k: median([x["sweep"][0] / x[k][0] for x in z]) / median([x["sweep"][0] / x[k][0] for x in a])
                      for k in ("floor", "checked")}
            growth.append([variant] + ["%.2f" % g[k] for k in ("floor", "checked", "sweep")]
                          + ["%.2f" % within[k] for k in ("floor", "checked")])
    if growth:
        print("### Growth from N = 8,000 to N = 32,768")
        print()
        print("Growth = the median time at 32,768 / at 8,000. The last two columns take the ratios within")
        print("rounds instead: the median sweep/floor (sweep/checked floor) ratio at 32,768 / the same at 8,000.")
        print()
        table(["variant", "floor growth", "checked floor growth", "sweep growth", "sweep growth / floor growth",
               "sweep growth / checked floor growth"], growth)
    print("### Peak working set")
    print()
    print("KiB, medians. Allowed = floor + 8 MiB + 3 x the largest manifest (the sweep holds one at a")
    print("time). Fixed part = sweep with nothing to do less the empty program (%d KiB), what the sweep" % fixed_kib)
    print("costs before it reads a manifest.")
    print()
    rows = []
    for variant, files, lines, sizes, rounds in results:
        fm, cm, sm = (median([got[k][1] for got in rounds]) for k in ("floor", "checked", "sweep"))
        biggest = max(sizes)
        allowed = fm + 8 * 1024 + 3 * biggest / 1024
        rows.append([variant, "%d" % files, "%d" % biggest, "%d" % fm, "%d" % cm, "%d" % sm, "%d" % (sm - fm),
                     "%.0f" % allowed, "yes" if sm <= allowed else "no", "%d" % (sm - fm - fixed_kib),
                     "%.0f" % (3 * biggest / 1024)])
    table(["variant", "files", "largest manifest bytes", "floor", "checked floor", "sweep", "sweep - floor", "allowed",
           "within?", "sweep - floor - fixed part", "3 x manifest"], rows)


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
    parser.add_argument("--sweep-exe", help="another build of shortcutsweep.exe to measure instead of the built one")
    parser.add_argument("--baseline-exe", help="another build of shortcutsweep.exe (an earlier commit, say) to run in "
                        "the same rounds as its own column")
    parser.add_argument("--with-log", action="store_true", help="also run the sweep with VANTREL_TOOLS_LOG set, "
                        "as its own column")
    parser.add_argument("--variants", default=",".join(VARIANTS),
                        help="tree variants, comma-separated, of %s" % ", ".join(VARIANTS))
    parser.add_argument("--no-wildcards", action="store_true", help="leave out the half-wildcard variant")
    parser.add_argument("--sizes", default="20,1000,8000,32768,100000", help="files to delete, comma-separated")
    parser.add_argument("--runs", type=int, default=5, help="rounds per size")
    parser.add_argument("--small-runs", type=int, help="rounds for sizes up to 1000 (default: --runs)")
    parser.add_argument("--big-runs", type=int, default=2, help="rounds for sizes over 40000")
    parser.add_argument("--poll-ms", type=int, default=10, help="how often the launcher reads the peak")
    parser.add_argument("--reader-mb", type=int, default=50)
    parser.add_argument("--reader-repeats", type=int, default=5)
    parser.add_argument("--calls-files", type=int, default=2000, help="files per way in the call costs")
    parser.add_argument("--no-reader", action="store_true", help="skip the in-process reader figures")
    parser.add_argument("--no-calls", action="store_true", help="skip the cost of each call")
    args = parser.parse_args()

    variants = [v for v in args.variants.split(",") if v]
    unknown = [v for v in variants if v not in VARIANTS]
    if unknown or not variants:
        parser.error("unknown variant %s; the variants are %s" % (", ".join(unknown), ", ".join(VARIANTS)))
    if args.no_wildcards:
        variants = [v for v in variants if v != "half-wildcard"]
    sizes = [int(s) for s in args.sizes.split(",")]
    if any(n < len(LANGUAGES) for n in sizes):
        parser.error("every size must be at least %d" % len(LANGUAGES))
    for exe in (args.sweep_exe, args.baseline_exe):
        if exe and not os.path.isfile(exe):
            parser.error("no such file: %s" % exe)

    b = args.build
    bench = os.path.join(b, "bench")
    sweep_exe = os.path.abspath(args.sweep_exe or os.path.join(b, "sweep", "shortcutsweep.exe"))
    programs = [
        Program("floor", "floor", "floor.exe", os.path.join(bench, "floor.exe")),
        Program("checked", "checked floor", "checked_floor.exe", os.path.join(bench, "checked_floor.exe")),
        Program("listed", "listed floor", "listed_floor.exe", os.path.join(bench, "listed_floor.exe")),
        Program("sweep", "sweep", "shortcutsweep.exe", sweep_exe),
    ]
    if args.baseline_exe:
        programs.append(Program("baseline", "baseline", "shortcutsweep-baseline.exe",
                                os.path.abspath(args.baseline_exe)))
    if args.with_log:
        programs.append(Program("log", "sweep with log", "shortcutsweep.exe", sweep_exe,
                                os.path.join(os.path.abspath(args.work), "sweep-decisions.log")))
    launcher = Launcher(os.path.join(bench, "launcher.exe"), args.poll_ms)
    tree = Tree(os.path.join(args.work, "tree"), programs)
    started = time.time()

    log("warming up: one untimed run of each program")
    for p in programs:
        tree.make(100, "plain-long")
        launcher.run(tree.program(p.exe), p.log)
    log("start-up: empty programs and a sweep with nothing to do")
    empty, peek, nothing = bench_start(
        tree, launcher, os.path.join(bench, "empty.exe"), os.path.join(bench, "peek.exe"), max(args.runs, 5)
    )
    fixed_kib = median([m for _, m in nothing]) - median([m for _, m in empty])

    results = []
    for variant in variants:
        for files in sizes:
            rounds = args.big_runs if files > 40000 else args.runs
            if files <= 1000 and args.small_runs:
                rounds = args.small_runs
            lines, manifest_sizes, got = bench_deletions(tree, launcher, programs, files, variant, rounds)
            results.append((variant, files, lines, manifest_sizes, got))
    shutil.rmtree(tree.root)
    for p in programs:
        if p.log and os.path.exists(p.log):
            os.remove(p.log)

    reader = calls = []
    if not args.no_reader:
        log("the manifest reader in process")
        reader = run_windows([os.path.join(bench, "reader_bench.exe"), winpath(args.work),
                              str(args.reader_mb), str(args.reader_repeats)])
    if not args.no_calls:
        log("the cost of each call")
        calls = run_windows([os.path.join(bench, "calls_bench.exe"), winpath(args.work), str(args.calls_files)])

    report_start(empty, peek, nothing)
    report_deletions(results, programs, fixed_kib)
    if reader:
        report_lines("The manifest reader in process (reader_bench.exe)", reader,
                     "Times in ms; MBps = 10^6 bytes of manifest per second (for `fresh`, of memory).")
    if calls:
        report_lines("What each call of a delete costs (calls_bench.exe)", calls, "")
    print("Benchmark wall time: %.0f s." % (time.time() - started))


if __name__ == "__main__":
    main()

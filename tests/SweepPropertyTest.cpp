// Random installs, manifests and shortcut trees, swept for real: the files
// that disappear must be exactly those the sweep's rules allow. The rules
// are written out again (SweepModel.h), independently of the sweep's own
// code; each case is made by PropertyCase.h; and the whole tree is compared
// before and after each run.
//
// Usage: sweep_property_tests <path of shortcutsweep.exe> [--cases=N] [--seed=S] [--exe-every=K]
//                             [gtest options]
//   --cases=N      random cases to run (default 200; SWEEP_PROPERTY_CASES)
//   --seed=S       seed of the first case; case i uses S + i (default: from
//                  the clock; SWEEP_PROPERTY_SEED)
//   --exe-every=K  about one case in K runs the built program instead of the
//                  sweep in this process; 0 never (default 10;
//                  SWEEP_PROPERTY_EXE_EVERY)
//   --verbose      print each case's seed as it starts
//   --case-limit=T under Wine, stop the run when one case has not ended
//                  after T seconds, naming its seed (default 120)
// A failing case prints the arguments that replay it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/modLog.h"
#include "sweep/modMain.h"
#include "tests/PropertyCase.h"
#include "tests/SweepModel.h"
#include "tests/support/FailurePrinter.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

using namespace sweep_model;
using namespace sweep_property;
using namespace testing_support;

namespace {

struct Options {
    uint64_t cases = 200;
    uint64_t seed = 0;
    bool seedGiven = false;
    uint64_t exeEvery = 10;
    bool verbose = false;
    uint64_t caseLimit = 120;
};

Options g_options;
std::wstring g_sweepExe;

struct Stats {
    uint64_t cases = 0;
    uint64_t exeCases = 0;
    uint64_t filesCreated = 0;
    uint64_t filesDeleted = 0;
    uint64_t wronglyDeleted = 0;
    uint64_t wronglyKept = 0;
    uint64_t linesActed = 0;
    uint64_t linesIgnored = 0;
    uint64_t wildcardLines = 0;
    uint64_t links = 0;
    uint64_t oddFolders = 0;      // folders ending in a dot or a blank
    uint64_t oddAlone = 0;        // of them with no twin
    uint64_t oddBesideWay = 0;    // of them beside a folder on the way to the listed ones
    uint64_t twinLinks = 0;       // links in a twin to a file in the folder ending in a dot or blank
    uint64_t backslashNames = 0;  // names holding a backslash
    uint64_t caseTwins = 0;       // names beside one that differs only in letter case
    uint64_t lateNames = 0;       // names made to appear while the sweep runs
    uint64_t lateInTime = 0;      // of them, made before the sweep had ended
    uint64_t futureFolders = 0;   // folders whose times lie in the future
    uint64_t spelledAlike = 0;    // files the rules keep for a name spelled alike on their path
    uint64_t failedCases = 0;
};

std::string Narrow(const std::wstring& text) { return Utf8(text); }

// Runs one case; returns what went wrong, empty when the sweep removed
// exactly the files the model allows.
std::string RunCase(uint64_t seed, Stats& stats) {
    TempFolder temp(L"prop");
    // Every case's root has the same length, wherever the temporary folder
    // is, so that a seed gives the same paths (and long-path limits) again.
    const std::wstring root =
        temp.path() + L"\\" +
        std::wstring(std::max<size_t>(96, temp.path().size() + 2) - temp.path().size() - 1, L'c');
    if (!::CreateDirectoryW(root.c_str(), nullptr)) {
        throw std::runtime_error("CreateDirectoryW failed, error " + std::to_string(::GetLastError()));
    }
    Case c(seed, root);
    c.Build();
    // Relative and drive-relative lines would resolve against the working
    // folder; make that the case's own tree so that they name real files.
    wchar_t previous[MAX_PATH + 1] = L"";
    ::GetCurrentDirectoryW(MAX_PATH + 1, previous);
    ::SetCurrentDirectoryW(root.c_str());

    std::mt19937_64 how(seed ^ 0x9E3779B97F4A7C15ull);
    const bool throughExe = g_options.exeEvery != 0 && how() % g_options.exeEvery == 0;
    if (throughExe) {
        if (!::CopyFileW(g_sweepExe.c_str(), (c.bin() + L"\\shortcutsweep.exe").c_str(), FALSE)) {
            ::SetCurrentDirectoryW(previous);
            throw std::runtime_error("copying the program failed, error " + std::to_string(::GetLastError()));
        }
    }
    if (!c.futureFolder().empty()) {
        // Once everything in it is made: the program's copy too.
        const std::wstring& folder = c.futureFolder();
        if (!RunUnixCommand({"/usr/bin/touch", "-d", "2099-01-01", c.UnixPath(folder)})) {
            ::SetCurrentDirectoryW(previous);
            throw std::runtime_error("touch failed for " + Utf8(folder));
        }
        ++stats.futureFolders;
    }
    const Tree before = Snapshot(root);
    std::map<std::wstring, std::wstring> why;
    std::set<std::wstring> spelledAlike;
    const std::set<std::wstring> expected =
        ModelDeletions(before, root, c.BaseFolder(), c.written(), c.links(), why, &spelledAlike);
    long exitCode = 0;
    // The decision log, outside the tree, says why a file went or stayed.
    TempFolder logs(L"prop-log");
    const std::wstring logPath = logs / L"sweep.log";
    // The late name appears a moment after the sweep starts, made by a Unix
    // shell left running in the background rather than by a thread here:
    // under qemu-i386 a second thread in a Wine process brings it down now
    // and then. The shell touches a mark outside the tree when it is done.
    const Case::LateName& lateName = c.late();
    const std::wstring lateDone = logs / L"late.done";
    if (!lateName.folder.empty()) {
        char delay[16];
        std::snprintf(delay, sizeof delay, "0.%03u", static_cast<unsigned>(how() % 40));
        RunUnixCommand({"/bin/sh", "-c",
                        "(sleep \"$1\"; touch \"$2/$3.\"; ln -s \"$3.\" \"$2/$3\"; touch \"$4\") "
                        "</dev/null >/dev/null 2>&1 &",
                        "sh", delay, UnixPathOf(lateName.folder), Utf8(lateName.name), UnixPathOf(lateDone)});
    }
    if (throughExe) {
        ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", logPath.c_str());
        exitCode = RunProgram(c.bin() + L"\\shortcutsweep.exe", c.arguments());
        ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);
        ++stats.exeCases;
    } else {
        vantrel::OpenDecisionLogAt(logPath, L"sweep_property_tests", L"");
        vantrel::sweep::RunSweepFor(c.arguments(), c.bin());
        vantrel::CloseDecisionLog();
    }
    // A late name made only after the sweep ended tests nothing: count
    // those that were there in time, so that a run shows how many did.
    const bool lateInTime = !lateName.folder.empty() && Exists(lateDone);
    for (int tries = 0; !lateName.folder.empty() && tries < 3000 && !Exists(lateDone); ++tries) {
        ::Sleep(10);
    }
    const Tree after = Snapshot(root);
    ::SetCurrentDirectoryW(previous);

    const std::set<std::wstring> removed = Removed(before, after);
    std::set<std::wstring> changed = AddedOrChanged(before, after);
    std::vector<std::wstring> wronglyDeleted;
    std::vector<std::wstring> wronglyKept;
    if (!lateName.folder.empty()) {
        for (const std::wstring& name : {lateName.name + L".", lateName.name}) {
            const std::wstring path = lateName.folder + L"\\" + name;
            if (!changed.erase(path)) {
                wronglyDeleted.push_back(path + L" (appeared while the sweep ran)");
            }
        }
        ++stats.lateNames;
        stats.lateInTime += lateInTime ? 1u : 0u;
    }
    for (const std::wstring& path : removed) {
        if (!expected.count(path)) {
            wronglyDeleted.push_back(path);
        }
    }
    for (const std::wstring& path : expected) {
        if (!removed.count(path)) {
            wronglyKept.push_back(path);
        }
    }
    uint64_t files = 0;
    for (const auto& entry : before) {
        files += IsDirectory(entry.second) ? 0u : 1u;
    }
    ++stats.cases;
    stats.filesCreated += files;
    stats.filesDeleted += removed.size();
    stats.wronglyDeleted += wronglyDeleted.size();
    stats.wronglyKept += wronglyKept.size();
    stats.linesActed += c.linesActed;
    stats.linesIgnored += c.linesIgnored;
    stats.wildcardLines += c.wildcardLines;
    stats.links += c.linksMade();
    stats.oddFolders += c.oddFolders;
    stats.oddAlone += c.oddAlone;
    stats.oddBesideWay += c.oddBesideWay;
    stats.twinLinks += c.twinLinks;
    stats.backslashNames += c.backslashNames;
    stats.caseTwins += c.caseTwins;
    stats.spelledAlike += spelledAlike.size();

    const bool failed = !wronglyDeleted.empty() || !wronglyKept.empty() || !changed.empty() ||
                        exitCode != 0 || !c.modelDisagreements.empty();
    if (!failed) {
        return {};
    }
    ++stats.failedCases;
    std::string report = "case seed " + std::to_string(seed) + (throughExe ? " (through the program)" : "") +
                         "; replay it alone with --seed=" + std::to_string(seed) +
                         " --cases=1 --exe-every=" + std::to_string(g_options.exeEvery) + "\n";
    report += "arguments: " + Narrow(c.arguments()) + "\nbase folder: " + Narrow(c.BaseFolder()) + "\n";
    if (exitCode != 0) {
        report += "exit code " + std::to_string(exitCode) + "\n";
    }
    for (const std::wstring& line : c.modelDisagreements) {
        report += "model and generator disagree on: " + Narrow(line) + "\n";
    }
    for (const std::wstring& entry : c.log()) {
        report += Narrow(entry) + "\n";
    }
    for (const std::wstring& path : wronglyDeleted) {
        report += "wrongly deleted: " + Narrow(path) + "\n";
    }
    for (const std::wstring& path : wronglyKept) {
        report += "wrongly kept: " + Narrow(path) + "\n  allowed by: " + Narrow(Describe(why[path])) + "\n";
    }
    for (const std::wstring& path : changed) {
        report += "appeared or changed attributes: " + Narrow(path) + "\n";
    }
    for (const std::wstring& path : spelledAlike) {
        report += "kept for a name spelled alike: " + Narrow(path) + "\n";
    }
    report += "the sweep's decision log:\n" + ReadWholeFile(logPath) + "\n";
    if (stats.failedCases <= 3) {
        fwrite(report.data(), 1, report.size(), stdout);
        fflush(stdout);
    }
    return "case seed " + std::to_string(seed) + " failed: " + std::to_string(wronglyDeleted.size()) +
           " wrongly deleted, " + std::to_string(wronglyKept.size()) +
           " wrongly kept; replay with --seed=" + std::to_string(seed) + " --cases=1";
}

// Found by the random cases: the folder's own listing must not decide what
// a pattern matches. Wine 8's FindFirstFile never matches a * followed by a
// ?, and reads a ? as exactly one character, where Windows reads "one
// character but a dot, or none before a dot or at the end". Wine 10's
// matches these two as Windows does; the outcome must be the same on both.
TEST(SweepWildcards, PatternsMatchByTheRulesWhateverTheSystemsOwnMatcherDoes) {
    TempFolder root(L"wild");
    const std::wstring bin = root / L"bin";
    const std::wstring links = root / L"Links";
    MakeFolders(bin);
    for (const wchar_t* name :
         {L"star\\ab.url", L"star\\a.b.url", L"star\\Vantrel Home.url", L"star\\x.urlx", L"star\\b.txt",
          L"dot\\a.b.url", L"dot\\ab.url", L"dot\\a.url", L"dot\\axb.url"}) {
        WriteBytes(links + L"\\" + name, "[InternetShortcut]\r\n");
    }
    WriteUtf8(bin + L"\\__shortcutsweep-en.ini",
              links + L"\\star\\*?.url\r\n" + links + L"\\dot\\a?b.url\r\n");
    const Tree before = Snapshot(root.path());

    vantrel::sweep::RunSweepFor(L"", bin);

    const std::set<std::wstring> expected = {links + L"\\star\\ab.url", links + L"\\star\\a.b.url",
                                             links + L"\\star\\Vantrel Home.url", links + L"\\dot\\axb.url",
                                             bin + L"\\__shortcutsweep-en.ini"};
    EXPECT_EQ(Removed(before, Snapshot(root.path())), expected);
}

// A case that never ends must still fail the run and name its seed (Wine
// under qemu-i386 has hung in the middle of one). Under Wine a Unix shell
// watches a file that holds the running case's seed: when the file has not
// changed for `limitSeconds`, it says which case that was and stops this
// process. It ends by itself once the file or this process is gone.
class CaseWatchdog {
public:
    explicit CaseWatchdog(uint64_t limitSeconds) {
        if (!RunningUnderWine()) {
            return;
        }
        beat_ = folder_ / L"case";
        WriteBytes(beat_, "");
        // $PPID: this process, which the shell is started from directly.
        RunUnixCommand(
            {"/bin/sh", "-c",
             "p=$PPID; (while kill -0 \"$p\" 2>/dev/null && [ -f \"$1\" ]; do sleep 1; "
             "if [ $(( $(date +%s) - $(stat -c %Y \"$1\" 2>/dev/null || date +%s) )) -gt \"$2\" ]; then "
             "echo \"case seed $(cat \"$1\") did not end within $2 s: the test is stopped; "
             "replay it with --seed=$(cat \"$1\") --cases=1\" >&2; kill -9 \"$p\"; exit; fi; "
             "done) </dev/null >/dev/null &",
             "sh", UnixPathOf(beat_), std::to_string(limitSeconds)});
    }
    void Starting(uint64_t seed) {
        if (!beat_.empty()) {
            WriteBytes(beat_, std::to_string(seed));
        }
    }

private:
    TempFolder folder_{L"watch"};
    std::wstring beat_;
};

TEST(SweepProperty, RandomInstallsLoseExactlyTheFilesTheRulesAllow) {
    ASSERT_FALSE(g_sweepExe.empty());
    const uint64_t first = g_options.seed;
    printf("seed %" PRIu64 ", %" PRIu64 " cases, about one in %" PRIu64 " through the program\n", first,
           g_options.cases, g_options.exeEvery);
    Stats stats;
    const DWORD started = ::GetTickCount();
    CaseWatchdog watchdog(g_options.caseLimit);
    // Failures are handed to GoogleTest only after the last case: its first
    // report starts a thread (its watcher of per-thread values), and under
    // qemu-i386 a Wine process with a second thread hangs or crashes now
    // and then, here in the cases that follow.
    std::vector<std::string> failures;
    for (uint64_t i = 0; i < g_options.cases; ++i) {
        watchdog.Starting(first + i);
        if (g_options.verbose) {
            printf("case seed %" PRIu64 "\n", first + i);
            fflush(stdout);
        }
        try {
            if (std::string failure = RunCase(first + i, stats); !failure.empty()) {
                failures.push_back(std::move(failure));
            }
        } catch (const std::exception& e) {
            failures.push_back("case seed " + std::to_string(first + i) + ": " + e.what());
            ++stats.failedCases;
        }
    }
    printf("cases run %" PRIu64 " (%" PRIu64 " through the program), files created %" PRIu64
           ", files deleted %" PRIu64 ", wrongly deleted %" PRIu64 ", wrongly kept %" PRIu64
           ", lines acted on %" PRIu64 ", lines passed over %" PRIu64 ", wildcard lines %" PRIu64
           ", links %" PRIu64 ", folders ending in a dot or blank %" PRIu64 " (%" PRIu64 " alone, %" PRIu64
           " beside a folder on the way), links from a twin into one %" PRIu64
           ", names holding a backslash %" PRIu64 ", names beside one in other letter case %" PRIu64
           ", late names %" PRIu64 " (%" PRIu64
           " made before the sweep ended), folders stamped in the future %" PRIu64
           ", files kept for a name spelled alike %" PRIu64 ", failed cases %" PRIu64 ", %lu s\n",
           stats.cases, stats.exeCases, stats.filesCreated, stats.filesDeleted, stats.wronglyDeleted,
           stats.wronglyKept, stats.linesActed, stats.linesIgnored, stats.wildcardLines, stats.links,
           stats.oddFolders, stats.oddAlone, stats.oddBesideWay, stats.twinLinks, stats.backslashNames,
           stats.caseTwins, stats.lateNames, stats.lateInTime, stats.futureFolders, stats.spelledAlike,
           stats.failedCases, static_cast<unsigned long>((::GetTickCount() - started) / 1000));
    if (stats.failedCases > 0) {
        printf("first seed of this run: %" PRIu64 "\n", first);
    }
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_EQ(stats.wronglyDeleted, 0u);
    EXPECT_EQ(stats.wronglyKept, 0u);
    if (g_options.cases >= 100) {
        // A generator that stopped producing deletions, passed-over lines,
        // wildcards or program runs would make every case trivially pass.
        EXPECT_GT(stats.filesDeleted, stats.cases);
        EXPECT_GT(stats.linesIgnored, stats.cases);
        EXPECT_GT(stats.wildcardLines, stats.cases / 4);
        if (g_options.exeEvery != 0 && g_options.exeEvery <= 20) {
            EXPECT_GT(stats.exeCases, 0u);
        }
        if (RunningUnderWine()) {
            EXPECT_GT(stats.links, stats.cases)
                << "links to files and folders, in and out of the listed ones";
            EXPECT_GT(stats.oddFolders, stats.cases / 10);
            EXPECT_GT(stats.twinLinks, stats.cases / 20);
            EXPECT_GT(stats.backslashNames, stats.cases / 20);
            EXPECT_GT(stats.caseTwins, stats.cases / 20);
            EXPECT_GT(stats.futureFolders, stats.cases / 20);
            EXPECT_GT(stats.spelledAlike, stats.cases / 10) << "files the rules keep for their spelling";
            EXPECT_GT(stats.lateNames, stats.cases / 10);
            EXPECT_GT(stats.lateInTime, 0u) << "no late name was made before the sweep ended";
        }
    }
}

bool ParseNumber(const char* text, uint64_t& out) {
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugStrings();
    if (const char* cases = std::getenv("SWEEP_PROPERTY_CASES")) {
        ParseNumber(cases, g_options.cases);
    }
    if (const char* seed = std::getenv("SWEEP_PROPERTY_SEED")) {
        g_options.seedGiven = ParseNumber(seed, g_options.seed);
    }
    if (const char* every = std::getenv("SWEEP_PROPERTY_EXE_EVERY")) {
        ParseNumber(every, g_options.exeEvery);
    }
    std::vector<char*> programs = {argv[0]};  // the program's own name, then shortcutsweep.exe
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool ok = true;
        if (arg.rfind("--cases=", 0) == 0) {
            ok = ParseNumber(argv[i] + 8, g_options.cases);
        } else if (arg.rfind("--seed=", 0) == 0) {
            ok = g_options.seedGiven = ParseNumber(argv[i] + 7, g_options.seed);
        } else if (arg.rfind("--exe-every=", 0) == 0) {
            ok = ParseNumber(argv[i] + 12, g_options.exeEvery);
        } else if (arg.rfind("--case-limit=", 0) == 0) {
            ok = ParseNumber(argv[i] + 13, g_options.caseLimit) && g_options.caseLimit > 0;
        } else if (arg == "--verbose") {
            g_options.verbose = true;
        } else if (programs.size() < 2) {
            programs.push_back(argv[i]);
        } else {
            ok = false;
        }
        if (!ok) {
            fprintf(stderr, "unknown or malformed argument: %s\n", argv[i]);
            return 2;
        }
    }
    // Cases change the working folder: the program is held by its full path.
    if (!FindProgramsUnderTest(static_cast<int>(programs.size()), programs.data(),
                               {{"shortcutsweep.exe", &g_sweepExe}},
                               "[--cases=N] [--seed=S] [--exe-every=K] [--case-limit=T]")) {
        return 2;
    }
    if (!g_options.seedGiven) {
        g_options.seed = (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64();
    }
    return RUN_ALL_TESTS();
}

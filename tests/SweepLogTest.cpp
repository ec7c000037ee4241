// The decision log of the built shortcutsweep.exe, turned on by
// VANTREL_TOOLS_LOG or the machine's DecisionLog value: what it says of
// every line, where it is written and where never, two runs writing to one
// log, a full log, a shortcut another run deleted first, and that the log
// never changes what the sweep does.
// Built into sweep_end_to_end_tests (see SweepEndToEndTest.cpp).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/SweepInstall.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

using namespace testing_support;

namespace {

class SweepLog : public SweepInstall {};

// An install in `root` whose manifests lead to every outcome the log knows,
// once; the lines (or their beginnings) the log must then hold.
std::vector<std::wstring> InstallWithEveryOutcome(const std::wstring& root, const std::wstring& exe) {
    const std::wstring bin = root + L"\\bin";
    const std::wstring links = root + L"\\Links\\";
    MakeFolders(bin);
    ::CopyFileW(exe.c_str(), (bin + L"\\shortcutsweep.exe").c_str(), FALSE);
    for (const wchar_t* name : {L"gone.url", L"read-only.url", L"hidden.url", L"in use.url", L"notes.urlx",
                                L"w\\one.url", L"w\\two.url", L"last.url"}) {
        WriteBytes(links + name, kShortcutBody);
    }
    SetAttributes(links + L"read-only.url", FILE_ATTRIBUTE_READONLY);
    SetAttributes(links + L"hidden.url", FILE_ATTRIBUTE_HIDDEN);
    MakeFolders(links + L"folder.url");
    const std::wstring alias = AliasLine(links + L"notes.urlx");
    const std::vector<std::wstring> lines = {links + L"gone.url",
                                             links + L"read-only.url",
                                             links + L"hidden.url",
                                             links + L"in use.url",
                                             links + L"folder.url",
                                             links + L"w\\*.url",
                                             L"x.url",
                                             links + L"missing.url",
                                             links + L"b.lnk",
                                             alias};
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\r\n";
    }
    WriteUtf8(bin + L"\\__shortcutsweep-en.ini", text + links + L"last.url");
    WriteUtf8(bin + L"\\__shortcutsweep-fr.ini", links + L"gone.url\r\n");
    SetAttributes(bin + L"\\__shortcutsweep-fr.ini", FILE_ATTRIBUTE_HIDDEN);
    WriteUtf8(bin + L"\\__shortcutsweep-ja.ini", links + L"gone.url\r\n", /*mark=*/false);
    WriteBytes(bin + L"\\__shortcutsweep.bat", "");

    auto line = [&](int number, const std::wstring& outcome) {
        return L"en line " + std::to_wstring(number) + L" \"" + lines[static_cast<size_t>(number - 1)] +
               L"\": " + outcome;
    };
    std::vector<std::wstring> expected = {
        L"shortcutsweep 1.00, process ",
        L"base folder " + bin + L"\\ (no /noproduction",
        L"manifest en " + bin + L"\\__shortcutsweep-en.ini: found, read",
        line(1, L"deleted " + links + L"gone.url"),
        line(2, L"kept " + links + L"read-only.url (read-only)"),
        line(3, L"kept " + links + L"hidden.url (hidden)"),
        line(4, L"kept " + links + L"in use.url (Error 32 "),
        line(5, L"kept " + links + L"folder.url (a directory)"),
        line(6, L"deleted " + links + L"w\\"),
        line(7, L"refused (relative to the current folder)"),
        line(8, L"no match " + links + L"missing.url"),
        line(9, L"ignored (does not end in .url)"),
        L"en line 11 \"" + links + L"last.url\": ignored (the last piece",
        L"manifest en " + bin + L"\\__shortcutsweep-en.ini: deleted",
        L"manifest de " + bin + L"\\__shortcutsweep-de.ini: absent",
        L"manifest fr " + bin + L"\\__shortcutsweep-fr.ini: left alone with everything it lists (hidden)",
        L"manifest ja " + bin + L"\\__shortcutsweep-ja.ini: found, not read (Error: The file " + bin +
            L"\\__shortcutsweep-ja.ini is not UTF-8 encoded)",
        L"batch file " + bin + L"\\__shortcutsweep.bat: deleted",
        L"finished, exit status 0",
    };
    if (alias.find(L'~') != std::wstring::npos) {
        const size_t cut = alias.find_last_of(L'\\') + 1;  // the folders are in their short form too
        expected.push_back(line(10, L"kept " + alias.substr(0, cut) + L"notes.urlx (named by its 8.3 alias " +
                                        alias.substr(cut) + L") (its own name does not end in .url)"));
    }
    return expected;
}

// Runs the install's sweep while the test holds one shortcut open without
// delete sharing.
void SweepHoldingOneOpen(const std::wstring& root) {
    HANDLE held = ::CreateFileW((root + L"\\Links\\in use.url").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(RunProgram(root + L"\\bin\\shortcutsweep.exe", L""), 0);
    ::CloseHandle(held);
}

// The tree below `root`, with paths relative to it.
std::map<std::wstring, DWORD> RelativeTree(const std::wstring& root) {
    std::map<std::wstring, DWORD> tree;
    for (const auto& [path, attributes] : Snapshot(root)) {
        tree[path.substr(root.size())] = attributes;
    }
    return tree;
}

TEST_F(SweepLog, TheLogSaysWhatBecameOfEveryLineAndDoesNotChangeWhatIsDone) {
    TempFolder logs(L"logs");
    const std::wstring logPath = logs / L"sweep.log";
    TempFolder withLog(L"with-log");
    const std::vector<std::wstring> expected = InstallWithEveryOutcome(withLog.path(), g_sweepExe);
    {
        LogVariable variable(logPath);
        SweepHoldingOneOpen(withLog.path());
    }
    const LogLines log = ReadLog(logPath);
    EXPECT_TRUE(log.wellFormed) << "a byte-order mark, then whole lines ended by CR LF";
    for (const std::wstring& line : expected) {
        EXPECT_TRUE(Holds(log, line)) << "missing: " << testing::PrintToString(line);
    }
    for (const std::wstring& line : log.text) {
        if (line.compare(0, 10, L"en line 6 ") == 0) {
            EXPECT_NE(line.find(L"deleted " + withLog.path() + L"\\Links\\w\\one.url"), std::wstring::npos);
            EXPECT_NE(line.find(L"deleted " + withLog.path() + L"\\Links\\w\\two.url"), std::wstring::npos);
        }
    }
    EXPECT_TRUE(!log.text.empty() && log.text.front().find(L"shortcutsweep.exe") != std::wstring::npos)
        << "the header shows the command line";

    // The same install without a log, and with logs that cannot or must not
    // be written: the sweep leaves the same tree behind every time, and
    // never writes through a second name of some other file.
    const std::wstring someoneElses = logs / L"other file.txt";
    WriteBytes(someoneElses, "someone else's\r\n");
    const bool linked =
        ::CreateHardLinkW((logs / L"hard link.log").c_str(), someoneElses.c_str(), nullptr) != FALSE;
    EXPECT_TRUE(linked || !RunningUnderWine()) << "Wine makes hard links";
    const std::map<std::wstring, DWORD> logged = RelativeTree(withLog.path());
    for (const std::wstring& unusable :
         {std::wstring(), logs.path(), logs / L"no such folder\\sweep.log", std::wstring(L"relative.log"),
          std::wstring(L"NUL"), logs / L"hard link.log", someoneElses + L":log"}) {
        TempFolder other(L"other");
        InstallWithEveryOutcome(other.path(), g_sweepExe);
        {
            LogVariable variable(unusable);
            SweepHoldingOneOpen(other.path());
        }
        EXPECT_EQ(RelativeTree(other.path()), logged) << "log " << testing::PrintToString(unusable);
    }
    EXPECT_FALSE(Exists(logs / L"no such folder"));
    EXPECT_EQ(ReadWholeFile(someoneElses), "someone else's\r\n");
    EXPECT_FALSE(Exists(L"relative.log")) << "in the folder the sweep was started in";
    ::SetFileAttributesW((withLog.path() + L"\\Links\\read-only.url").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The machine's DecisionLog value, for as long as the object lives.
class MachineLogValue {
public:
    MachineLogValue(DWORD type, const std::wstring& value) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantrel\\Tools", 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            set_ =
                ::RegSetValueExW(key, L"DecisionLog", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
            ::RegCloseKey(key);
        }
    }
    ~MachineLogValue() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantrel\\Tools", 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key, L"DecisionLog");
            ::RegCloseKey(key);
        }
    }
    MachineLogValue(const MachineLogValue&) = delete;
    MachineLogValue& operator=(const MachineLogValue&) = delete;
    bool set() const { return set_; }

private:
    bool set_ = false;
};

// An installer's service starts the programs with the machine's
// environment: the machine-wide value turns the log on for every run, the
// variable still wins, and an unusable value is passed over as the
// variable is.
TEST_F(SweepLog, TheLogCanBeTurnedOnForTheWholeMachine) {
    TempFolder logs(L"logs");
    ::SetEnvironmentVariableW(L"VANTREL_TEST_LOGS", logs.path().c_str());
    const auto sweepOnce = [&] {
        const std::wstring listed = Shortcut(L"listed.url");
        Manifest(Bin(), L"en", {listed});
        Sweep();
        EXPECT_FALSE(Exists(listed));
    };
    {
        MachineLogValue value(REG_EXPAND_SZ, L"%VANTREL_TEST_LOGS%\\machine.log");
        ASSERT_TRUE(value.set());
        sweepOnce();
        EXPECT_TRUE(Holds(ReadLog(logs / L"machine.log"), L"en line 1 ")) << "expanded and written";
        const size_t before = ReadLog(logs / L"machine.log").text.size();
        {
            LogVariable variable(logs / L"variable.log");
            sweepOnce();
        }
        EXPECT_TRUE(Holds(ReadLog(logs / L"variable.log"), L"en line 1 ")) << "the variable wins";
        EXPECT_EQ(ReadLog(logs / L"machine.log").text.size(), before);
    }
    const size_t machineLines = ReadLog(logs / L"machine.log").text.size();
    {
        MachineLogValue value(REG_SZ, L"relative.log");
        sweepOnce();
    }
    sweepOnce();  // and with no value at all
    EXPECT_EQ(ReadLog(logs / L"machine.log").text.size(), machineLines) << "nothing more written there";
    EXPECT_FALSE(Exists(Bin() + L"\\relative.log"));
    ::SetEnvironmentVariableW(L"VANTREL_TEST_LOGS", nullptr);
}

// The log is written only into the entry its path names: never through a
// link to another file (which Wine follows), never by creating a link's
// target; a folder on the way may be a link.
TEST_F(SweepLog, TheLogIsNeverWrittenThroughALinkToAnotherFile) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "links are made with the Unix ln, under Wine";
    }
    TempFolder logs(L"logs");
    const std::wstring precious = logs / L"other\\precious.txt";
    WriteBytes(precious, "precious\r\n");
    WriteBytes(logs / L"other\\gone.txt", "");
    ASSERT_TRUE(MakeUnixLink(precious, logs / L"linked.log"));
    ASSERT_TRUE(MakeUnixLink(logs / L"other\\gone.txt", logs / L"dangling.log"));
    RunUnixCommand({"/bin/rm", "-f", UnixPathOf(logs / L"other\\gone.txt")});
    for (int tries = 0; tries < 200 && Exists(logs / L"other\\gone.txt"); ++tries) {
        ::Sleep(10);
    }
    ASSERT_FALSE(Exists(logs / L"other\\gone.txt"));
    MakeFolders(logs / L"real folder");
    ASSERT_TRUE(MakeUnixLink(logs / L"real folder", logs / L"linked folder"));

    for (const wchar_t* name : {L"linked.log", L"dangling.log", L"linked folder\\sweep.log"}) {
        const std::wstring listed = Shortcut(L"listed.url");
        Manifest(Bin(), L"en", {listed});
        {
            LogVariable variable(logs / name);
            Sweep();
        }
        EXPECT_FALSE(Exists(listed)) << "the work is done all the same";
    }
    EXPECT_EQ(ReadWholeFile(precious), "precious\r\n");
    EXPECT_FALSE(Exists(logs / L"other\\gone.txt")) << "no target made for a link without one";
    const LogLines log = ReadLog(logs / L"real folder\\sweep.log");
    EXPECT_TRUE(Holds(log, L"shortcutsweep 1.00")) << "through a linked folder the log is written";
}

// Under Wine a folder L. is reported as L, so a file in L. has the final
// path of a file of the same name in L beside it: a link L\x.log to L.\x.log
// seems to be the log named. The decision log in L. is never appended to,
// whether the variable or the machine's value names the link.
TEST_F(SweepLog, ALogLinkedIntoATwinFolderIsNotWritten) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    TempFolder logs(L"logs");
    const std::string earlier = "\xEF\xBB\xBF[1] shortcutsweep 1.00, an earlier run\r\n";
    ASSERT_TRUE(
        RunUnixCommand({"/bin/sh", "-c",
                        "cd \"$1\" && mkdir L L. && printf %s \"$2\" >L./x.log && ln -s ../L./x.log L/x.log",
                        "sh", UnixPathOf(logs.path()), earlier}));
    const std::wstring target = L"\\\\?\\" + (logs / L"L.\\x.log");
    ASSERT_EQ(ReadWholeFile(target), earlier);
    for (const bool machine : {false, true}) {
        const std::wstring listed = Shortcut(L"listed.url");
        Manifest(Bin(), L"en", {listed});
        const std::string before = ReadWholeFile(target);
        if (machine) {
            MachineLogValue value(REG_SZ, logs / L"L\\x.log");
            ASSERT_TRUE(value.set());
            Sweep();
        } else {
            LogVariable variable(logs / L"L\\x.log");
            Sweep();
        }
        EXPECT_FALSE(Exists(listed)) << "the work is done all the same";
        EXPECT_EQ(ReadWholeFile(target), before) << (machine ? "the machine's value" : "the variable");
    }
}

// A log that names one of the run's own files would keep a manifest from
// being read, or be read and deleted as one, or change the program: it is
// passed over, and the work goes on as without it.
TEST_F(SweepLog, ALogAtOneOfTheRunsOwnFilesIsPassedOver) {
    const std::wstring listed = Shortcut(L"listed.url");
    const std::string program = ReadWholeFile(Bin() + L"\\shortcutsweep.exe");
    for (const std::wstring& log :
         {ManifestPath(Bin(), L"en"), ManifestPath(Bin(), L"DE"), Bin() + L"\\__shortcutsweep.bat",
          Bin() + L"\\shortcutsweep.exe", Bin() + L"\\.\\..\\bin\\SHORTCUTSWEEP.EXE"}) {
        const std::string trace = testing::PrintToString(log);
        WriteBytes(listed, kShortcutBody);
        Manifest(Bin(), L"en", {listed});
        WriteBytes(Bin() + L"\\__shortcutsweep.bat", "@echo off\r\n");
        {
            LogVariable variable(log);
            Sweep();
        }
        EXPECT_FALSE(Exists(listed)) << "the manifest was read" << trace;
        EXPECT_FALSE(Exists(ManifestPath(Bin(), L"en"))) << trace;
        EXPECT_FALSE(Exists(ManifestPath(Bin(), L"de"))) << "no log made in a manifest's place" << trace;
        EXPECT_FALSE(Exists(Bin() + L"\\__shortcutsweep.bat")) << trace;
        EXPECT_EQ(ReadWholeFile(Bin() + L"\\shortcutsweep.exe"), program) << trace;
    }
}

TEST_F(SweepLog, TwoSweepsLoggingToOneFileLoseNoLineAndAFullLogStops) {
    TempFolder logs(L"logs");
    const std::wstring logPath = logs / L"shared.log";
    constexpr int kLines = 2000;  // enough for the two to write at the same time for a while
    TempFolder first(L"first");
    TempFolder second(L"second");
    for (const TempFolder* install : {&first, &second}) {
        MakeFolders(install->path() + L"\\bin");
        ::CopyFileW(g_sweepExe.c_str(), (*install / L"bin\\shortcutsweep.exe").c_str(), FALSE);
        std::wstring text;
        for (int i = 0; i < kLines; ++i) {
            text += *install / (L"Links\\missing " + std::to_wstring(i) + L".url\r\n");
        }
        WriteUtf8(*install / L"bin\\__shortcutsweep-en.ini", text);
    }
    {
        LogVariable variable(logPath);
        RunningProgram one(first / L"bin\\shortcutsweep.exe", L"");
        RunningProgram two(second / L"bin\\shortcutsweep.exe", L"");
        EXPECT_EQ(one.Wait(), 0);
        EXPECT_EQ(two.Wait(), 0);
    }
    const LogLines log = ReadLog(logPath);
    EXPECT_TRUE(log.wellFormed) << "no line torn or run into another";
    std::map<unsigned long, int> entries;
    for (size_t i = 0; i < log.text.size(); ++i) {
        entries[log.pid[i]] += log.text[i].compare(0, 8, L"en line ") == 0 ? 1 : 0;
    }
    EXPECT_EQ(entries.size(), 2u);
    for (const auto& [pid, count] : entries) {
        EXPECT_EQ(count, kLines) << "process " << pid;
    }

    // A log near its limit takes lines up to it, says so once, and stops.
    std::string full = "\xEF\xBB\xBF";
    while (full.size() < (16u << 20) - 3000) {
        full += "[1] " + std::string(994, 'x') + "\r\n";
    }
    full += "[1] " + std::string((16u << 20) - 2000 - full.size() - 6, 'x') + "\r\n";  // 2000 bytes short
    WriteBytes(logPath, full);
    WriteUtf8(first / L"bin\\__shortcutsweep-en.ini", first / L"Links\\missing.url\r\n");
    {
        LogVariable variable(logPath);
        EXPECT_EQ(RunProgram(first / L"bin\\shortcutsweep.exe", L""), 0);
        EXPECT_EQ(RunProgram(first / L"bin\\shortcutsweep.exe", L""), 0);
    }
    const std::string bytes = ReadWholeFile(logPath);
    EXPECT_LE(bytes.size(), 16u << 20);
    EXPECT_GT(bytes.size(), full.size());
    const size_t said = bytes.find("the log is full (16 MiB)");
    EXPECT_NE(said, std::string::npos);
    EXPECT_EQ(bytes.find("the log is full", said + 1), std::string::npos) << "said once";
    EXPECT_EQ(bytes.compare(bytes.size() - 2, 2, "\r\n"), 0);
    EXPECT_FALSE(Exists(first / L"bin\\__shortcutsweep-en.ini")) << "the sweep went on all the same";
}

// A log path the system would make under another name (a dot or a blank
// at its end, which the ordinary way drops and Wine reports without) is
// refused before anything is made, so no run is changed by it: not this
// one, not the next, not one running beside it. A log that is made and
// then fails its checks is taken back.
TEST_F(SweepLog, ARefusedLogPathLeavesNothingBehindAndChangesNoRun) {
    TempFolder logs(L"logs");
    std::vector<std::wstring> paths = {
        L"\\\\?\\" + ManifestPath(Bin(), L"en") + L".",
        L"\\\\?\\" + ManifestPath(Bin(), L"de") + L".",
        L"\\\\?\\" + Links(L"a.url "),
        logs / L"c5.log.",
        logs / L"c6.log ",
        L"\\\\?\\" + (logs / L"Sub.\\c7.log"),
    };
    if (RunningUnderWine()) {
        // Made in "Logs ", then refused: named in other letter case, the
        // folder's own path (which Wine reports without the blank) is no
        // help, and the file's does not name it exactly.
        ASSERT_TRUE(RunUnixCommand({"/bin/mkdir", UnixPathOf(logs.path()) + "/Logs "}));
        paths.push_back(logs / L"LOGS \\c8.log");
    }
    const Tree logsBefore = Snapshot(logs.path());
    // Nothing is made in the log's folder, not even for a moment.
    HANDLE watch = ::FindFirstChangeNotificationW(logs.path().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_NE(watch, INVALID_HANDLE_VALUE);
    for (const std::wstring& log : paths) {
        const std::string trace = testing::PrintToString(log);
        for (int run = 0; run < 2; ++run) {  // the second meets whatever the first left
            const std::set<std::wstring> expected = {Shortcut(L"listed.url"), Shortcut(L"a.url"),
                                                     ManifestPath(Bin(), L"en")};
            Manifest(Bin(), L"en", {Links(L"listed.url"), Links(L"a.url")});
            const Tree before = Snapshot(root_.path());
            {
                LogVariable variable(log);
                Sweep();
            }
            const Tree after = Snapshot(root_.path());
            EXPECT_EQ(Removed(before, after), expected) << trace;
            EXPECT_EQ(AddedOrChanged(before, after), std::set<std::wstring>{}) << trace;
            EXPECT_EQ(Snapshot(logs.path()), logsBefore) << "no log made, or none left" << trace;
        }
    }
    EXPECT_EQ(::WaitForSingleObject(watch, 500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "a file was made in the log's folder";
    ::FindCloseChangeNotification(watch);
}

// A log is appended only to an empty file or to a decision log; anything
// else at its path (someone's notes, a text with a byte-order mark, a
// program) is passed over, unchanged, and the work goes on without a log.
TEST_F(SweepLog, TheLogAppendsOnlyToAnEmptyFileOrADecisionLog) {
    TempFolder logs(L"logs");
    const std::map<std::wstring, std::string> others = {
        {logs / L"notes.txt", "my notes\r\n"},
        {logs / L"marked.txt", "\xEF\xBB\xBFmy notes\r\n"},
        {logs / L"bracket.txt", "\xEF\xBB\xBF[draft] my notes\r\n"},
        {logs / L"tool.exe", ReadWholeFile(g_sweepExe)},
    };
    for (const auto& [path, bytes] : others) {
        WriteBytes(path, bytes);
    }
    WriteBytes(logs / L"empty.log", "");
    for (const std::wstring& log : {logs / L"notes.txt", logs / L"marked.txt", logs / L"bracket.txt",
                                    logs / L"tool.exe", logs / L"empty.log", logs / L"empty.log"}) {
        const std::string trace = testing::PrintToString(log);
        const std::wstring listed = Shortcut(L"listed.url");
        Manifest(Bin(), L"en", {listed});
        {
            LogVariable variable(log);
            Sweep();
        }
        EXPECT_FALSE(Exists(listed)) << "the work is done all the same" << trace;
    }
    for (const auto& [path, bytes] : others) {
        EXPECT_EQ(ReadWholeFile(path), bytes) << testing::PrintToString(path);
    }
    const LogLines log = ReadLog(logs / L"empty.log");
    EXPECT_TRUE(log.wellFormed);
    int runs = 0;
    for (const std::wstring& line : log.text) {
        runs += line.compare(0, 18, L"shortcutsweep 1.00") == 0 ? 1 : 0;
    }
    EXPECT_EQ(runs, 2) << "an empty file becomes a log, and a log is appended to";
}

// Two sweeps over the same shortcuts at once: what one deletes first, the
// other finds gone, and says so; neither keeps anything.
TEST_F(SweepLog, AShortcutAnotherRunDeletedFirstIsAlreadyGoneNotKept) {
    TempFolder logs(L"logs");
    constexpr int kShortcuts = 400;
    for (int i = 0; i < kShortcuts; ++i) {
        Shortcut(L"S\\shortcut " + std::to_wstring(i) + L".url");
    }
    TempFolder first(L"first");
    TempFolder second(L"second");
    for (const TempFolder* install : {&first, &second}) {
        MakeFolders(install->path() + L"\\bin");
        ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (*install / L"bin\\shortcutsweep.exe").c_str(), FALSE));
        WriteUtf8(*install / L"bin\\__shortcutsweep-en.ini", Links(L"S\\*.url") + L"\r\n");
    }
    {
        LogVariable variable(logs / L"both.log");
        RunningProgram one(first / L"bin\\shortcutsweep.exe", L"");
        RunningProgram two(second / L"bin\\shortcutsweep.exe", L"");
        EXPECT_EQ(one.Wait(), 0);
        EXPECT_EQ(two.Wait(), 0);
    }
    EXPECT_EQ(Snapshot(Links(L"S")), Tree{});
    const LogLines log = ReadLog(logs / L"both.log");
    int lines = 0;
    for (const std::wstring& line : log.text) {
        if (line.compare(0, 10, L"en line 1 ") == 0) {
            ++lines;
            EXPECT_EQ(line.find(L"kept"), std::wstring::npos) << Utf8(line.substr(0, 600));
        }
    }
    EXPECT_EQ(lines, 2);

    // The same in one run, without a race: a pattern matches a shortcut and,
    // after it in the listing (listings come sorted by name under Wine), a
    // link to it, which Wine lists as a file and opens as its target. Once
    // the shortcut is deleted the link leads nowhere: already gone.
    if (RunningUnderWine()) {
        Shortcut(L"G\\a.url");
        ASSERT_TRUE(MakeUnixLink(Links(L"G\\a.url"), Links(L"G\\b.url")));
        WriteUtf8(first / L"bin\\__shortcutsweep-en.ini", Links(L"G\\*.url") + L"\r\n");
        LogVariable variable(logs / L"one.log");
        EXPECT_EQ(RunProgram(first / L"bin\\shortcutsweep.exe", L""), 0);
        EXPECT_TRUE(Holds(ReadLog(logs / L"one.log"), L"en line 1 \"" + Links(L"G\\*.url") + L"\": deleted " +
                                                          Links(L"G\\a.url") + L"; already gone " +
                                                          Links(L"G\\b.url")));
    }
}

}  // namespace

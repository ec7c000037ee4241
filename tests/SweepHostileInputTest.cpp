// Hostile and broken input for the built shortcutsweep.exe: each case runs
// the program over a real install and compares the whole tree before and
// after. The program must end normally, remove only what the rules allow,
// and treat the manifest as the rules say.
//
// Usage: sweep_hostile_input_tests <path of shortcutsweep.exe> [<path of sweepcheck.exe>] [gtest options]
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/FailurePrinter.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

using namespace testing_support;

namespace {

std::wstring g_sweepExe;
std::wstring g_checkExe;  // empty when not given

constexpr std::string_view kShortcutBody = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";
constexpr std::string_view kMark = "\xEF\xBB\xBF";

using Paths = std::set<std::wstring>;

size_t CountOf(const std::string& text, std::string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Under Wine, runs a Unix shell script with the arguments $1, $2, ...;
// true when it ends with status 0.
bool Shell(const std::string& script, std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"/bin/sh", "-c", script, "sh"});
    return RunUnixCommand(arguments);
}

bool UnixExists(const std::string& path) { return Shell("test -e \"$1\"", {path}); }

// What the decision log, or sweepcheck's text, says of one line: what
// follows the quoted line that starts with `prefix` ("en line 2 \"",
// "  line 2 \""), up to the line's end; empty when there is no such line.
std::string Verdict(const std::string& text, const std::string& prefix) {
    const size_t at = text.find(prefix);
    if (at == std::string::npos) {
        return std::string();
    }
    const size_t end = text.find("\r\n", at);
    const size_t said = text.find("\": ", at);
    return said > end ? std::string() : text.substr(said + 3, end - said - 3);
}

// An install: the program in Apps\Vendor\Tool\bin, shortcuts under Links.
class SweepHostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        MakeFolders(Bin());
        ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (Bin() + L"\\shortcutsweep.exe").c_str(), FALSE));
        for (const wchar_t* name : {L"a.url", L"b.url", L"c.txt", L"sub\\d.url"}) {
            WriteBytes(Links(name), kShortcutBody);
        }
        ::GetCurrentDirectoryW(MAX_PATH + 1, previousFolder_);
    }
    void TearDown() override { ::SetCurrentDirectoryW(previousFolder_); }

    std::wstring Bin() const { return root_ / L"Apps\\Vendor\\Tool\\bin"; }
    std::wstring Links(std::wstring_view name = L"") const {
        return root_ / (L"Links\\" + std::wstring(name));
    }
    std::wstring Manifest(std::wstring_view lang = L"en") const {
        return Bin() + L"\\__shortcutsweep-" + std::wstring(lang) + L".ini";
    }
    // A marked manifest whose every line ends in CR LF.
    void WriteLines(std::vector<std::wstring> lines, std::wstring_view lang = L"en") const {
        std::wstring text;
        for (const std::wstring& line : lines) {
            text += line + L"\r\n";
        }
        WriteUtf8(Manifest(lang), text);
    }

    void TakeSnapshot() { before_ = Snapshot(root_.path()); }

    // Runs the program and checks that it ended normally and removed
    // exactly `expected`, changing nothing else. A snapshot taken before
    // (TakeSnapshot) is used when there is one.
    void SweepRemovesExactly(const Paths& expected, std::wstring_view arguments = L"") {
        if (before_.empty()) {
            TakeSnapshot();
        }
        EXPECT_EQ(RunProgram(Bin() + L"\\shortcutsweep.exe", arguments, 300000), 0)
            << "the sweep always ends normally";
        ExpectRemovedExactly(expected);
    }
    void ExpectRemovedExactly(const Paths& expected) {
        const Tree after = Snapshot(root_.path());
        EXPECT_EQ(Removed(before_, after), expected);
        EXPECT_EQ(AddedOrChanged(before_, after), Paths{}) << "nothing appears and no attribute changes";
    }

    TempFolder root_{L"hostile"};
    Tree before_;
    wchar_t previousFolder_[MAX_PATH + 1] = L"";
};

std::string RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

std::string Utf16Bytes(std::wstring_view text, bool bigEndian) {
    std::string bytes;
    for (wchar_t c : text) {
        const char low = static_cast<char>(c & 0xFF);
        const char high = static_cast<char>((c >> 8) & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST_F(SweepHostileInput, RandomBytesActOnNothingButTheManifestGoes) {
    std::string unmarked = RandomBytes(64 * 1024, 1);
    unmarked[0] = 'x';  // whatever follows, it does not start with the mark
    WriteBytes(Manifest(L"en"), unmarked);
    // After the mark, random bytes with CR LF here and there.
    std::string marked = RandomBytes(64 * 1024, 2);
    for (size_t i = 0; i < marked.size(); i += 97) {
        marked.replace(i, 2, "\r\n");
    }
    WriteBytes(Manifest(L"de"), std::string(kMark) + marked);
    SweepRemovesExactly({Manifest(L"en"), Manifest(L"de")});
}

TEST_F(SweepHostileInput, InvalidUtf8NeitherHidesNeighbouringLinesNorForgesPathCharacters) {
    const std::string links = Utf8(Links());
    std::string bytes(kMark);
    bytes += "\xC3\x28 bad \xFF\xFE\r\n";
    bytes += links + "a.url\r\n";
    bytes += "\xE3\x81\r\n";  // a sequence cut short just before CR LF
    bytes += links + "b.url\r\n";
    // Overlong forms of "." and "\": a lax decoder would make these
    // sub\..\d.url and sub\d.url.
    bytes += links + "sub\\\xC0\xAE\xC0\xAE\\d.url\r\n";
    bytes += links +
             "sub\xC1\x9C"
             "d.url\r\n";
    bytes += links +
             "sub\\\xED\xA0\x80"
             "d.url\r\n";         // an encoded surrogate
    bytes += links + "\xF0\x9F";  // cut short at the end
    if (RunningUnderWine()) {
        // Wine shows a Linux name whose bytes are not UTF-8 with U+FFFD, as
        // the reader decodes the line's: the line names no such file.
        ASSERT_TRUE(RunUnixCommand({"/bin/touch", UnixPathOf(Links(L"")) + "/other\xFE.url"}));
        bytes.insert(3, links + "other\xFF.url\r\n");
    }
    WriteBytes(Manifest(), bytes);
    SweepRemovesExactly({Links(L"a.url"), Links(L"b.url"), Manifest()});
}

TEST_F(SweepHostileInput, Utf16ManifestsActOnNothingButAreDeleted) {
    const std::wstring text = Links(L"a.url") + L"\r\n" + Links(L"b.url") + L"\r\n";
    WriteBytes(Manifest(L"en"), "\xFF\xFE" + Utf16Bytes(text, false));
    WriteBytes(Manifest(L"de"), "\xFE\xFF" + Utf16Bytes(text, true));
    WriteBytes(Manifest(L"fr"), Utf16Bytes(text, false));
    // The UTF-16 form of the mark is not the UTF-8 one.
    WriteBytes(Manifest(L"ja"), Utf16Bytes(L"\uFEFF" + text, false));
    SweepRemovesExactly({Manifest(L"en"), Manifest(L"de"), Manifest(L"fr"), Manifest(L"ja")});
}

TEST_F(SweepHostileInput, AFiftyMegabyteManifestIsReadToItsLastLine) {
    // Lines that are passed over cheaply (relative, or not shortcuts) and
    // a listed shortcut at the very end.
    const std::string filler = "Links\\filler\\some-rather-long-relative-name-0123456789.url\r\n" +
                               Utf8(Links(L"not-a-shortcut-0123456789.txt")) + "\r\n";
    std::string bytes(kMark);
    bytes.reserve(50u * 1024 * 1024 + 1024);
    while (bytes.size() < 50u * 1024 * 1024) {
        bytes += filler;
    }
    bytes += Utf8(Links(L"b.url")) + "\r\n";
    WriteBytes(Manifest(), bytes);
    bytes = std::string();
    const DWORD started = ::GetTickCount();
    SweepRemovesExactly({Links(L"b.url"), Manifest()});
    printf("50 MB manifest swept in %lu ms\n", static_cast<unsigned long>(::GetTickCount() - started));
}

TEST_F(SweepHostileInput, LinesOfAHundredThousandCharactersArePassedOver) {
    std::wstring deep = Links();
    while (deep.size() < 100000) {
        deep += L"folder\\";
    }
    const std::wstring longName = Links() + std::wstring(100000, L'x') + L".url";
    const std::wstring wideLine = Links() + std::wstring(100000, L'*') + L".url";
    WriteLines({deep + L"a.url", longName, wideLine, Links(L"a.url")});
    // The same, as the unterminated last piece of another manifest.
    WriteUtf8(Manifest(L"de"), Links(L"b.url") + L"\r\n" + deep + L"d.url");
    SweepRemovesExactly({Links(L"a.url"), Links(L"b.url"), Manifest(L"en"), Manifest(L"de")});
}

TEST_F(SweepHostileInput, ControlCharactersInALineMakeItNameNothing) {
    const std::wstring a = Links(L"a.url");
    std::wstring withNull = a;
    withNull += L'\0';
    withNull += L".url";  // read up to the NUL, this would be a.url itself
    std::wstring nullInFolder = Links(L"sub");
    nullInFolder += L'\0';
    nullInFolder += L"\\d.url";
    WriteLines({withNull, nullInFolder, Links(L"\ta.url"), Links(L"a\x01.url"), Links(L"sub\x1F\\d.url"),
                Links(L"b.url\v"), Links(L"\x1B[2Ja.url")});
    SweepRemovesExactly({Manifest()});
}

TEST_F(SweepHostileInput, PathsPastTheOldLimitWorkInEveryForm) {
    std::wstring deep = Links();
    for (int i = 0; i < 10; ++i) {
        deep += L"a-folder-name-that-makes-the-path-long-" + std::to_wstring(i) + L"\\";
    }
    ASSERT_GT(deep.size(), 400u);
    for (const wchar_t* name : {L"plain.url", L"literal.url", L"wild-1.url", L"wild-2.url", L"kept.txt"}) {
        WriteBytes(deep + name, kShortcutBody);
    }
    std::wstring slashed = deep + L"plain.url";
    for (size_t i = 3; i < slashed.size(); i += 2) {
        if (slashed[i] == L'\\') {
            slashed[i] = L'/';
        }
    }
    WriteLines({slashed, L"\\\\?\\" + deep + L"literal.url", deep + L"wild-?.url", deep + L"*.url"});
    SweepRemovesExactly(
        {deep + L"plain.url", deep + L"literal.url", deep + L"wild-1.url", deep + L"wild-2.url", Manifest()});
}

TEST_F(SweepHostileInput, UncAndDevicePathsDeleteNothing) {
    const std::wstring a = Links(L"a.url");
    std::vector<std::wstring> lines = {L"\\\\.\\" + a,
                                       L"\\\\?\\GLOBALROOT\\??\\" + a,
                                       L"\\??\\" + a,
                                       L"\\\\.\\pipe\\a.url",
                                       L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\a.url",
                                       L"\\\\?\\" + a.substr(0, 2) + a.substr(3),  // \\?\C:folder...
                                       L"\\\\no-such-server.invalid\\share\\a.url",
                                       L"\\\\?\\UNC\\no-such-server.invalid\\share\\a.url",
                                       L"\\\\no-such-server.invalid\\a.url",
                                       L"\\\\?\\UNC\\no-such-server.invalid\\a.url",
                                       L"\\\\?\\UNC\\.\\" + a,
                                       L"//./" + a};
    if (RunningUnderWine()) {
        // Wine's own way into the Unix file system reaches the very file.
        using UnixName = char*(CDECL*)(LPCWSTR);
        auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        ASSERT_NE(unixName, nullptr);
        char* name = unixName(a.c_str());
        ASSERT_NE(name, nullptr);
        std::wstring unixPath(name, name + strlen(name));
        ::HeapFree(::GetProcessHeap(), 0, name);
        ASSERT_NE(::GetFileAttributesW((L"\\\\?\\unix" + unixPath).c_str()), INVALID_FILE_ATTRIBUTES);
        lines.push_back(L"\\\\?\\unix" + unixPath);
    }
    ASSERT_NE(::GetFileAttributesW((L"\\??\\" + a).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the NT form reaches the file, so passing it over is what keeps it";
    WriteLines(lines);
    SweepRemovesExactly({Manifest()});
}

TEST_F(SweepHostileInput, RelativePathsAndClimbsAboveTheRootDeleteNothing) {
    // Against the working folder the program starts in, each of these
    // names a real shortcut.
    ASSERT_TRUE(::SetCurrentDirectoryW(Links(L"sub").c_str()));
    const std::wstring links = Links();
    const std::wstring rooted = links.substr(2);  // \users\...\Links\ on the current drive
    const std::wstring aboveRoot = links.substr(0, 3) + L"..\\" + links.substr(3);
    WriteLines({L"d.url", L".\\d.url", L"..\\a.url", L"..\\sub\\d.url", L"*.url",
                links.substr(0, 2) + L"d.url", rooted + L"a.url", L"Links/../Links/b.url",
                aboveRoot + L"a.url", aboveRoot + L"sub\\*.url", L"\\\\?\\" + links + L"sub\\..\\a.url",
                L"\\\\?\\" + links + L".\\a.url", L"\\\\?\\" + links + L"sub\\\\d.url",
                L"\\\\?\\" + links + L"sub.\\d.url", L"//?/" + links + L"b.url",
                L"\\\\?\\" + links + L"sub/d.url"});
    for (const wchar_t* relative : {L"d.url", L"..\\a.url", L"..\\b.url"}) {
        ASSERT_NE(::GetFileAttributesW(relative), INVALID_FILE_ATTRIBUTES) << "the test's own premise";
    }
    SweepRemovesExactly({Manifest()});
}

TEST_F(SweepHostileInput, NormalisedPathsDeleteOnlyTheFileTheyName) {
    const std::wstring links = Links();
    WriteBytes(Links(L"sub\\a.url"), kShortcutBody);  // beside the .. that leads away from it
    WriteLines({links + L"sub\\..\\a.url", links + L"sub\\.\\d.url", links + L"..\\Links\\b.url",
                links + L"sub \\d.url", links + L"sub\\..\\sub\\..\\sub\\nothing.url",
                links + L"sub\\..\\c.txt\\..\\*.url"});
    SweepRemovesExactly({Links(L"a.url"), Links(L"b.url"), Links(L"sub\\d.url"), Manifest()});
}

TEST_F(SweepHostileInput, AManifestThatIsAFolderStaysWithEverythingInIt) {
    MakeFolders(Manifest(L"en"));
    WriteBytes(Manifest(L"en") + L"\\x.url", kShortcutBody);
    WriteBytes(Manifest(L"en") + L"\\__shortcutsweep-en.ini",
               std::string(kMark) + Utf8(Links(L"a.url")) + "\r\n");
    WriteLines({Links(L"b.url")}, L"de");
    SweepRemovesExactly({Links(L"b.url"), Manifest(L"de")});
}

// A handle this test process holds on a file while the program runs.
class HeldOpen {
public:
    HeldOpen(const std::wstring& path, DWORD access, DWORD share)
        : handle_(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() { Close(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Close() {
        if (valid()) {
            ::CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_;
};

TEST_F(SweepHostileInput, AManifestHeldOpenWithoutSharingCannotBeReadAndStays) {
    WriteLines({Links(L"a.url")});
    HeldOpen lock(Manifest(), GENERIC_READ, 0);
    ASSERT_TRUE(lock.valid());
    SweepRemovesExactly({});
}

TEST_F(SweepHostileInput, AManifestHeldOpenForReadingIsActedOnButStays) {
    WriteLines({Links(L"a.url")});
    HeldOpen lock(Manifest(), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(lock.valid());
    SweepRemovesExactly({Links(L"a.url")});
}

TEST_F(SweepHostileInput, AManifestHeldOpenWithDeleteSharingGoesWhenLetGo) {
    WriteLines({Links(L"a.url")});
    HeldOpen lock(Manifest(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_TRUE(lock.valid());
    TakeSnapshot();
    EXPECT_EQ(RunProgram(Bin() + L"\\shortcutsweep.exe", L""), 0);
    lock.Close();
    ExpectRemovedExactly({Links(L"a.url"), Manifest()});
}

TEST_F(SweepHostileInput, AShortcutHeldOpenWithoutDeleteSharingStays) {
    WriteLines({Links(L"a.url"), Links(L"b.url"), Links(L"sub\\*.url")});
    HeldOpen lockA(Links(L"a.url"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HeldOpen lockD(Links(L"sub\\d.url"), GENERIC_READ, 0);
    ASSERT_TRUE(lockA.valid() && lockD.valid());
    SweepRemovesExactly({Links(L"b.url"), Manifest()});
}

TEST_F(SweepHostileInput, AReadOnlyManifestIsActedOnAndStays) {
    WriteLines({Links(L"a.url")});
    SetAttributes(Manifest(), FILE_ATTRIBUTE_READONLY);
    SweepRemovesExactly({Links(L"a.url")});
}

TEST_F(SweepHostileInput, ADriveThatDoesNotExistIsPassedOver) {
    const DWORD drives = ::GetLogicalDrives();
    wchar_t missing = 0;
    for (wchar_t letter = L'Y'; letter >= L'D' && !missing; --letter) {
        if ((drives & (1u << (letter - L'A'))) == 0) {
            missing = letter;
        }
    }
    ASSERT_NE(missing, 0) << "every drive letter is in use";
    const std::wstring drive = std::wstring(1, missing) + L":\\";
    WriteLines({drive + L"a.url", drive + L"*.url", drive + L"folder\\*.url", L"\\\\?\\" + drive + L"a.url",
                Links(L"a.url")});
    SweepRemovesExactly({Links(L"a.url"), Manifest()});
}

TEST_F(SweepHostileInput, StreamsOfListedFilesAreNeverNamed) {
    WriteLines({Links(L"c.txt:x.url"), Links(L"a.url:x.url"), Links(L"a.url:$DATA:x.url"),
                Links(L"a.url::$DATA"), Manifest(L"en") + L":x.url", Bin() + L"\\shortcutsweep.exe:x.url"});
    SweepRemovesExactly({Manifest()});
}

// Names as Wine lists them from a Linux file system, where a name may hold
// a backslash or end in a dot or a blank. Joined to its folder, the first
// reaches into a subfolder (here through an 8.3 alias there); the second
// Wine reports without its last character through the handle, so that it
// seems to end in ".url". Neither is ever acted on, each for a reason of
// its own in the log.
TEST_F(SweepHostileInput, NamesWineListsOtherwiseThanWindowsReachNothing) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const std::wstring victim = Links(L"L\\sub\\victim-document.urlx");
    WriteBytes(victim, kShortcutBody);
    WriteBytes(Links(L"L\\sub\\deep\\other.url"), kShortcutBody);
    WriteBytes(Links(L"L\\fine.url"), kShortcutBody);
    MakeFolders(Links(L"T"));
    wchar_t alias[MAX_PATH] = L"";
    ASSERT_GT(::GetShortPathNameW(victim.c_str(), alias, MAX_PATH), 0u);
    std::wstring aliasName = std::wstring(alias).substr(std::wstring(alias).find_last_of(L'\\') + 1);
    ASSERT_NE(aliasName.find(L'~'), std::wstring::npos) << "Wine gives the long name an alias";
    aliasName.replace(aliasName.size() - 4, 4, L".url");
    const std::string l = UnixPathOf(Links(L"L"));
    const std::string t = UnixPathOf(Links(L"T"));
    RunUnixCommand({"/bin/touch", l + "/sub\\" + Utf8(aliasName), l + "/sub\\deep\\other.url",
                    t + "/longname-a.url.", t + "/longname-b.url "});
    // The long names with a dot or blank at the end, and their aliases, as the listing gives them.
    std::map<std::wstring, std::wstring> trailing;
    for (int tries = 0; tries < 200 && trailing.size() < 2; ++tries) {
        ::Sleep(10);
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((Links(L"T") + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            const std::wstring name = data.cFileName;
            if (name.size() > 4 && (name.back() == L'.' || name.back() == L' ')) {
                std::wstring shortName = data.cAlternateFileName;
                trailing[name] = shortName.substr(0, shortName.size() - 4) + L".url";
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ASSERT_EQ(trailing.size(), 2u) << "the names ending in a dot and a blank, with their aliases";
    std::vector<std::wstring> lines = {Links(L"L\\*.url")};
    for (const auto& [name, shortName] : trailing) {
        lines.push_back(Links(L"T\\") + shortName);
    }
    // Links to such names in the same folder, by the name they report:
    // one named on a line, one matched by a wildcard.
    MakeFolders(Links(L"U"));
    const std::string u = UnixPathOf(Links(L"U"));
    RunUnixCommand({"/bin/touch", u + "/plain.url.", u + "/matched.url "});
    RunUnixCommand({"/bin/ln", "-s", "plain.url.", u + "/plain.url"});
    RunUnixCommand({"/bin/ln", "-s", "matched.url ", u + "/matched.url"});
    lines.push_back(Links(L"U\\plain.url"));
    lines.push_back(Links(L"U\\m*.url"));
    // Two folders whose names differ only in letter case: a link in one to
    // the other's file of the same name.
    WriteBytes(Links(L"case\\cased.url"), kShortcutBody);
    const std::string lower = UnixPathOf(Links(L"case"));
    const std::string upper = lower.substr(0, lower.size() - 4) + "CASE";
    RunUnixCommand({"/bin/mkdir", upper});
    RunUnixCommand({"/bin/ln", "-s", lower + "/cased.url", upper + "/cased.url"});
    lines.push_back(Links(L"CASE\\cased.url"));
    WriteLines(lines);
    TempFolder logs(L"log");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", (logs / L"sweep.log").c_str());
    SweepRemovesExactly({Links(L"L\\fine.url"), Manifest()});
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);

    const std::string log = ReadWholeFile(logs / L"sweep.log");
    for (const std::wstring& odd : {L"sub\\" + aliasName, std::wstring(L"sub\\deep\\other.url")}) {
        EXPECT_NE(log.find(Utf8(L"kept " + Links(L"L\\") + odd +
                                L" (its listed name holds a \\, a / or another character no Windows name "
                                L"holds)")),
                  std::string::npos)
            << Utf8(odd) << "\n"
            << log;
    }
    EXPECT_EQ(CountOf(log, Utf8(L"(another name in " + Links(L"T") + L" is spelled the same)")) +
                  CountOf(log, Utf8(L"(another name in " + Links(L"U") + L" is spelled the same)")),
              4u)
        << log;
    EXPECT_NE(
        log.find(Utf8(L"kept " + Links(L"CASE\\cased.url") + L" (reached through a link to another file)")),
        std::string::npos)
        << log;
}

// Wine reports x.url. as x.url, so a link x.url to it reports the name it
// was reached by; only the folder's listing shows the dotted name. A name
// that appears while the sweep runs, after the folder was first looked at,
// is seen all the same: the folder is asked when each file is open.
TEST_F(SweepHostileInput, ANameThatAppearsWhileTheSweepRunsIsSeen) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    WriteBytes(Links(L"F\\a.url"), kShortcutBody);
    std::vector<std::wstring> lines = {Links(L"F\\a.url")};
    for (int i = 0; i < 20000; ++i) {
        lines.push_back(Links(L"F\\none-" + std::to_wstring(i) + L".url"));
    }
    lines.push_back(Links(L"F\\x.url"));
    WriteLines(lines);
    TempFolder logs(L"log");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", (logs / L"sweep.log").c_str());
    RunningProgram sweep(Bin() + L"\\shortcutsweep.exe", L"");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);
    for (int tries = 0; tries < 60000 && Exists(Links(L"F\\a.url")); ++tries) {
        ::Sleep(1);
    }
    ASSERT_FALSE(Exists(Links(L"F\\a.url")));
    const std::string f = UnixPathOf(Links(L"F"));
    ASSERT_TRUE(RunUnixCommand({"/bin/touch", f + "/x.url."}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "x.url.", f + "/x.url"}));
    const std::string lastLine = "en line " + std::to_string(lines.size()) + " ";
    ASSERT_EQ(ReadWholeFile(logs / L"sweep.log").find(lastLine), std::string::npos)
        << "the name appeared before the sweep reached its line";
    EXPECT_EQ(sweep.Wait(300000), 0);

    const std::wstring dotted = L"\\\\?\\" + Links(L"F\\x.url.");
    EXPECT_NE(::GetFileAttributesW(dotted.c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file whose own name does not end in .url";
    const std::string log = ReadWholeFile(logs / L"sweep.log");
    const size_t said = log.find(lastLine);
    ASSERT_NE(said, std::string::npos) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
    EXPECT_EQ(Verdict(log, lastLine).rfind("kept ", 0), 0u) << log.substr(said, 400);
    EXPECT_FALSE(Exists(Manifest()));

    // The same names made the moment the sweep has deleted a file in that
    // folder, by a Unix process that waits for the deletion: the folder's
    // times then move with the sweep's own change and the other one alike.
    WriteBytes(Links(L"G\\a.url"), kShortcutBody);
    lines = {Links(L"G\\a.url")};
    for (int i = 0; i < 2000; ++i) {
        lines.push_back(Links(L"Elsewhere\\none-" + std::to_wstring(i) + L".url"));
    }
    lines.push_back(Links(L"G\\x.url"));
    WriteLines(lines);
    const std::string g = UnixPathOf(Links(L"G"));
    const std::wstring made = logs / L"made";
    ASSERT_TRUE(
        RunUnixCommand({"/bin/sh", "-c",
                        "perl -e '$t = time + 300; 1 while -e $ARGV[0] && time < $t; exit if -e $ARGV[0]; "
                        "open(F, \">\", \"$ARGV[1].\") and close(F); "
                        "symlink(\"x.url.\", $ARGV[1]); open(F, \">\", $ARGV[2]) and close(F)' \"$@\" "
                        "</dev/null >/dev/null 2>&1 &",
                        "sh", g + "/a.url", g + "/x.url", UnixPathOf(made)}));
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", (logs / L"sweep2.log").c_str());
    RunningProgram second(Bin() + L"\\shortcutsweep.exe", L"");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);
    EXPECT_EQ(second.Wait(300000), 0);
    ASSERT_TRUE(Exists(made)) << "the names were not made while the sweep ran";
    EXPECT_NE(::GetFileAttributesW((L"\\\\?\\" + Links(L"G\\x.url.")).c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file whose own name does not end in .url, made as the sweep deleted a file beside it";
    const std::string secondLog = ReadWholeFile(logs / L"sweep2.log");
    const size_t lastSaid = secondLog.find("en line " + std::to_string(lines.size()) + " ");
    ASSERT_NE(lastSaid, std::string::npos);
    EXPECT_EQ(Verdict(secondLog, "en line " + std::to_string(lines.size()) + " ").rfind("kept ", 0), 0u)
        << secondLog.substr(lastSaid, 400);
}

// Under Wine a folder D. is reported as D, so a file in D. has the final
// path of a file of the same name in D beside it: a link D\x.url to
// D.\x.url reports just the path it was opened by. The file in D. is never
// deleted through it, by a line naming it or a wildcard, and neither the
// log nor sweepcheck says it is.
TEST_F(SweepHostileInput, AFileInAFolderEndingInADotIsNotDeletedThroughItsTwin) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const std::string links = UnixPathOf(root_.path()) + "/Links";
    ASSERT_TRUE(
        Shell("cd \"$1\" && mkdir D D. && printf %s \"$2\" >D./x.url && printf %s \"$2\" >D./y.url.. && "
              "ln -s ../D./x.url D/x.url && ln -s ../D./y.url.. D/y.url",
              {links, std::string(kShortcutBody)}));
    WriteLines({Links(L"D\\x.url"), Links(L"D\\*.url"), Links(L"a.url")});
    std::string check;
    if (!g_checkExe.empty()) {
        RunProgramCapturing(g_checkExe, L"\"" + Bin() + L"\"", check);
    }
    TempFolder logs(L"log");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", (logs / L"sweep.log").c_str());
    SweepRemovesExactly({Links(L"a.url"), Manifest()});
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);

    EXPECT_TRUE(UnixExists(links + "/D./x.url"));
    EXPECT_TRUE(UnixExists(links + "/D./y.url.."));
    const std::string log = ReadWholeFile(logs / L"sweep.log");
    EXPECT_EQ(Verdict(log, "en line 1 \"").rfind("kept ", 0), 0u) << Verdict(log, "en line 1 \"");
    EXPECT_EQ(Verdict(log, "en line 2 \"").find("deleted"), std::string::npos)
        << Verdict(log, "en line 2 \"");
    EXPECT_EQ(Verdict(log, "en line 3 \"").rfind("deleted ", 0), 0u) << log;
    if (!g_checkExe.empty()) {
        for (const char* line : {"  line 1 \"", "  line 2 \""}) {
            EXPECT_EQ(Verdict(check, line).find("would delete"), std::string::npos) << check;
        }
        EXPECT_EQ(Verdict(check, "  line 3 \"").rfind("would delete ", 0), 0u) << check;
    }
}

// Other names Wine spells alike: a folder "E ." is reported as "E ", and
// x.url. as x.url; a link x.url to X.URL beside it reports X.URL, which
// differs from the name opened in letter case alone; and every name whose
// bytes are not UTF-8 reads as U+FFFD, so a link named a<U+FFFD>.url to
// a<FF>.url reports its own name. No target is deleted through its link.
TEST_F(SweepHostileInput, FilesWineSpellsAlikeAreNotDeletedThroughEachOther) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const std::string links = UnixPathOf(root_.path()) + "/Links";
    ASSERT_TRUE(
        Shell("cd \"$1\" && mkdir 'E ' 'E .' K U && printf %s \"$2\" >'E ./x.url.' && "
              "ln -s '../E ./x.url.' 'E /x.url' && printf %s \"$2\" >K/X.URL && ln -s X.URL K/x.url && "
              "printf %s \"$2\" >\"U/a$3.url\" && ln -s \"a$3.url\" \"U/a$4.url\"",
              {links, std::string(kShortcutBody), "\xFF", "\xEF\xBF\xBD"}));
    WriteLines({Links(L"E \\x.url"), Links(L"K\\x.url"), Links(L"U\\*.url"), Links(L"a.url")});
    SweepRemovesExactly({Links(L"a.url"), Manifest()});
    EXPECT_TRUE(UnixExists(links + "/E ./x.url."));
    EXPECT_TRUE(UnixExists(links + "/K/X.URL"));
    EXPECT_TRUE(UnixExists(links + "/U/a\xFF.url"));
}

// A Unix name in F holding a backslash, sub\x.url, is reported as
// F\sub\x.url, the path of x.url in the folder F\sub: links there to such
// names look like the files they are named as.
TEST_F(SweepHostileInput, AFileWhoseNameHoldsABackslashIsNotDeletedThroughALinkInTheSubfolder) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const std::string f = UnixPathOf(root_.path()) + "/Links/F";
    ASSERT_TRUE(
        Shell("mkdir -p \"$1/sub\" && cd \"$1\" && printf %s \"$2\" >'sub\\x.url' && "
              "printf %s \"$2\" >'sub\\y.url' && ln -s '../sub\\x.url' sub/x.url && "
              "ln -s '../sub\\y.url' sub/y.url",
              {f, std::string(kShortcutBody)}));
    WriteLines({Links(L"F\\sub\\x.url"), Links(L"F\\sub\\*.url"), Links(L"a.url")});
    SweepRemovesExactly({Links(L"a.url"), Manifest()});
    EXPECT_TRUE(UnixExists(f + "/sub\\x.url"));
    EXPECT_TRUE(UnixExists(f + "/sub\\y.url"));
}

// The program's own folder may be one of a pair too: bin beside bin., or
// "T " beside "T .". A manifest and batch file there that are links into
// the twin are links all the same: the manifest is left alone with what it
// lists, and neither target is deleted.
TEST_F(SweepHostileInput, ManifestsLinkedIntoATwinOfTheProgramsFolderAreLeftAlone) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const std::string manifest = std::string(kMark) + Utf8(Links(L"b.url")) + "\r\n";
    for (const auto& [folder, twin] : {std::pair{"bin", "bin."}, std::pair{"T ", "T ."}}) {
        const std::string trace = std::string("the program in \"") + folder + "\"";
        const std::string p = UnixPathOf(root_.path()) + "/P";
        ASSERT_TRUE(Shell(
            "mkdir -p \"$1/$2\" \"$1/$3\" && cd \"$1\" && printf %s \"$4\" >\"$3/__shortcutsweep-en.ini\" && "
            "printf '@echo off\\r\\n' >\"$3/__shortcutsweep.bat\" && "
            "ln -s \"../$3/__shortcutsweep-en.ini\" \"$2/__shortcutsweep-en.ini\" && "
            "ln -s \"../$3/__shortcutsweep.bat\" \"$2/__shortcutsweep.bat\"",
            {p, folder, twin, manifest}));
        const std::wstring program = root_ / (L"P\\" + Wide(folder) + L"\\shortcutsweep.exe");
        ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), program.c_str(), FALSE)) << trace;
        WriteBytes(Links(L"b.url"), kShortcutBody);
        EXPECT_EQ(RunProgram(program, L"", 300000), 0) << trace;
        EXPECT_TRUE(Exists(Links(L"b.url"))) << trace;
        EXPECT_TRUE(UnixExists(p + "/" + twin + "/__shortcutsweep-en.ini")) << trace;
        EXPECT_TRUE(UnixExists(p + "/" + twin + "/__shortcutsweep.bat")) << trace;
    }
    // A program in a folder without a twin acts on its manifest.
    WriteLines({Links(L"a.url")});
    SweepRemovesExactly({Links(L"a.url"), Manifest()});
}

// A folder whose times lie in the future (touch -d 2099-01-01): a file made
// there now is older than the folder's last change. The folder is listed
// while the sweep checks a.url, with x.url in it; the moment a.url is gone,
// x.url. is made and x.url replaced by a link to it. The listing still has
// x.url, and only the time of the file x.url leads to shows that it is
// older than a name of it: the folder is listed again and x.url. seen.
TEST_F(SweepHostileInput, ANameThatAppearsInAFolderStampedInTheFutureIsSeen) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    WriteBytes(Links(L"F\\a.url"), kShortcutBody);
    WriteBytes(Links(L"F\\x.url"), kShortcutBody);
    std::vector<std::wstring> lines = {Links(L"F\\a.url")};
    for (int i = 0; i < 30000; ++i) {
        lines.push_back(Links(L"Elsewhere\\none-" + std::to_wstring(i) + L".url"));
    }
    lines.push_back(Links(L"F\\x.url"));
    WriteLines(lines);
    const std::string f = UnixPathOf(Links(L"F"));
    ASSERT_TRUE(Shell("touch -d 2099-01-01 \"$1\"", {f}));
    TempFolder logs(L"log");
    const std::wstring made = logs / L"made";
    // Waits for a.url to go, then makes the names, then says so in `made`.
    ASSERT_TRUE(
        Shell("perl -e '$t = time + 300; 1 while -e $ARGV[0] && time < $t; exit if -e $ARGV[0]; "
              "open(F, \">\", \"$ARGV[1].\") and close(F); symlink(\"x.url.\", \"$ARGV[1].new\"); "
              "rename(\"$ARGV[1].new\", $ARGV[1]); open(F, \">\", $ARGV[2]) and close(F)' \"$@\" "
              "</dev/null >/dev/null 2>&1 &",
              {f + "/a.url", f + "/x.url", UnixPathOf(made)}));
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", (logs / L"sweep.log").c_str());
    RunningProgram sweep(Bin() + L"\\shortcutsweep.exe", L"");
    ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);
    EXPECT_EQ(sweep.Wait(300000), 0);
    ASSERT_TRUE(Exists(made)) << "the names were not made while the sweep ran";
    EXPECT_FALSE(Exists(Links(L"F\\a.url")));
    const std::string log = ReadWholeFile(logs / L"sweep.log");
    const std::string last = Verdict(log, "en line " + std::to_string(lines.size()) + " \"");
    ASSERT_EQ(last.rfind("no match", 0), std::string::npos)
        << "the names appeared after the sweep reached its line";
    EXPECT_TRUE(UnixExists(f + "/x.url.")) << "a file whose own name does not end in .url";
    EXPECT_EQ(last.rfind("kept ", 0), 0u) << last;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugStrings();
    if (!FindProgramsUnderTest(argc, argv,
                               {{"shortcutsweep.exe", &g_sweepExe},
                                {"sweepcheck.exe", &g_checkExe, ProgramUnderTest::Optional}})) {
        return 2;
    }
    return RUN_ALL_TESTS();
}

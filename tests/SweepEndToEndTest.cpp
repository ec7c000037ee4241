// Runs the built shortcutsweep.exe over real folder trees: what it deletes
// and what it leaves. The same program holds the decision log's tests
// (SweepLogTest.cpp) and sweepcheck's (SweepcheckTest.cpp); the install
// they share is in tests/support/SweepInstall.h.
//
// Usage: sweep_end_to_end_tests <shortcutsweep.exe> [<sweepcheck.exe>] [gtest options]
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/FailurePrinter.h"
#include "tests/support/SweepInstall.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

using namespace testing_support;

namespace {

class SweepEndToEnd : public SweepInstall {};

TEST_F(SweepEndToEnd, DeletesWhatTheFourManifestsListThenTheManifestsAndTheBatchFile) {
    std::wstring a = Shortcut(L"a.url");
    std::wstring b = Shortcut(L"b.lnk");
    std::wstring c = Shortcut(L"c.url");
    std::wstring lastPiece = Shortcut(L"last.url");
    std::wstring japanese =
        Shortcut(L"\u30C7\u30B9\u30AF\u30C8\u30C3\u30D7\\\u30DE\u30CB\u30E5\u30A2\u30EB.url");
    std::wstring accented = Shortcut(L"Bureau\\R\u00E9sum\u00E9 \u00E9t\u00E9.url");
    std::wstring devOnly = Shortcut(L"dev.url");
    Manifest(Bin(), L"en", {a, b});
    Manifest(Bin(), L"de", {c}, lastPiece);
    Manifest(Bin(), L"fr", {accented});
    Manifest(Bin(), L"ja", {japanese});
    Manifest(Dev(), L"en", {devOnly});
    WriteBytes(Bin() + L"\\__shortcutsweep.bat", "@echo off\r\n");

    Sweep();

    EXPECT_FALSE(Exists(a));
    EXPECT_TRUE(Exists(b)) << "not a shortcut";
    EXPECT_FALSE(Exists(c));
    EXPECT_TRUE(Exists(lastPiece)) << "the piece after the last CR LF is never an entry";
    EXPECT_FALSE(Exists(accented));
    EXPECT_FALSE(Exists(japanese));
    for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
        EXPECT_FALSE(Exists(ManifestPath(Bin(), lang))) << lang;
    }
    EXPECT_FALSE(Exists(Bin() + L"\\__shortcutsweep.bat"));
    EXPECT_TRUE(Exists(Bin() + L"\\shortcutsweep.exe"));
    EXPECT_TRUE(Exists(devOnly)) << "without the switch the development folder is not read";
    EXPECT_TRUE(Exists(ManifestPath(Dev(), L"en")));
}

TEST_F(SweepEndToEnd, TheSwitchInAnyCaseAndAnywhereSelectsTheDevelopmentFolder) {
    for (const wchar_t* arguments :
         {L"/noproduction", L"/NOPRODUCTION", L"x/noproductiony", L"-q /NoProduction -v"}) {
        const std::string trace = testing::PrintToString(std::wstring(arguments));
        std::wstring dev = Shortcut(L"dev.url");
        std::wstring production = Shortcut(L"production.url");
        Manifest(Dev(), L"fr", {dev});
        Manifest(Bin(), L"fr", {production});
        WriteBytes(Dev() + L"\\__shortcutsweep.bat", "");

        Sweep(arguments);

        EXPECT_FALSE(Exists(dev)) << trace;
        EXPECT_FALSE(Exists(ManifestPath(Dev(), L"fr"))) << trace;
        EXPECT_FALSE(Exists(Dev() + L"\\__shortcutsweep.bat")) << trace;
        EXPECT_TRUE(Exists(production)) << trace;
        EXPECT_TRUE(Exists(ManifestPath(Bin(), L"fr"))) << trace;
        ::DeleteFileW(ManifestPath(Bin(), L"fr").c_str());
        ::DeleteFileW(production.c_str());
    }
}

TEST_F(SweepEndToEnd, OnlyLinesEndingInLowerCaseUrlAreEntries) {
    std::wstring upper = Shortcut(L"upper.URL");
    std::wstring mixed = Shortcut(L"mixed.Url");
    std::wstring trailingBlank = Shortcut(L"blank.url");
    std::wstring good = Shortcut(L"good.url");
    Manifest(Bin(), L"en", {upper, mixed, trailingBlank + L" ", L"", good});

    Sweep();

    EXPECT_TRUE(Exists(upper));
    EXPECT_TRUE(Exists(mixed));
    EXPECT_TRUE(Exists(trailingBlank));
    EXPECT_FALSE(Exists(good));
    EXPECT_FALSE(Exists(ManifestPath(Bin(), L"en")));
}

TEST_F(SweepEndToEnd, UnreadableManifestsActOnNothingButAreStillDeleted) {
    std::wstring viaLf = Shortcut(L"lf.url");
    std::wstring viaAnsi = Shortcut(L"ansi.url");
    std::wstring viaUtf16 = Shortcut(L"utf16.url");
    WriteUtf8(ManifestPath(Bin(), L"en"), viaLf + L"\n" + viaLf + L"\n");
    WriteUtf8(ManifestPath(Bin(), L"de"), viaAnsi + L"\r\n" + viaAnsi + L"\r\n", /*mark=*/false);
    std::wstring utf16 = L"\uFEFF" + viaUtf16 + L"\r\n" + viaUtf16 + L"\r\n";
    WriteBytes(ManifestPath(Bin(), L"fr"),
               std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * sizeof(wchar_t)));
    WriteBytes(ManifestPath(Bin(), L"ja"), "\xEF\xBB\xBF");

    Sweep();

    EXPECT_TRUE(Exists(viaLf)) << "a lone LF is not a separator";
    EXPECT_TRUE(Exists(viaAnsi)) << "the byte-order mark is required";
    EXPECT_TRUE(Exists(viaUtf16));
    for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
        EXPECT_FALSE(Exists(ManifestPath(Bin(), lang))) << lang;
    }
}

TEST_F(SweepEndToEnd, AHiddenOrSystemManifestIsLeftWithEverythingItLists) {
    std::wstring listed = Shortcut(L"listed.url");
    std::wstring alsoListed = Shortcut(L"also.url");
    Manifest(Bin(), L"en", {listed});
    Manifest(Bin(), L"ja", {alsoListed});
    SetAttributes(ManifestPath(Bin(), L"en"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(ManifestPath(Bin(), L"ja"), FILE_ATTRIBUTE_SYSTEM);

    Sweep();

    EXPECT_TRUE(Exists(listed));
    EXPECT_TRUE(Exists(alsoListed));
    EXPECT_TRUE(Exists(ManifestPath(Bin(), L"en")));
    EXPECT_TRUE(Exists(ManifestPath(Bin(), L"ja")));
}

TEST_F(SweepEndToEnd, WildcardLinesDeleteOnlyOrdinaryFilesWhoseOwnNameMatches) {
    std::wstring x = Shortcut(L"wild\\x.url");
    std::wstring y = Shortcut(L"wild\\Y.URL");
    std::wstring notUrl = Shortcut(L"wild\\z.urlx");
    std::wstring longer = Shortcut(L"wild\\longer-name.urlxyz");
    std::wstring text = Shortcut(L"wild\\readme.txt");
    std::wstring hidden = Shortcut(L"wild\\hidden.url");
    std::wstring system = Shortcut(L"wild\\system.url");
    std::wstring readOnly = Shortcut(L"wild\\readonly.url");
    MakeFolders(Links(L"wild\\folder.url"));
    SetAttributes(hidden, FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(system, FILE_ATTRIBUTE_SYSTEM);
    SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
    Manifest(Bin(), L"de", {Links(L"wild\\*.url")});

    Sweep();

    EXPECT_FALSE(Exists(x));
    EXPECT_FALSE(Exists(y));
    for (const std::wstring& kept :
         {notUrl, longer, text, hidden, system, readOnly, Links(L"wild\\folder.url")}) {
        EXPECT_TRUE(Exists(kept)) << testing::PrintToString(kept);
    }
    SetAttributes(readOnly, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SweepEndToEnd, LinesThatNameOneFileAreReadAsWindowsReadsThem) {
    const std::wstring doubled = Shortcut(L"doubled\\Vantrel Home.url");
    const std::wstring climbedTo = Shortcut(L"Vantrel Help.url");
    const std::wstring besideClimb = Shortcut(L"bin\\Vantrel Help.url");
    const std::wstring dotted = Shortcut(L"dotted\\a.url");
    const std::wstring aboveRoot = Shortcut(L"above.url");
    const std::wstring longName = Shortcut(L"alias\\Vantrel Home Page.url");
    const std::wstring notShortcut = Shortcut(L"alias\\notes.urlx");
    const std::wstring one = Shortcut(L"q\\Vantrel.url");
    const std::wstring two = Shortcut(L"q\\Vantrel2.url");
    const std::wstring three = Shortcut(L"q\\Vantrel22.url");
    const std::wstring links = Links();
    const std::wstring alias = AliasOf(longName);
    ASSERT_TRUE(!RunningUnderWine() || alias.find(L'~') != std::wstring::npos)
        << "Wine gives long names an alias";
    Manifest(Bin(), L"en",
             {links + L"doubled\\\\Vantrel Home.url", links + L"bin\\..\\Vantrel Help.url",
              links + L"dotted.\\a.url",
              // Windows stops at the root; the line would name the file all the same.
              links.substr(0, 3) + L"..\\" + links.substr(3) + L"above.url", AliasLine(longName),
              AliasLine(notShortcut), links + L"q\\Vantrel?.url"});

    Sweep();

    for (const std::wstring& gone : {doubled, climbedTo, dotted, one, two}) {
        EXPECT_FALSE(Exists(gone)) << testing::PrintToString(gone);
    }
    for (const std::wstring& kept : {besideClimb, aboveRoot, notShortcut, three}) {
        EXPECT_TRUE(Exists(kept)) << testing::PrintToString(kept);
    }
    if (alias.find(L'~') != std::wstring::npos) {
        EXPECT_FALSE(Exists(longName)) << "named by its alias " << testing::PrintToString(alias);
    }
}

TEST_F(SweepEndToEnd, SharePathsAreReadLikeDrivePathsAndTheirPrefixInAnyCase) {
    const std::wstring share = WineShareFolder(L"vantrel-test", L"links");
    if (share.empty()) {
        GTEST_SKIP() << "no share to test against outside Wine";
    }
    for (const wchar_t* name : {L"a.url", L"b.url", L"c.url", L"d\\b.url"}) {
        WriteBytes(share + L"\\" + name, kShortcutBody);
    }
    Manifest(Bin(), L"de",
             {L"\\\\?\\unc\\vantrel-test\\links\\a.url", L"\\\\vantrel-test\\links\\d\\..\\b.url",
              L"\\\\vantrel-test\\links\\..\\links\\c.url"});

    Sweep();

    EXPECT_FALSE(Exists(share + L"\\a.url"));
    EXPECT_FALSE(Exists(share + L"\\b.url"));
    EXPECT_TRUE(Exists(share + L"\\d\\b.url"));
    EXPECT_TRUE(Exists(share + L"\\c.url")) << "a .. above the share is refused";
    RemoveTree(share);
}

// Relative lines would name real files: the sweep runs in its own folder,
// which holds relative.url, on the drive of the shortcuts, so that
// "relative.url", "C:relative.url" and "\Users\...\target.url" each name
// a file that is there.
TEST_F(SweepEndToEnd, LinesThatCouldNameAnotherFileDeleteNothing) {
    std::wstring secret = Shortcut(L"secret.txt");
    std::wstring elsewhere = Shortcut(L"other\\target.url");
    std::wstring besideProgram = Bin() + L"\\relative.url";
    WriteBytes(besideProgram, kShortcutBody);
    ASSERT_EQ(Bin().substr(0, 2), Links().substr(0, 2)) << "the program and the shortcuts on one drive";
    const std::wstring links = Links();
    Manifest(Bin(), L"en",
             {L"relative.url", L".\\relative.url", L"..\\bin\\relative.url",
              links.substr(0, 2) + L"relative.url", links.substr(2) + L"other\\target.url",
              Links(L"secret.txt:x.url"), L"\\\\.\\" + Links(L"other\\target.url"),
              L"//?/" + Links(L"other/target.url"), L"\\\\?\\" + Links(L"sub\\..\\other\\target.url"),
              Links(L"*\\target.url"), Links(L"other..\\target.url")});

    EXPECT_EQ(RunProgramIn(Bin(), Bin() + L"\\shortcutsweep.exe", L""), 0);

    for (const std::wstring& kept : {secret, elsewhere, besideProgram}) {
        EXPECT_TRUE(Exists(kept)) << testing::PrintToString(kept);
    }
    EXPECT_FALSE(Exists(ManifestPath(Bin(), L"en")));
}

// Wine opens a Unix symbolic link as the file it points to, and shows
// nothing else that tells the two apart: only the handle's final path does.
TEST_F(SweepEndToEnd, ALinkNeverTakesItsTargetWhateverNamesIt) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "links are made with the Unix ln, under Wine";
    }
    // Everything a link points to lies in Other, which no line names.
    const std::wstring other = Links(L"Other");
    for (const wchar_t* name : {L"notes.txt", L"Vantrel Home.url", L"same.url", L"wild.txt", L"linked.url"}) {
        WriteBytes(other + L"\\" + name, kShortcutBody);
    }
    MakeFolders(other + L"\\folder.url");
    WriteBytes(other + L"\\folder.url\\inside.url", kShortcutBody);
    WriteBytes(other + L"\\listed by the linked manifest.url", kShortcutBody);
    WriteUtf8(other + L"\\manifest.ini", other + L"\\listed by the linked manifest.url\r\n");
    WriteBytes(other + L"\\important.bat", "@echo off\r\n");
    // A profile folder that is a link, as in many Wine prefixes: what it
    // holds is deleted through it like anything else.
    WriteBytes(root_ / L"Profile\\Desktop\\Vantrel.url", kShortcutBody);
    WriteBytes(root_ / L"Profile\\Desktop\\Vantrel Web.url", kShortcutBody);
    struct Link {
        const wchar_t* link;
        std::wstring target;
    };
    const std::vector<Link> links = {
        {L"L\\text.url", other + L"\\notes.txt"},             // to a file that is no shortcut
        {L"L\\VANTRE~9.url", other + L"\\Vantrel Home.url"},  // 8.3-shaped, to a shortcut of another name
        {L"L\\same.url", other + L"\\same.url"},              // to a shortcut of the same name elsewhere
        {L"L\\here.url", Links(L"L\\real.url")},              // to another name in the same folder
        {L"W\\w1.url", other + L"\\wild.txt"},                // matched by a wildcard
        {L"L\\folder.url", other + L"\\folder.url"},          // to a folder
        {L"Profile", root_ / L"Profile"},
    };
    WriteBytes(Links(L"L\\real.url"), kShortcutBody);
    WriteBytes(Links(L"W\\plain.url"), kShortcutBody);
    for (const Link& link : links) {
        ASSERT_TRUE(MakeUnixLink(link.target, Links(link.link))) << testing::PrintToString(link.link);
    }
    // Past MAX_PATH, where Wine gives no final path: the path within the
    // volume shows the link instead.
    std::wstring deep = L"Deep";
    for (int i = 0; i < 8; ++i) {
        deep += L"\\a-rather-long-folder-name-" + std::to_wstring(i);
    }
    WriteBytes(Links(deep + L"\\deep real.url"), kShortcutBody);
    WriteBytes(other + L"\\far target.url", kShortcutBody);
    ASSERT_TRUE(MakeUnixLink(other + L"\\far target.url", Links(deep + L"\\deep link.url")));
    ASSERT_GT(Links(deep + L"\\deep link.url").size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(MakeUnixLink(other + L"\\manifest.ini", ManifestPath(Bin(), L"de")));
    ASSERT_TRUE(MakeUnixLink(other + L"\\important.bat", Bin() + L"\\__shortcutsweep.bat"));
    Manifest(Bin(), L"en",
             {Links(L"L\\text.url"), Links(L"L\\VANTRE~9.url"), Links(L"L\\same.url"), Links(L"L\\here.url"),
              Links(L"W\\*.url"), Links(L"L\\folder.url"), Links(L"Profile\\Desktop\\Vantrel.url"),
              Links(L"Profile\\Desktop\\*Web.url"), Links(deep + L"\\deep real.url"),
              Links(deep + L"\\deep link.url")});
    const Tree before = Snapshot(root_.path());

    std::string text;
    std::string json;
    if (!g_checkExe.empty()) {
        EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Bin() + L"\"", text), 1);
        EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--json \"" + Bin() + L"\"", json), 1);
    }
    Sweep();

    const std::set<std::wstring> expected = {
        Links(L"W\\plain.url"),
        Links(deep + L"\\deep real.url"),
        root_ / L"Profile\\Desktop\\Vantrel.url",
        root_ / L"Profile\\Desktop\\Vantrel Web.url",
        ManifestPath(Bin(), L"en"),
    };
    EXPECT_EQ(Removed(before, Snapshot(root_.path())), expected)
        << "every target stays, and so does every link but those in a linked folder";
    EXPECT_TRUE(Exists(ManifestPath(Bin(), L"de"))) << "a manifest that is a link is left alone";
    EXPECT_TRUE(Exists(Bin() + L"\\__shortcutsweep.bat"));

    // sweepcheck, which runs the same checks, gives the reason of its own.
    if (!g_checkExe.empty()) {
        const std::wstring reason = L"reached through a link to another file";
        for (const wchar_t* name : {L"L\\text.url", L"L\\same.url", L"L\\here.url", L"W\\w1.url"}) {
            std::wstring escaped;
            for (wchar_t c : Links(name)) {
                escaped += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
            }
            EXPECT_NE(text.find(Utf8(L"kept " + Links(name) + L" (" + reason + L")")), std::string::npos)
                << name << "\n"
                << text;
            EXPECT_NE(json.find(Utf8(L"{\"path\":\"" + escaped + L"\",\"verdict\":\"kept\",\"reason\":\"" +
                                     reason + L"\"")),
                      std::string::npos)
                << name << "\n"
                << json;
        }
        EXPECT_NE(text.find(Utf8(L"__shortcutsweep-de.ini: left alone with everything it lists (" + reason)),
                  std::string::npos)
            << text;
    }
}

TEST_F(SweepEndToEnd, WithoutManifestsOnlyTheBatchFileGoesAndARunWithNothingToDoEndsQuietly) {
    WriteBytes(Bin() + L"\\__shortcutsweep.bat", "@echo off\r\n");
    Sweep();
    EXPECT_FALSE(Exists(Bin() + L"\\__shortcutsweep.bat"));
    Sweep();
    Sweep(L"/noproduction");
    EXPECT_TRUE(Exists(Bin() + L"\\shortcutsweep.exe"));
}

TEST_F(SweepEndToEnd, AReadOnlyManifestIsActedOnAndLeftInPlace) {
    std::wstring listed = Shortcut(L"listed.url");
    Manifest(Bin(), L"fr", {listed});
    SetAttributes(ManifestPath(Bin(), L"fr"), FILE_ATTRIBUTE_READONLY);
    Sweep();
    EXPECT_FALSE(Exists(listed));
    EXPECT_TRUE(Exists(ManifestPath(Bin(), L"fr")));
    SetAttributes(ManifestPath(Bin(), L"fr"), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SweepEndToEnd, AnInstallFolderWithNonAsciiNamesWorks) {
    InstallIn(L"Programme\\\u30D9\u30F3\u30C0\u30FC\\Ma\u00EEtre\\bin");
    std::wstring listed = Shortcut(L"\u00FCber.url");
    Manifest(Bin(), L"ja", {listed});
    WriteBytes(Bin() + L"\\__shortcutsweep.bat", "");
    Sweep();
    EXPECT_FALSE(Exists(listed));
    EXPECT_FALSE(Exists(ManifestPath(Bin(), L"ja")));
    EXPECT_FALSE(Exists(Bin() + L"\\__shortcutsweep.bat"));
}

TEST_F(SweepEndToEnd, PathsLongerThanTheOldLimitWork) {
    std::wstring deep;
    for (int i = 0; i < 12; ++i) {
        deep += L"a-rather-long-folder-name-" + std::to_wstring(i) + L"\\";
    }
    std::wstring listed = Shortcut(deep + L"far.url");
    ASSERT_GT(listed.size(), 300u);
    Manifest(Bin(), L"en", {listed});
    Sweep();
    EXPECT_FALSE(Exists(L"\\\\?\\" + listed));
}

// Under Wine, a drive letter that is a folder, for as long as the object
// lives: a link in the prefix's dosdevices folder.
class WineDrive {
public:
    WineDrive(wchar_t letter, const std::wstring& folder) : root_{letter, L':', L'\\'} {
        const std::string driveC = UnixPathOf(L"C:\\");
        const size_t cut = driveC.rfind("/c:");
        if (cut == std::string::npos) {
            return;
        }
        link_ = driveC.substr(0, cut + 1) + static_cast<char>(letter) + ":";
        RunUnixCommand({"/bin/ln", "-sfn", UnixPathOf(folder), link_});
        for (int tries = 0; tries < 200 && !Exists(root_); ++tries) {
            ::Sleep(10);
        }
    }
    ~WineDrive() {
        if (!link_.empty()) {
            RunUnixCommand({"/bin/rm", "-f", link_});
        }
    }
    WineDrive(const WineDrive&) = delete;
    WineDrive& operator=(const WineDrive&) = delete;
    bool made() const { return Exists(root_); }

private:
    std::wstring root_;
    std::string link_;
};

// A manifest, a shortcut it lists and a batch file in `folder`, where no
// sweep may look; their paths.
std::vector<std::wstring> Decoys(const std::wstring& folder) {
    const std::vector<std::wstring> decoys = {folder + L"\\__shortcutsweep-en.ini", folder + L"\\victim.url",
                                              folder + L"\\__shortcutsweep.bat"};
    WriteUtf8(decoys[0], decoys[1] + L"\r\n");
    WriteBytes(decoys[1], kShortcutBody);
    WriteBytes(decoys[2], "@echo off\r\n");
    return decoys;
}

// ParentFolder gives "\" when the program's folder has fewer than two
// folders above it, and \\server\ for a program one folder into a share:
// the development folder would be \ZV\ on whatever drive is current, or
// another share. Then the sweep does nothing at all.
TEST_F(SweepEndToEnd, TheDevelopmentFolderIsOnTheProgramsOwnDriveOrShareOrNowhere) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "drives and shares are made in Wine's prefix";
    }
    TempFolder m(L"drive-m");
    TempFolder n(L"drive-n");
    WineDrive driveM(L'm', m.path());
    WineDrive driveN(L'n', n.path());
    ASSERT_TRUE(driveM.made() && driveN.made());
    const std::vector<std::wstring> onN = Decoys(L"N:\\ZV");
    MakeFolders(L"M:\\bin");
    ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), L"M:\\bin\\shortcutsweep.exe", FALSE));
    EXPECT_EQ(RunProgramIn(L"N:\\", L"M:\\bin\\shortcutsweep.exe", L"/noproduction"), 0);
    for (const std::wstring& decoy : onN) {
        EXPECT_TRUE(Exists(decoy)) << testing::PrintToString(decoy) << ": the current drive's \\ZV";
    }

    // At the drive's root it is the program's own drive: that is used.
    MakeFolders(L"M:\\a\\bin");
    ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), L"M:\\a\\bin\\shortcutsweep.exe", FALSE));
    const std::vector<std::wstring> onM = Decoys(L"M:\\ZV");
    EXPECT_EQ(RunProgramIn(L"N:\\", L"M:\\a\\bin\\shortcutsweep.exe", L"/noproduction"), 0);
    for (const std::wstring& gone : onM) {
        EXPECT_FALSE(Exists(gone)) << testing::PrintToString(gone);
    }

    // One folder into a share, the folder two above is \\server\ alone.
    const std::wstring tools = WineShareFolder(L"vantrel-test", L"tools");
    const std::wstring otherShare = WineShareFolder(L"vantrel-test", L"ZV");
    const std::vector<std::wstring> onOtherShare = Decoys(otherShare);
    MakeFolders(tools + L"\\bin");
    ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (tools + L"\\bin\\shortcutsweep.exe").c_str(), FALSE));
    EXPECT_EQ(
        RunProgramIn(root_.path(), L"\\\\vantrel-test\\tools\\bin\\shortcutsweep.exe", L"/noproduction"), 0);
    for (const std::wstring& decoy : onOtherShare) {
        EXPECT_TRUE(Exists(decoy)) << testing::PrintToString(decoy) << ": another share";
    }
    RemoveTree(tools);
    RemoveTree(otherShare);
}

// Wine gives a program started from a share the module name
// UNC\server\share\..., which taken as it is names a folder below the
// current one.
TEST_F(SweepEndToEnd, AProgramStartedFromAShareSweepsTheShareFolderItLiesIn) {
    const std::wstring share = WineShareFolder(L"vantrel-test", L"apps");
    if (share.empty()) {
        GTEST_SKIP() << "no share to start the program from outside Wine";
    }
    MakeFolders(share + L"\\bin");
    ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (share + L"\\bin\\shortcutsweep.exe").c_str(), FALSE));
    const std::wstring listed = Shortcut(L"listed.url");
    Manifest(share + L"\\bin", L"en", {listed});
    TempFolder work(L"work");
    const std::vector<std::wstring> decoys = Decoys(work / L"UNC\\vantrel-test\\apps\\bin");

    EXPECT_EQ(RunProgramIn(work.path(), L"\\\\vantrel-test\\apps\\bin\\shortcutsweep.exe", L""), 0);

    EXPECT_FALSE(Exists(listed));
    EXPECT_FALSE(Exists(share + L"\\bin\\__shortcutsweep-en.ini"));
    for (const std::wstring& decoy : decoys) {
        EXPECT_TRUE(Exists(decoy)) << testing::PrintToString(decoy);
    }
    RemoveTree(share);
}

// Wine reports a folder whose name ends in a blank or a dot without them:
// its own final path names the twin folder beside it, or none, while the
// files in it report the name whole. Such a folder's final path decides
// nothing, and beside a twin nothing in it goes: links into the twin never
// take their targets, and its own files stay with them, as another name is
// spelled like it. Alone, such a folder works as any other, for lines, for
// the program's own folder and for the log's.
TEST_F(SweepEndToEnd, AFolderReportedWithoutItsLastBlankOrDotDecidesNothing) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such folders";
    }
    const std::string links = UnixPathOf(root_ / L"Links");
    ASSERT_TRUE(RunUnixCommand({"/bin/mkdir", "-p", links + "/Blank ", links + "/Blank", links + "/Dot.",
                                links + "/Dot", links + "/Logs ", links + "/Logs"}));
    for (const wchar_t* name : {L"Blank \\own.url", L"Blank \\wild.url", L"Blank\\v1.url", L"Blank\\v2.url",
                                L"Dot\\d1.url", L"Dot\\d2.url"}) {
        WriteBytes(Links(name), kShortcutBody);
    }
    // Links into the twins, each by the name it has there; a folder link
    // that is the way to Dot. , whose name no Windows path keeps.
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "../Blank/v1.url", links + "/Blank /v1.url"}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "../Blank/v2.url", links + "/Blank /v2.url"}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "../Dot/d1.url", links + "/Dot./d1.url"}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "../Dot/d2.url", links + "/Dot./d2.url"}));
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "Dot.", links + "/D"}));
    // The log: a link in Logs  to a file of its twin, which must stay empty.
    WriteBytes(Links(L"Logs\\tools.log"), "");
    ASSERT_TRUE(RunUnixCommand({"/bin/ln", "-s", "../Logs/tools.log", links + "/Logs /tools.log"}));
    Manifest(Bin(), L"en",
             {Links(L"Blank \\own.url"), Links(L"Blank \\v1.url"), Links(L"Blank \\*.url"),
              Links(L"D\\d1.url"), Links(L"D\\*.url")});
    const Tree before = Snapshot(root_.path());

    std::string text;
    if (!g_checkExe.empty()) {
        // Links are no trap of the manifest's: no finding.
        EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Bin() + L"\"", text), 0);
    }
    {
        LogVariable variable(Links(L"Logs \\tools.log"));
        Sweep();
    }
    const std::set<std::wstring> expected = {ManifestPath(Bin(), L"en")};
    EXPECT_EQ(Removed(before, Snapshot(root_.path())), expected)
        << "the twins' files, the links to them and the files beside the links stay";
    EXPECT_EQ(ReadWholeFile(Links(L"Logs\\tools.log")), "") << "never the log through a link into the twin";

    // sweepcheck says the same.
    if (!g_checkExe.empty()) {
        const std::wstring link = L" (reached through a link to another file)";
        for (const std::wstring& kept : {Links(L"Blank \\v1.url"), Links(L"Blank \\v2.url")}) {
            EXPECT_NE(text.find(Utf8(L"kept " + kept + link)), std::string::npos) << Utf8(kept) << "\n"
                                                                                  << text;
        }
        EXPECT_NE(text.find(Utf8(L"kept " + Links(L"Blank \\own.url") + L" (another name in " + root_.path() +
                                 L"\\Links is spelled the same)")),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find(Utf8(L"would delete " + Links(L"D\\"))), std::string::npos) << text;
    }

    // The program in a folder whose name ends in a blank, and no twin
    // beside it, sweeps its own manifests, and a log in such a folder is
    // written.
    const std::wstring tool = root_ / L"Apps\\Alone ";
    ASSERT_TRUE(RunUnixCommand({"/bin/mkdir", "-p", UnixPathOf(root_ / L"Apps") + "/Alone "}));
    ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (tool + L"\\shortcutsweep.exe").c_str(), FALSE));
    const std::wstring listed = Shortcut(L"listed.url");
    Manifest(tool, L"en", {listed});
    ASSERT_TRUE(RunUnixCommand({"/bin/mkdir", "-p", links + "/Alone "}));
    {
        LogVariable variable(Links(L"Alone \\real.log"));
        EXPECT_EQ(RunProgram(tool + L"\\shortcutsweep.exe", L""), 0);
    }
    EXPECT_FALSE(Exists(listed));
    EXPECT_FALSE(Exists(ManifestPath(tool, L"en")));
    EXPECT_TRUE(Holds(ReadLog(Links(L"Alone \\real.log")), L"shortcutsweep 1.00"));
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

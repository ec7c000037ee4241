// Runs the built shortcutsweep.exe over real folder trees.
//
// Usage: sweep_end_to_end_tests <path of shortcutsweep.exe> [gtest options]
#include <gtest/gtest.h>

#include <initializer_list>

#include "TestSupport.h"

using namespace testing_support;

namespace {

std::wstring g_sweepExe;

constexpr std::string_view kShortcutBody = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";

// An install: the program in Apps\Vendor\Tool\bin, the development
// manifests in Apps\Vendor\ZV, shortcuts under Links.
class SweepEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { InstallIn(L"Apps\\Vendor\\Tool\\bin"); }

    void InstallIn(std::wstring_view relativeBin) {
        bin_ = root_ / relativeBin;
        MakeFolders(bin_);
        ASSERT_TRUE(::CopyFileW(g_sweepExe.c_str(), (bin_ + L"\\shortcutsweep.exe").c_str(), FALSE))
            << "copying " << testing::PrintToString(g_sweepExe);
    }

    std::wstring Bin() const { return bin_; }
    std::wstring Dev() const { return root_ / L"Apps\\Vendor\\ZV"; }
    std::wstring Links(std::wstring_view name = L"") const {
        return root_ / (L"Links\\" + std::wstring(name));
    }

    std::wstring Shortcut(std::wstring_view name) {
        std::wstring path = Links(name);
        WriteBytes(path, kShortcutBody);
        return path;
    }

    // A manifest whose lines each end in CR LF, unless `last` is given,
    // which follows the final CR LF unterminated.
    static void Manifest(const std::wstring& folder, std::wstring_view lang,
                         std::initializer_list<std::wstring> lines, std::wstring_view last = L"") {
        std::wstring text;
        for (const std::wstring& line : lines) {
            text += line + L"\r\n";
        }
        text += last;
        WriteUtf8(ManifestPath(folder, lang), text);
    }
    static std::wstring ManifestPath(const std::wstring& folder, std::wstring_view lang) {
        return folder + L"\\__shortcutsweep-" + std::wstring(lang) + L".ini";
    }

    void Sweep(std::wstring_view arguments = L"") {
        EXPECT_EQ(RunProgram(bin_ + L"\\shortcutsweep.exe", arguments), 0)
            << "the sweep always ends normally";
    }

    TempFolder root_{L"sweep"};
    std::wstring bin_;
};

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
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        std::wstring dev = Shortcut(L"dev.url");
        std::wstring production = Shortcut(L"production.url");
        Manifest(Dev(), L"fr", {dev});
        Manifest(Bin(), L"fr", {production});
        WriteBytes(Dev() + L"\\__shortcutsweep.bat", "");

        Sweep(arguments);

        EXPECT_FALSE(Exists(dev));
        EXPECT_FALSE(Exists(ManifestPath(Dev(), L"fr")));
        EXPECT_FALSE(Exists(Dev() + L"\\__shortcutsweep.bat"));
        EXPECT_TRUE(Exists(production));
        EXPECT_TRUE(Exists(ManifestPath(Bin(), L"fr")));
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

std::wstring AliasOf(const std::wstring& path) {
    wchar_t alias[MAX_PATH] = L"";
    const DWORD length = ::GetShortPathNameW(path.c_str(), alias, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(alias, length) : std::wstring();
}

// The alias with its extension in lower case, as a manifest line must end.
std::wstring AliasLine(const std::wstring& path) {
    std::wstring alias = AliasOf(path);
    if (alias.size() > 4) {
        alias.replace(alias.size() - 4, 4, L".url");
    }
    return alias;
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

TEST_F(SweepEndToEnd, LinesThatCouldNameAnotherFileDeleteNothing) {
    std::wstring secret = Shortcut(L"secret.txt");
    std::wstring elsewhere = Shortcut(L"other\\target.url");
    std::wstring besideProgram = Bin() + L"\\relative.url";
    WriteBytes(besideProgram, kShortcutBody);
    const std::wstring links = Links();
    Manifest(Bin(), L"en",
             {L"relative.url", L".\\relative.url", L"..\\bin\\relative.url",
              links.substr(0, 2) + L"relative.url", links.substr(2) + L"other\\target.url",
              Links(L"secret.txt:x.url"), L"\\\\.\\" + Links(L"other\\target.url"),
              L"//?/" + Links(L"other/target.url"), L"\\\\?\\" + Links(L"sub\\..\\other\\target.url"),
              Links(L"*\\target.url"), Links(L"other..\\target.url")});

    Sweep();

    for (const std::wstring& kept : {secret, elsewhere, besideProgram}) {
        EXPECT_TRUE(Exists(kept)) << testing::PrintToString(kept);
    }
    EXPECT_FALSE(Exists(ManifestPath(Bin(), L"en")));
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

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s <path of shortcutsweep.exe> [gtest options]\n", argv[0]);
        return 2;
    }
    g_sweepExe = FromCommandLinePath(argv[1]);
    return RUN_ALL_TESTS();
}

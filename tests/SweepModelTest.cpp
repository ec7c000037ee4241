// The model of the sweep's rules (SweepModel.h) checked against cases
// worked out by hand, so that it cannot drift into agreeing with a faulty
// sweep. Built into sweep_property_tests (see SweepPropertyTest.cpp).
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/SweepModel.h"
#include "tests/support/TestSupport.h"

using namespace sweep_model;
using namespace testing_support;

namespace {

TEST(SweepModel, ActsOnFullPathsEndingInUrlAsWindowsReadsThem) {
    const std::pair<const wchar_t*, const wchar_t*> read[] = {
        {L"C:\\a\\b.url", L"C:\\A"},
        {L"c:/a/b*.url", L"C:\\A"},
        {L"\\\\?\\C:\\a\\?.url", L"C:\\A"},
        {L"\\\\srv\\share\\b.url", L"\\\\SRV\\SHARE"},
        {L"\\\\?\\UNC\\srv\\share\\b.url", L"\\\\SRV\\SHARE"},
        {L"\\\\?\\unc\\srv\\share\\b.url", L"\\\\SRV\\SHARE"},
        {L"C:\\b.url", L"C:"},
        {L"C:\\a\\\\b.url", L"C:\\A"},
        {L"C:\\x\\..\\a\\.\\b.url", L"C:\\A"},
        {L"C:\\a.\\b.url", L"C:\\A"},
        {L"C:\\a \\b.url", L"C:\\A "},
        {L"\\\\srv\\share\\x\\..\\b.url", L"\\\\SRV\\SHARE"},
    };
    for (const auto& [line, folder] : read) {
        std::optional<ModelTarget> target = TargetOf(line);
        ASSERT_TRUE(target) << testing::PrintToString(std::wstring(line));
        EXPECT_EQ(target->folder, folder) << testing::PrintToString(std::wstring(line));
    }
    for (const wchar_t* line : {L"C:\\a\\b.URL",
                                L"C:\\a\\b.url ",
                                L"b.url",
                                L"C:b.url",
                                L"\\a\\b.url",
                                L"C:\\..\\b.url",
                                L"C:\\a\\..\\..\\b.url",
                                L"\\\\srv\\share\\..\\b.url",
                                L"C:\\a..\\b.url",
                                L"\\\\?\\C:\\a\\..\\b.url",
                                L"\\\\?\\C:\\.\\b.url",
                                L"\\\\?\\C:\\a\\\\b.url",
                                L"\\\\?\\C:\\a.\\b.url",
                                L"\\\\?\\C:\\a/b.url",
                                L"//?/C:/b.url",
                                L"C:\\a\\x.txt:b.url",
                                L"C:\\a\\b\tc.url",
                                L"C:\\a*\\b.url",
                                L"C:\\a?\\..\\b.url",
                                L"\\\\.\\C:\\b.url",
                                L"\\\\?\\GLOBALROOT\\b.url",
                                L"\\??\\C:\\b.url",
                                L"\\\\?\\unix\\tmp\\b.url",
                                L"\\\\srv\\b.url",
                                L"\\\\?\\UNC\\srv\\b.url",
                                L"C:\\a\\b<.url",
                                L"C:\\a\\b>.url",
                                L"C:\\a\\b\".url",
                                L"C:\\a\\b|.url",
                                L"\uFEFFC:\\b.url"}) {
        EXPECT_FALSE(TargetOf(line)) << testing::PrintToString(std::wstring(line));
    }
}

TEST(SweepModel, MatchesWholeNamesWithStarAndQuestionMarksAsWindowsReadsThem) {
    EXPECT_TRUE(ModelGlob(L"A.URL", L"A.URL"));
    EXPECT_TRUE(ModelGlob(L"AB.URL", L"A?.URL"));
    EXPECT_TRUE(ModelGlob(L"A.URL", L"A?.URL"));
    EXPECT_FALSE(ModelGlob(L"ABC.URL", L"A?.URL"));
    EXPECT_FALSE(ModelGlob(L"A.B.URL", L"A?B.URL"));
    EXPECT_TRUE(ModelGlob(L"A.B.URL", L"A?*.URL"));
    EXPECT_TRUE(ModelGlob(L".URL", L"*.URL"));
    EXPECT_TRUE(ModelGlob(L"A.B.URL", L"*.URL"));
    EXPECT_FALSE(ModelGlob(L"A.URLX", L"*.URL"));
    EXPECT_TRUE(ModelGlob(L"AXXBXXC", L"A*B*C"));
    EXPECT_FALSE(ModelGlob(L"AXXBXX", L"A*B*C"));
    EXPECT_TRUE(ModelGlob(L"", L"**"));
    EXPECT_TRUE(ModelGlob(L"", L"?"));
    EXPECT_EQ(Fold(L"r\u00E9sum\u00E9 \uFF41.url"), L"R\u00C9SUM\u00C9 \uFF21.URL");
}

TEST(SweepModel, ALinkIsNeverDeletedNorItsTargetThroughItButAFolderLinkIsAWayIn) {
    const Tree before = {
        {L"C:\\bin", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\bin\\__shortcutsweep-en.ini", 0},
        {L"C:\\bin\\__shortcutsweep-de.ini", 0},  // a link to other.ini
        {L"C:\\bin\\__shortcutsweep.bat", 0},     // a link to x.bat
        {L"C:\\L", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\a.url", 0},  // a link to C:\O\a.url
        {L"C:\\L\\b.url", 0},  // a link to C:\O\b.url
        {L"C:\\L\\real.url", 0},
        {L"C:\\L\\D", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},  // a link to C:\R
        {L"C:\\O", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\O\\a.url", 0},
        {L"C:\\O\\b.url", 0},
        {L"C:\\O\\other.ini", 0},
        {L"C:\\O\\x.bat", 0},
        {L"C:\\R", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\R\\in.url", 0},
    };
    CaseLinks links;
    links.files = {{L"C:\\bin\\__shortcutsweep-de.ini", L"C:\\O\\other.ini"},
                   {L"C:\\bin\\__shortcutsweep.bat", L"C:\\O\\x.bat"},
                   {L"C:\\L\\a.url", L"C:\\O\\a.url"},
                   {L"C:\\L\\b.url", L"C:\\O\\b.url"}};
    links.folders = {{L"C:\\L\\D", L"C:\\R"}};
    const std::string en = Utf8(L"\uFEFFC:\\L\\*.url\r\nC:\\L\\D\\in.url\r\nC:\\O\\b.url\r\n");
    const std::string de = Utf8(L"\uFEFFC:\\O\\a.url\r\n");
    const std::map<std::wstring, WrittenManifest> written = {{L"C:\\BIN\\__SHORTCUTSWEEP-EN.INI", en},
                                                             {L"C:\\O\\OTHER.INI", de}};
    std::map<std::wstring, std::wstring> why;
    const std::set<std::wstring> expected = {L"C:\\bin\\__shortcutsweep-en.ini", L"C:\\L\\real.url",
                                             L"C:\\R\\in.url", L"C:\\O\\b.url",
                                             L"C:\\L\\b.url"};  // its target went: no listing shows it
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\bin", written, links, why), expected);
}

TEST(SweepModel, InAFolderReportedOtherwiseOnlyTheExactNameOfTheFolderReachesAFile) {
    const Tree before = {
        {L"C:\\bin", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\bin\\__shortcutsweep-en.ini", 0},
        {L"C:\\L", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\Home ", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\Home \\a.url", 0},
        {L"C:\\L\\Home \\b.url", 0},
        {L"C:\\L\\Home \\t.url", 0},  // a link to C:\T\t.url
        {L"C:\\L\\Dot.", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\Dot.\\d.url", 0},
        {L"C:\\L\\D", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},  // a link to C:\L\Dot.
        {L"C:\\T", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\T\\t.url", 0},
    };
    CaseLinks links;
    links.files = {{L"C:\\L\\Home \\t.url", L"C:\\T\\t.url"}};
    links.folders = {{L"C:\\L\\D", L"C:\\L\\DOT."}};
    const std::string en = Utf8(
        L"\uFEFFc:\\L\\Home \\a.url\r\nC:\\l\\home \\b.url\r\nC:\\L\\Home \\*.url\r\n"
        L"C:\\L\\D\\d.url\r\nC:\\L\\Home .\\t.url\r\n");
    const std::map<std::wstring, WrittenManifest> written = {{L"C:\\BIN\\__SHORTCUTSWEEP-EN.INI", en}};
    std::map<std::wstring, std::wstring> why;
    // b.url: named in other letter case; d.url: through a link; t.url: a
    // link stays, and Home .\ is Home \ , where its target is not.
    const std::set<std::wstring> expected = {L"C:\\bin\\__shortcutsweep-en.ini", L"C:\\L\\Home \\a.url",
                                             L"C:\\L\\Home \\b.url"};
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\bin", written, links, why), expected)
        << "the wildcard line names the folder exactly, and b.url goes by it";
    const std::string exactOnly = Utf8(L"\uFEFFC:\\l\\home \\b.url\r\nC:\\L\\D\\*.url\r\n");
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\bin", {{L"C:\\BIN\\__SHORTCUTSWEEP-EN.INI", exactOnly}},
                             links, why),
              std::set<std::wstring>{L"C:\\bin\\__shortcutsweep-en.ini"});
}

TEST(SweepModel, AFileGoesOnlyWhereEachPieceOfItsPathIsTheOneNameOfItsSpelling) {
    const Tree before = {
        {L"C:\\bin", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\bin\\__shortcutsweep-en.ini", 0},
        {L"C:\\L", FILE_ATTRIBUTE_DIRECTORY},
        // D. is reported as D, its twin.
        {L"C:\\L\\D", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\D\\a.url", 0},
        {L"C:\\L\\D\\b.url", 0},  // a link to C:\L\D.\b.url, reported as C:\L\D\b.url
        {L"C:\\L\\D.", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\D.\\b.url", 0},
        {L"C:\\L\\D.\\c.url", 0},
        {L"C:\\L\\V", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},  // a link to C:\L\D.
        // "E ." is reported as "E ", its twin.
        {L"C:\\L\\E ", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\E \\e.url", 0},
        {L"C:\\L\\E .", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\E .\\e.url", 0},
        // Alone, a folder ending in a blank is reported as named.
        {L"C:\\L\\K ", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\K \\k.url", 0},
        // "sub\z.url" is one name in F, reported as z.url in F\sub.
        {L"C:\\L\\F", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\F\\g.url", 0},
        {L"C:\\L\\F\\sub", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\F\\sub\\h.url", 0},
        {L"C:\\L\\F\\sub\\z.url", 0},
        // Names in other letter case are other names.
        {L"C:\\L\\G", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\G\\n.url", 0},
        {L"C:\\L\\G\\N.URL", 0},
        {L"C:\\L\\G\\k.url", 0},
        {L"C:\\L\\G\\K.url", 0},  // a link to k.url
        {L"C:\\L\\G\\y.url", 0},
        // A folder on the way with a twin.
        {L"C:\\L\\H", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\H\\deep", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\H\\deep\\m.url", 0},
        {L"C:\\L\\H.", FILE_ATTRIBUTE_DIRECTORY},
        // "q.url\r" is one name in J, spelled like q.url.
        {L"C:\\L\\J", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\J\\q.url", 0},
        {L"C:\\L\\J\\q.url\\r", 0},
        {L"C:\\L\\J\\s.url", 0},
        // P. is reported as P, which is not there: W leads below it.
        {L"C:\\L\\P.", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\P.\\sub", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\P.\\sub\\p.url", 0},
        {L"C:\\L\\W", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},  // a link to C:\L\P.\sub
    };
    CaseLinks links;
    links.files = {{L"C:\\L\\D\\b.url", L"C:\\L\\D.\\b.url"}, {L"C:\\L\\G\\K.url", L"C:\\L\\G\\k.url"}};
    links.folders = {{L"C:\\L\\V", L"C:\\L\\D."}, {L"C:\\L\\W", L"C:\\L\\P.\\SUB"}};
    links.backslashed = {{L"C:\\L\\F\\sub\\z.url", L"C:\\L\\F"}, {L"C:\\L\\J\\q.url\\r", L"C:\\L\\J"}};
    const std::string en = Utf8(
        L"\uFEFFC:\\L\\D\\*.url\r\nC:\\L\\V\\*.url\r\nC:\\L\\E \\*.url\r\nC:\\L\\E .\\e.url\r\n"
        L"C:\\L\\K \\k.url\r\nC:\\L\\F\\*.url\r\nC:\\L\\F\\sub\\*.url\r\nC:\\L\\G\\*.url\r\n"
        L"C:\\L\\H\\deep\\m.url\r\nC:\\L\\J\\*.url\r\nC:\\L\\W\\p.url\r\n");
    const std::map<std::wstring, WrittenManifest> written = {{L"C:\\BIN\\__SHORTCUTSWEEP-EN.INI", en}};
    std::map<std::wstring, std::wstring> why;
    std::set<std::wstring> spelledAlike;
    const std::set<std::wstring> expected = {L"C:\\bin\\__shortcutsweep-en.ini", L"C:\\L\\K \\k.url",
                                             L"C:\\L\\F\\g.url", L"C:\\L\\G\\y.url", L"C:\\L\\J\\s.url"};
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\bin", written, links, why, &spelledAlike), expected);
    // Through V, D.'s files are kept as in a folder reported otherwise.
    const std::set<std::wstring> kept = {
        L"C:\\L\\D\\a.url",       L"C:\\L\\E \\e.url", L"C:\\L\\F\\sub\\h.url",
        L"C:\\L\\G\\n.url",       L"C:\\L\\G\\N.URL",  L"C:\\L\\G\\k.url",
        L"C:\\L\\H\\deep\\m.url", L"C:\\L\\J\\q.url",  L"C:\\L\\P.\\sub\\p.url"};
    EXPECT_EQ(spelledAlike, kept);
}

TEST(SweepModel, AManifestOrBatchFileSpelledLikeAnotherIsLeftAloneWithItsLines) {
    Tree before = {
        {L"C:\\A", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\A\\bin", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\A\\bin\\__shortcutsweep-en.ini", 0},
        {L"C:\\A\\bin\\__shortcutsweep-de.ini", 0},
        {L"C:\\A\\bin\\__Shortcutsweep-DE.ini", 0},
        {L"C:\\A\\bin\\__shortcutsweep.bat", 0},
        {L"C:\\A\\bin ", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L", FILE_ATTRIBUTE_DIRECTORY},
        {L"C:\\L\\a.url", 0},
        {L"C:\\L\\b.url", 0},
    };
    const std::map<std::wstring, WrittenManifest> written = {
        {L"C:\\A\\BIN\\__SHORTCUTSWEEP-EN.INI", Utf8(L"\uFEFFC:\\L\\a.url\r\n")},
        {L"C:\\A\\BIN\\__SHORTCUTSWEEP-DE.INI", Utf8(L"\uFEFFC:\\L\\b.url\r\n")}};
    std::map<std::wstring, std::wstring> why;
    std::set<std::wstring> spelledAlike;
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\A\\bin", written, {}, why, &spelledAlike),
              std::set<std::wstring>{});
    EXPECT_EQ(spelledAlike, (std::set<std::wstring>{L"C:\\A\\bin\\__Shortcutsweep-DE.ini",
                                                    L"C:\\A\\bin\\__shortcutsweep-en.ini",
                                                    L"C:\\A\\bin\\__shortcutsweep.bat"}))
        << "the first manifest of a name in the tree's order is the one looked at";
    before.erase(L"C:\\A\\bin ");
    EXPECT_EQ(ModelDeletions(before, L"C:", L"C:\\A\\bin", written, {}, why),
              (std::set<std::wstring>{L"C:\\A\\bin\\__shortcutsweep-en.ini",
                                      L"C:\\A\\bin\\__shortcutsweep.bat", L"C:\\L\\a.url"}));
}

TEST(SweepModel, CutsOnlyAtCrLfAndNeverTakesTheLastPiece) {
    using Lines = std::vector<std::wstring>;
    EXPECT_EQ(ModelLines(L""), Lines{});
    EXPECT_EQ(ModelLines(L"a.url"), Lines{});
    EXPECT_EQ(ModelLines(L"a\r\nb\nc\rd\r\ne"), (Lines{L"a", L"b\nc\rd"}));
    EXPECT_EQ(ModelLines(L"\r\n\r\n"), (Lines{L"", L""}));
}

}  // namespace

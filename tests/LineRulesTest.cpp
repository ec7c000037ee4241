// The sweep's line rules: the line split, and which listed lines may lead
// to a deletion.
#include <gtest/gtest.h>

#include "sweep/modLineRules.h"

using namespace vantrel;
using namespace vantrel::sweep;

namespace {

std::vector<std::wstring> Pieces(const LineList& list) {
    std::vector<std::wstring> out;
    for (size_t i = 0; i < list.size(); ++i) {
        out.emplace_back(list[i]);
    }
    return out;
}

using Lines = std::vector<std::wstring>;

TEST(LineSplit, CutsAtEveryCrLfAndKeepsEveryPiece) {
    EXPECT_EQ(Pieces(LineList::Split(L"")), Lines{});
    EXPECT_EQ(Pieces(LineList::Split(L"a")), Lines{L"a"});
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\n")), (Lines{L"a", L""}));
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\nb")), (Lines{L"a", L"b"}));
    EXPECT_EQ(Pieces(LineList::Split(L"\r\n\r\n")), (Lines{L"", L"", L""}));
    EXPECT_EQ(Pieces(LineList::Split(L"a\r\r\n\nb\r\n")), (Lines{L"a\r", L"\nb", L""}));
}

TEST(LineSplit, LoneLineFeedsAndCarriageReturnsAreNotSeparators) {
    EXPECT_EQ(Pieces(LineList::Split(L"a\nb\rc\n")), Lines{L"a\nb\rc\n"});
}

TEST(LineSplit, OneEmptyLineIsOnePieceOfNothing) { EXPECT_EQ(Pieces(LineList::OneEmptyLine()), Lines{L""}); }

TEST(LineSplit, SurvivesCopyAndMove) {
    // Short lines live inside the string object itself; the pieces must
    // still point into the right text after the list moves.
    LineList original = LineList::Split(L"ab\r\ncd");
    LineList copied = original;
    LineList moved = std::move(original);
    EXPECT_EQ(Pieces(copied), (Lines{L"ab", L"cd"}));
    EXPECT_EQ(Pieces(moved), (Lines{L"ab", L"cd"}));
}

std::wstring Target(std::wstring_view line) {
    std::optional<std::wstring> target = ShortcutPathToDelete(line);
    return target ? *target : L"<none>";
}

// The same full path is an entry before the last CR LF and never after it.
TEST(DecideLine, ThePieceAfterTheLastCrLfIsNeverAnEntry) {
    const LineList lines = LineList::Split(L"C:\\L\\a.url\r\nC:\\L\\a.url");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(DecideLine(lines, 0).action, LineAction::Examine);
    const LineDecision last = DecideLine(lines, 1);
    EXPECT_EQ(last.action, LineAction::Ignore);
    EXPECT_EQ(last.ignored, IgnoredBecause::LastPiece);
}

TEST(ShortcutPathToDelete, FullPathsAreReadAsWindowsNormalisesThem) {
    const std::pair<const wchar_t*, const wchar_t*> read[] = {
        {L"C:\\Links\\a.url", L"\\\\?\\C:\\Links\\a.url"},
        {L"z:\\a.url", L"\\\\?\\z:\\a.url"},
        {L"C:/Links/a.url", L"\\\\?\\C:\\Links\\a.url"},
        {L"C:\\Links\\\\Vantrel Home.url", L"\\\\?\\C:\\Links\\Vantrel Home.url"},
        {L"C:\\\\\\Links//a.url", L"\\\\?\\C:\\Links\\a.url"},
        {L"C:\\Program Files\\Vantrel\\bin\\..\\Links\\a.url",
         L"\\\\?\\C:\\Program Files\\Vantrel\\Links\\a.url"},
        {L"C:\\a\\b\\..\\..\\c\\.\\a.url", L"\\\\?\\C:\\c\\a.url"},
        {L"C:\\Links.\\a.url", L"\\\\?\\C:\\Links\\a.url"},   // one trailing dot of a folder goes
        {L"C:\\Links \\a.url", L"\\\\?\\C:\\Links \\a.url"},  // a trailing blank stays
        {L"C:\\a\\.x\\..x\\b.url", L"\\\\?\\C:\\a\\.x\\..x\\b.url"},
        {L"\\\\server\\share\\a.url", L"\\\\?\\UNC\\server\\share\\a.url"},
        {L"//server/share/d/../a.url", L"\\\\?\\UNC\\server\\share\\a.url"},
        {L"\\\\server\\share\\d\\\\a.url", L"\\\\?\\UNC\\server\\share\\d\\a.url"},
        {L"C:\\\u30C7\u30B9\u30AF\\caf\u00E9 #1.url", L"\\\\?\\C:\\\u30C7\u30B9\u30AF\\caf\u00E9 #1.url"},
        {L"C:\\Users\\Public\\Desktop\\*.url", L"\\\\?\\C:\\Users\\Public\\Desktop\\*.url"},
        {L"C:\\d\\..\\?.url", L"\\\\?\\C:\\?.url"},
    };
    for (const auto& [line, path] : read) {
        EXPECT_EQ(Target(line), path) << testing::PrintToString(std::wstring(line));
    }
}

TEST(ShortcutPathToDelete, QuestionMarkPathsAreTakenLiterallyWithTheirPrefixInAnyCase) {
    EXPECT_EQ(Target(L"\\\\?\\C:\\Links\\a.url"), L"\\\\?\\C:\\Links\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\UNC\\server\\share\\d\\a.url"), L"\\\\?\\UNC\\server\\share\\d\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\unc\\server\\share\\a.url"), L"\\\\?\\UNC\\server\\share\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\Unc\\server\\share\\a.url"), L"\\\\?\\UNC\\server\\share\\a.url");
    EXPECT_EQ(Target(L"\\\\?\\C:\\Links \\a.url"), L"<none>");
    for (const wchar_t* literal :
         {L"\\\\?\\C:\\Links\\..\\a.url", L"\\\\?\\C:\\Links\\.\\a.url", L"\\\\?\\C:\\Links\\\\a.url",
          L"\\\\?\\C:\\Links.\\a.url", L"\\\\?\\C:\\Links/a.url", L"\\\\?\\UNC\\server\\a.url"}) {
        EXPECT_EQ(Target(literal), L"<none>") << testing::PrintToString(std::wstring(literal));
    }
}

TEST(ShortcutPathToDelete, RefusesLinesThatCouldNameAnotherFileAndSaysWhy) {
    const std::pair<const wchar_t*, const wchar_t*> refused[] = {
        {L"a.url", L"relative to the current folder"},
        {L"Links\\a.url", L"relative to the current folder"},
        {L"C:a.url", L"relative to the current folder of its drive"},
        {L"C:Links\\a.url", L"relative to the current folder of its drive"},
        {L"\\Links\\a.url", L"rooted on whatever drive is current"},
        {L"C:\\..\\a.url", L"a .. that climbs above the drive's root"},
        {L"C:\\Links\\..\\..\\a.url", L"a .. that climbs above the drive's root"},
        {L"\\\\server\\share\\..\\other\\a.url", L"a .. that climbs above the share"},
        {L"C:\\Links..\\a.url", L"a folder piece ending in more than one dot"},
        {L"C:\\...\\a.url", L"a folder piece ending in more than one dot"},
        {L"C:\\Links\\report.doc:x.url", L"a colon after the drive, which names a stream of a file"},
        {L"C:\\Links\\a.url:evil.url", L"a colon after the drive, which names a stream of a file"},
        {L"\\\\.\\C:\\Links\\a.url", L"a device path"},
        {L"//?/C:/Links/a.url", L"a device path"},
        {L"\\\\.\\pipe\\a.url", L"a device path"},
        {L"\\\\?\\GLOBALROOT\\Device\\x\\a.url", L"a device or volume path"},
        {L"\\\\?\\Volume{1234}\\a.url", L"a device or volume path"},
        {L"\\\\server\\a.url", L"a share path without a proper server and share name"},
        {L"\\\\?\\UNC\\server\\a.url", L"a share path without a share"},
        {L"C:\\Links\\CON.url", L"the system reads it as another path"},
        {L"C:\\Links\\a\x01.url", L"a control character"},
        {L"C:\\Li\tnks\\a.url", L"a control character"},
        {L"C:\\Links\\a|b.url", L"one of < > \" |"},
        {L"C:\\Links\\<a>.url", L"one of < > \" |"},
        {L"C:\\*\\a.url", L"a wildcard outside the final piece"},
        {L"C:\\d?\\..\\a.url", L"a wildcard outside the final piece"},
        {L"C:\\Links\\a.URL", L"does not end in .url"},
        {L"C:\\Links\\a.url ", L"does not end in .url"},
        {L"", L"does not end in .url"},
    };
    for (const auto& [line, why] : refused) {
        const ShortcutTarget target = CheckShortcutLine(line);
        EXPECT_EQ(target.path, L"") << testing::PrintToString(std::wstring(line));
        EXPECT_STREQ(target.refusal, why) << testing::PrintToString(std::wstring(line));
    }
}

}  // namespace

// sweepcheck's command line.
#include <gtest/gtest.h>

#include <vector>

#include "check/modOptions.h"

using namespace vantrel::check;

namespace {

// Parses an argument list given as texts, the program's name first.
bool Parse(std::vector<std::wstring> arguments, Options& options, std::wstring& error) {
    arguments.insert(arguments.begin(), L"sweepcheck.exe");
    std::vector<wchar_t*> argv;
    for (std::wstring& argument : arguments) {
        argv.push_back(argument.data());
    }
    return ParseArguments(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ParseArguments, TakesManifestFilesOrOneFolderAndEverythingElseForAPath) {
    Options options;
    std::wstring error;
    ASSERT_TRUE(Parse({L"--json", L"a.ini", L"B.INI"}, options, error)) << error;
    EXPECT_EQ(options.format, Format::Json);
    EXPECT_EQ(options.files, (std::vector<std::wstring>{L"a.ini", L"B.INI"}));
    Options folder;
    ASSERT_TRUE(Parse({L"/home/me/build", L"/NoProduction", L"--text-only"}, folder, error)) << error;
    EXPECT_EQ(folder.folder, L"/home/me/build") << "a Unix path is a path, not an option";
    EXPECT_TRUE(folder.development);
    EXPECT_EQ(folder.mode, Mode::TextOnly);
    for (const std::vector<std::wstring>& wrong : {std::vector<std::wstring>{L"a.ini", L"folder"},
                                                   {L"one", L"two"},
                                                   {L"/noproduction", L"a.ini"},
                                                   {L"--jsn"},
                                                   {L"--expect"},
                                                   {L"--ignore"}}) {
        Options ignored;
        EXPECT_FALSE(Parse(wrong, ignored, error)) << testing::PrintToString(wrong);
        EXPECT_FALSE(error.empty());
    }
}

TEST(ParseArguments, ReadsTheListsOfExpectAndIgnore) {
    Options options;
    std::wstring error;
    ASSERT_TRUE(Parse({L"--expect", L"EN,de,en", L"--ignore=question-mark,wildcard-matches-nothing", L"dir"},
                      options, error))
        << error;
    EXPECT_EQ(options.expected, (std::vector<std::wstring>{L"en", L"de"}))
        << "as the sweep spells them, once";
    EXPECT_EQ(options.ignored, (std::vector<Trap>{Trap::QuestionMark, Trap::WildcardMatchesNothing}));
    Options wrong;
    EXPECT_FALSE(Parse({L"--expect=en,it"}, wrong, error));
    EXPECT_NE(error.find(L"\"it\""), std::wstring::npos) << error;
    EXPECT_FALSE(Parse({L"--ignore", L"no-such-trap"}, wrong, error));
    EXPECT_NE(error.find(L"question-mark"), std::wstring::npos) << "the names there are: " << error;
}

}  // namespace

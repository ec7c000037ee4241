// The built sweepcheck.exe beside an install: the traps it names, the same
// in text and in JSON, its exit status as a gate in a build, and that it
// changes nothing. Built into sweep_end_to_end_tests, which is given
// sweepcheck.exe after shortcutsweep.exe; without it these tests are
// skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/SweepInstall.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

using namespace testing_support;

namespace {

class Sweepcheck : public SweepInstall {};

// The value of `"key":` in a JSON line: a string (unescaped) or a number.
std::wstring JsonValue(const std::wstring& line, const std::wstring& key) {
    size_t at = line.find(L"\"" + key + L"\":");
    if (at == std::wstring::npos) {
        return std::wstring();
    }
    at += key.size() + 3;
    if (line[at] != L'"') {
        return line.substr(at, line.find_first_of(L",}", at) - at);
    }
    std::wstring value;
    for (++at; at < line.size() && line[at] != L'"'; ++at) {
        if (line[at] == L'\\') {
            ++at;
        }
        value += line[at];
    }
    return value;
}

std::vector<std::wstring> OutputLines(const std::string& output) {
    std::vector<std::wstring> lines;
    const std::wstring text = Wide(output);
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST_F(Sweepcheck, SweepcheckNamesEveryTrapChangesNothingAndSaysTheSameInJson) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring good = Shortcut(L"good.url");
    Manifest(Bin(), L"en", {good, Links(L"upper.URL"), L"relative.url", Links(L"nothing\\*.url"), good},
             Links(L"last.url"));
    WriteUtf8(ManifestPath(Bin(), L"de"), good + L"\n", /*mark=*/false);
    WriteUtf8(ManifestPath(Bin(), L"fr"), good + L"\r" + good + L"\r\n");
    WriteUtf8(ManifestPath(Bin(), L"ja"), L"");
    const Tree before = Snapshot(root_.path());

    std::string text;
    std::string json;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Bin() + L"\"", text), 1);
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--json \"" + Bin() + L"\"", json), 1);
    EXPECT_EQ(Snapshot(root_.path()), before) << "sweepcheck changes nothing";

    // Findings and line outcomes, as (manifest, line, what) from each output.
    std::set<std::wstring> textFindings;
    std::set<std::wstring> textLines;
    std::wstring manifest;
    for (const std::wstring& line : OutputLines(text)) {
        if (line.compare(0, 9, L"manifest ") == 0) {
            manifest = line.substr(12, line.find(L".ini: ") + 4 - 12);
        } else if (line.compare(0, 7, L"  line ") == 0) {
            textLines.insert(manifest + L"|" + line.substr(7, line.find(L' ', 7) - 7) + L"|" +
                             line.substr(line.find(L"\": ") + 3));
        } else if (line.size() > 2 && line.back() == L']' && line.compare(0, 2, L"  ") == 0) {
            const size_t pathEnd = line.find(L".ini") + 4;
            const std::wstring where = line.compare(pathEnd, 6, L" line ") == 0
                                           ? line.substr(pathEnd + 6, line.find(L':', pathEnd) - pathEnd - 6)
                                           : L"0";
            textFindings.insert(line.substr(2, pathEnd - 2) + L"|" + where + L"|" +
                                line.substr(line.rfind(L'[') + 1, line.size() - line.rfind(L'[') - 2));
        }
    }
    std::set<std::wstring> jsonFindings;
    std::set<std::wstring> jsonLines;
    for (const std::wstring& line : OutputLines(json)) {
        const std::wstring kind = JsonValue(line, L"kind");
        if (kind == L"finding") {
            jsonFindings.insert(JsonValue(line, L"manifest") + L"|" + JsonValue(line, L"line") + L"|" +
                                JsonValue(line, L"trap"));
        } else if (kind == L"line") {
            jsonLines.insert(JsonValue(line, L"manifest") + L"|" + JsonValue(line, L"line") + L"|" +
                             JsonValue(line, L"outcome"));
        }
    }
    const std::wstring en = ManifestPath(Bin(), L"en");
    const std::set<std::wstring> expected = {
        en + L"|2|url-not-lower-case",
        en + L"|3|refused",
        en + L"|4|wildcard-matches-nothing",
        en + L"|5|same-line-twice",
        en + L"|6|last-entry-without-crlf",
        ManifestPath(Bin(), L"de") + L"|0|no-byte-order-mark",
        ManifestPath(Bin(), L"de") + L"|0|lf-line-ends",
        ManifestPath(Bin(), L"de") + L"|1|last-entry-without-crlf",
        ManifestPath(Bin(), L"fr") + L"|0|cr-line-ends",
        ManifestPath(Bin(), L"fr") + L"|1|refused",  // two lines run together, with a CR inside
        ManifestPath(Bin(), L"ja") + L"|0|empty-manifest",
    };
    EXPECT_EQ(jsonFindings, expected);
    EXPECT_EQ(textFindings, jsonFindings);
    EXPECT_EQ(textLines, jsonLines);
    EXPECT_TRUE(jsonLines.count(en + L"|1|would delete " + good)) << "the file it would delete, named";
    EXPECT_EQ(jsonLines.size(), 7u);  // six in en, one in fr, none in the manifests not read

    // A manifest without traps passes; a file that is not there, or a
    // wrong option, is an error of its own.
    WriteUtf8(Dev() + L"\\clean.ini", good + L"\r\n" + Links(L"*.url") + L"\r\n");
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Dev() + L"\\clean.ini\"", text), 0) << text;
    EXPECT_NE(text.find(Utf8(L"would delete " + good)), std::string::npos);
    EXPECT_TRUE(Exists(good));
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Dev() + L"\\none.ini\"", text), 2);
    {
        // Held open for writing, as by an installer still making it: the
        // sweep could not read it, and must not be said to do well.
        HANDLE held = ::CreateFileW((Dev() + L"\\clean.ini").c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Dev() + L"\\clean.ini\"", text), 1);
        EXPECT_NE(text.find("[manifest-not-read]"), std::string::npos) << text;
        ::CloseHandle(held);
    }
    // A read-only shortcut is never deleted, and sweepcheck says so before
    // the sweep runs (under Wine the system itself would refuse it too, so
    // only these words show the sweep's own rule).
    const std::wstring readOnly = Shortcut(L"kept.url");
    SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
    WriteUtf8(Dev() + L"\\read-only.ini", readOnly + L"\r\n");
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Dev() + L"\\read-only.ini\"", text), 0) << text;
    EXPECT_NE(text.find(Utf8(L"kept " + readOnly + L" (read-only)")), std::string::npos) << text;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--jsn", text), 2);
}

// The traps an installer author falls into, and sweepcheck as a gate in a
// build: the text alone decides, and the exit status and the last line
// always agree.
TEST_F(Sweepcheck, SweepcheckGatesABuildOnTheTextAloneAndNamesTheAuthorsTraps) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring build = root_ / L"build";
    // A correct manifest whose wildcard matches nothing on this machine.
    const std::wstring links = L"C:\\Users\\Public\\Desktop\\";
    WriteUtf8(build + L"\\__shortcutsweep-en.ini",
              links + L"Vantrel Home.url\r\n" + links + L"Vantrel no such name here*.url\r\n");
    std::string text;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only \"" + build + L"\"", text), 0) << text;
    EXPECT_NE(
        text.find("an entry: the sweep deletes what matches C:\\Users\\Public\\Desktop\\Vantrel no such name "
                  "here*.url"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("No findings"), std::string::npos);
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + build + L"\"", text), 1)
        << "on this machine it matches nothing";
    EXPECT_NE(text.find("[wildcard-matches-nothing]"), std::string::npos);
    // The gate on an install, for shortcuts the product adds later: that
    // trap silenced by name, a correct manifest passes, a wrong one not.
    const std::wstring installGate = L"--ignore wildcard-matches-nothing \"" + build + L"\"";
    EXPECT_EQ(RunProgramCapturing(g_checkExe, installGate, text), 0) << text;

    // Each trap of an author's, and a manifest of a language never read.
    WriteUtf8(build + L"\\__shortcutsweep-de.ini",
              L"\"" + links + L"Vantrel Hilfe.url\"\r\n" + links + L"Vantrel Hilfe.url \r\n" + links +
                  L"Vantrel Hilfe.url\t\r\n%PUBLIC%\\Desktop\\Vantrel Hilfe.url\r\n");
    WriteUtf8(build + L"\\__shortcutsweep-it.ini", links + L"Vantrel Aiuto.url\r\n");
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only --json \"" + build + L"\"", text), 1) << text;
    std::set<std::wstring> findings;
    for (const std::wstring& line : OutputLines(text)) {
        if (JsonValue(line, L"kind") == L"finding") {
            findings.insert(JsonValue(line, L"manifest").substr(build.size() + 1) + L"|" +
                            JsonValue(line, L"line") + L"|" + JsonValue(line, L"trap"));
        }
    }
    const std::set<std::wstring> expected = {
        L"__shortcutsweep-de.ini|1|line-in-quotes", L"__shortcutsweep-de.ini|2|trailing-blank",
        L"__shortcutsweep-de.ini|3|trailing-blank", L"__shortcutsweep-de.ini|4|environment-variable",
        L"__shortcutsweep-it.ini|0|unread-language"};
    EXPECT_EQ(findings, expected) << "a specific trap, not also a bare \"refused\"";
    EXPECT_EQ(RunProgramCapturing(g_checkExe, installGate, text), 1) << text;

    // A folder with none of the four: a gate pointed at the wrong folder.
    TempFolder empty(L"empty");
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only \"" + empty.path() + L"\"", text), 1) << text;
    EXPECT_NE(text.find("[no-manifests]"), std::string::npos) << text;

    // What cannot be checked exits 2, says why, and never "No findings".
    for (const std::wstring& arguments :
         {L"--text-only \"" + build + L"\\none.ini\"", L"\"" + build + L"\\none.ini\"",
          L"--text-only \"" + build + L"\\no such folder\""}) {
        EXPECT_EQ(RunProgramCapturing(g_checkExe, arguments, text), 2) << testing::PrintToString(arguments);
        EXPECT_EQ(text.find("No findings"), std::string::npos) << text;
        EXPECT_NE(text.find("Not checked: "), std::string::npos) << text;
        EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--json " + arguments, text), 2);
        EXPECT_NE(text.find("\"status\":2"), std::string::npos) << text;
    }
}

// The findings of sweepcheck --json, as "file name|line|trap", and the
// message of each.
std::map<std::wstring, std::wstring> JsonFindings(const std::string& output) {
    std::map<std::wstring, std::wstring> findings;
    for (const std::wstring& line : OutputLines(output)) {
        if (JsonValue(line, L"kind") == L"finding") {
            const std::wstring manifest = JsonValue(line, L"manifest");
            findings[manifest.substr(manifest.find_last_of(L'\\') + 1) + L"|" + JsonValue(line, L"line") +
                     L"|" + JsonValue(line, L"trap")] = JsonValue(line, L"message");
        }
    }
    return findings;
}

std::set<std::wstring> Keys(const std::map<std::wstring, std::wstring>& findings) {
    std::set<std::wstring> keys;
    for (const auto& [key, message] : findings) {
        keys.insert(key);
    }
    return keys;
}

// Text in the ANSI code page after the mark, the commonest way to write a
// manifest wrong: the sweep looks for names with U+FFFD in them and the
// real shortcut stays. Both modes say where, why, and what the sweep does.
TEST_F(Sweepcheck, SweepcheckFindsAnsiTextAfterTheMarkInBothModes) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring real = Shortcut(L"Gr\u00F6\u00DFe.url");
    const std::string first = Utf8(Links(L"a")) + "\xFF.url\r\n";
    const std::string second = Utf8(Links(L"Gr")) + "\xF6\xDF" + "e.url\r\n";
    WriteBytes(ManifestPath(Bin(), L"en"),
               "\xEF\xBB\xBF" + first + second + Utf8(Links(L"upper.URL")) + "\r\n");
    const std::map<std::wstring, std::wstring> offsets = {
        {L"1", std::to_wstring(3 + Utf8(Links(L"a")).size())},
        {L"2", std::to_wstring(3 + first.size() + Utf8(Links(L"Gr")).size())}};
    for (const std::wstring mode : {L"", L"--text-only "}) {
        std::string output;
        EXPECT_EQ(RunProgramCapturing(g_checkExe, mode + L"--json \"" + Bin() + L"\"", output), 1) << output;
        std::map<std::wstring, std::wstring> findings = JsonFindings(output);
        EXPECT_EQ(Keys(findings), (std::set<std::wstring>{L"__shortcutsweep-en.ini|1|invalid-utf-8",
                                                          L"__shortcutsweep-en.ini|2|invalid-utf-8",
                                                          L"__shortcutsweep-en.ini|3|url-not-lower-case"}))
            << output;
        for (const auto& [line, offset] : offsets) {
            const std::wstring message = findings[L"__shortcutsweep-en.ini|" + line + L"|invalid-utf-8"];
            EXPECT_NE(message.find(L"at byte offset " + offset + L" "), std::wstring::npos) << message;
            EXPECT_NE(message.find(L"text in an ANSI code page after a UTF-8 byte-order mark"),
                      std::wstring::npos);
            // What the sweep does with the line: it refuses it, here and
            // from its text alike, since U+FFFD would match other names.
            EXPECT_NE(message.find(L": refused (U+FFFD"), std::wstring::npos) << message;
        }
        // The suffix the sweep acts on, named as the sweep has it.
        EXPECT_NE(findings[L"__shortcutsweep-en.ini|3|url-not-lower-case"].find(
                      L"ends in \".URL\": the sweep acts only on lines ending in \".url\" in lower case"),
                  std::wstring::npos);
        RunProgramCapturing(g_checkExe, mode + L"\"" + Bin() + L"\"", output);
        EXPECT_EQ(output.find("No findings"), std::string::npos) << output;
    }
    Sweep();
    EXPECT_TRUE(Exists(real)) << "as sweepcheck said, the sweep looked for another name";
    EXPECT_FALSE(Exists(ManifestPath(Bin(), L"en")));
}

// A writer of the ANSI code page after the mark puts "?" for each character
// it cannot encode, and the sweep takes "?" as a wildcard: the line reaches
// another product's shortcut. Both modes name the trap and both readings;
// on this machine it also says what the line reaches. An author who means
// the wildcard silences the trap by name: shown, marked, not counted.
TEST_F(Sweepcheck, AQuestionMarkInTheLastPieceIsAFindingInBothModesUnlessSilencedByName) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring others = Shortcut(L"Acme Viewer abcd efgh.url");
    Manifest(Bin(), L"en", {Links(L"Acme Viewer ???? ????.url")});
    const std::wstring key = L"__shortcutsweep-en.ini|1|question-mark";
    for (const std::wstring mode : {L"", L"--text-only "}) {
        std::string output;
        EXPECT_EQ(RunProgramCapturing(g_checkExe, mode + L"--json \"" + Bin() + L"\"", output), 1) << output;
        std::map<std::wstring, std::wstring> findings = JsonFindings(output);
        EXPECT_EQ(Keys(findings), std::set<std::wstring>{key}) << output;
        EXPECT_NE(findings[key].find(L"a wildcard for one character"), std::wstring::npos) << findings[key];
        EXPECT_NE(findings[key].find(L"every character it cannot encode"), std::wstring::npos);
        EXPECT_EQ(findings[key].find(L"would delete " + others) != std::wstring::npos, mode.empty())
            << "what it reaches, on this machine only: " << findings[key];

        EXPECT_EQ(RunProgramCapturing(g_checkExe, mode + L"--json --ignore question-mark \"" + Bin() + L"\"",
                                      output),
                  0)
            << output;
        EXPECT_EQ(Keys(JsonFindings(output)), std::set<std::wstring>{key}) << output;
        EXPECT_NE(output.find("\"silenced\":true}"), std::string::npos) << output;
        EXPECT_NE(output.find("\"findings\":0,\"silenced\":1,"), std::string::npos) << output;
        EXPECT_EQ(RunProgramCapturing(
                      g_checkExe,
                      mode + L"--ignore=wildcard-matches-nothing,question-mark \"" + Bin() + L"\"", output),
                  0)
            << output;
        EXPECT_NE(output.find("No findings (1 silenced by --ignore)"), std::string::npos) << output;
    }
    std::string output;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--ignore question-marks \"" + Bin() + L"\"", output), 2)
        << output;
}

// UTF-16, little- or big-endian, with or without a mark, even after a
// UTF-8 mark: one mistake, one finding, and none about its lines.
TEST_F(Sweepcheck, SweepcheckGivesAUtf16ManifestOneFinding) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring text = Shortcut(L"a.url") + L"\r\n" + Shortcut(L"b.url") + L"\r\n";
    const auto utf16 = [&](bool bigEndian) {
        std::string bytes;
        for (const wchar_t c : text) {
            const char low = static_cast<char>(c & 0xFF);
            const char high = static_cast<char>(c >> 8);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    WriteBytes(ManifestPath(Bin(), L"en"), "\xFF\xFE" + utf16(false));
    WriteBytes(ManifestPath(Bin(), L"de"), utf16(false));
    WriteBytes(ManifestPath(Bin(), L"fr"), "\xFE\xFF" + utf16(true));
    WriteBytes(ManifestPath(Bin(), L"ja"), "\xEF\xBB\xBF" + utf16(false));
    std::set<std::wstring> expected;
    for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
        expected.insert(L"__shortcutsweep-" + std::wstring(lang) + L".ini|0|utf-16");
    }
    for (const std::wstring mode : {L"", L"--text-only "}) {
        std::string output;
        EXPECT_EQ(RunProgramCapturing(g_checkExe, mode + L"--json \"" + Bin() + L"\"", output), 1) << output;
        EXPECT_EQ(Keys(JsonFindings(output)), expected) << output;
    }
    Sweep();
    EXPECT_TRUE(Exists(Links(L"a.url")) && Exists(Links(L"b.url"))) << "the sweep acts on nothing in them";
}

// The gate can demand the whole set: without --expect one language is a
// set; with it, each named language that is absent is a finding.
TEST_F(Sweepcheck, SweepcheckExpectMakesAnAbsentLanguageAFinding) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring build = root_ / L"build";
    WriteUtf8(build + L"\\__shortcutsweep-ja.ini", L"C:\\Users\\Public\\Desktop\\Vantrel.url\r\n");
    std::string output;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only \"" + build + L"\"", output), 0) << output;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only --json --expect en,de,fr,ja \"" + build + L"\"",
                                  output),
              1);
    EXPECT_EQ(Keys(JsonFindings(output)),
              (std::set<std::wstring>{L"__shortcutsweep-en.ini|0|missing-language",
                                      L"__shortcutsweep-de.ini|0|missing-language",
                                      L"__shortcutsweep-fr.ini|0|missing-language"}))
        << output;
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--expect=JA --text-only \"" + build + L"\"", output), 0)
        << output;
    for (const std::wstring& wrong : {L"--expect en,it \"" + build + L"\"", L"--expect \"" + build + L"\"",
                                      L"--expect ja \"" + build + L"\\__shortcutsweep-ja.ini\""}) {
        EXPECT_EQ(RunProgramCapturing(g_checkExe, wrong, output), 2)
            << testing::PrintToString(wrong) << output;
    }
}

// An argument is an option only if sweepcheck knows it: a Unix path, which
// Wine opens, is a path. With --json a usage error still ends in a summary.
TEST_F(Sweepcheck, SweepcheckTakesEveryArgumentItDoesNotKnowForAPath) {
    if (g_checkExe.empty()) {
        GTEST_SKIP() << "no sweepcheck.exe given";
    }
    const std::wstring manifest = ManifestPath(Bin(), L"en");
    WriteUtf8(manifest, Shortcut(L"a.url") + L"\r\n");
    std::string output;
    if (RunningUnderWine()) {
        for (const std::wstring& unix : {Wide(UnixPathOf(manifest)), Wide(UnixPathOf(Bin()))}) {
            EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only \"" + unix + L"\"", output), 0) << output;
            EXPECT_NE(output.find(Utf8(manifest + L": found, read")), std::string::npos) << output;
        }
    }
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--json --bogus", output), 2);
    const std::vector<std::wstring> lines = OutputLines(output);
    const auto summary = std::find_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return JsonValue(line, L"kind") == L"summary";
    });
    ASSERT_NE(summary, lines.end()) << output;
    EXPECT_EQ(JsonValue(*summary, L"status"), L"2");
    EXPECT_NE(summary->find(L"\"trouble\":[\"usage: unknown option --bogus\"]"), std::wstring::npos)
        << *summary;
}

// A pipe in a manifest's place (a Unix FIFO, which Wine lists as a file)
// is no file on disk: nothing is read from it, it is kept, and sweepcheck
// says what the log says, rather than "would delete" or "lists nothing".
// Systems refuse a pipe at different steps and in their own words (Wine 8
// its deletion, Wine 10 already its final path); what is done, and the kind
// of reason given, must not differ.
TEST_F(Sweepcheck, APipeNamedAsAManifestIsKeptAndSweepcheckSaysSo) {
    if (!RunningUnderWine() || g_checkExe.empty()) {
        GTEST_SKIP() << "a named pipe in the file system is made with the Unix mkfifo, under Wine";
    }
    const std::wstring pipe = ManifestPath(Bin(), L"en");
    RunUnixCommand({"/bin/mkfifo", UnixPathOf(pipe)});
    const std::wstring unlisted = Shortcut(L"a.url");
    // Wine gives a pipe no attributes; the listing shows it.
    const auto listed = [&] {
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW(pipe.c_str(), &data);
        return find != INVALID_HANDLE_VALUE && ::FindClose(find);
    };
    for (int tries = 0; tries < 200 && !listed(); ++tries) {
        ::Sleep(10);
    }
    ASSERT_TRUE(listed());
    const Tree before = Snapshot(root_.path());
    const auto unchanged = [&](const char* after) {
        const Tree now = Snapshot(root_.path());
        EXPECT_EQ(Removed(before, now), std::set<std::wstring>()) << after;
        EXPECT_EQ(AddedOrChanged(before, now), std::set<std::wstring>()) << after;
    };
    TempFolder logs(L"logs");
    {
        LogVariable variable(logs / L"sweep.log");
        Sweep();
    }
    unchanged("the sweep");
    EXPECT_TRUE(listed());

    const std::wstring kept = L"kept (not a file on disk (a pipe or a device))";
    const std::wstring manifest = L"manifest en " + pipe + L": ";
    const LogLines log = ReadLog(logs / L"sweep.log");
    bool notRead = false;
    for (const std::wstring& line : log.text) {
        notRead = notRead || (line.compare(0, manifest.size(), manifest) == 0 &&
                              line.find(L"not read (") != std::wstring::npos &&
                              line.find(L"): no line is acted on") != std::wstring::npos);
    }
    EXPECT_TRUE(notRead) << "the reader's own message may differ between systems";
    EXPECT_TRUE(Holds(log, manifest + kept));

    std::string text;
    std::string json;
    std::string textOnly;
    // On this machine a manifest the sweep cannot read is a finding; the
    // text alone cannot be judged without it, so that check is incomplete.
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"\"" + Bin() + L"\"", text), 1);
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--json \"" + Bin() + L"\"", json), 1);
    EXPECT_EQ(RunProgramCapturing(g_checkExe, L"--text-only \"" + Bin() + L"\"", textOnly), 2);
    unchanged("sweepcheck");
    EXPECT_NE(text.find(Utf8(L"the manifest itself, afterwards: " + kept)), std::string::npos) << text;
    EXPECT_NE(text.find("[manifest-not-read]"), std::string::npos) << text;
    EXPECT_EQ(text.find("[empty-manifest]"), std::string::npos) << "nothing was read from it\n" << text;
    EXPECT_NE(textOnly.find(Utf8(L"Not checked: cannot read " + pipe)), std::string::npos) << textOnly;
    EXPECT_EQ(textOnly.find("[empty-manifest]"), std::string::npos) << textOnly;
    EXPECT_NE(json.find(Utf8(L"\"read\":false,")), std::string::npos) << json;
    EXPECT_NE(json.find(Utf8(L"\"itself\":\"" + kept + L"\"")), std::string::npos) << json;
    EXPECT_NE(json.find("\"trap\":\"manifest-not-read\""), std::string::npos) << json;
    EXPECT_TRUE(Exists(unlisted));
}

// A folder "T " beside T (Wine keeps the blank at a name's end; the system
// drops it from the last piece of a path it makes full): named with its
// blank, sweepcheck checks that folder, or refuses the name and says why;
// it never reports T's manifests as those of "T ".
TEST_F(Sweepcheck, AFolderNamedWithABlankAtItsEndIsCheckedAsNamedOrRefused) {
    if (!RunningUnderWine() || g_checkExe.empty()) {
        GTEST_SKIP() << "a folder whose name ends in a blank is made with the Unix mkdir, under Wine";
    }
    const std::wstring plain = root_ / L"T";
    const std::wstring blank = root_ / L"T ";
    MakeFolders(plain);
    ASSERT_TRUE(RunUnixCommand({"/bin/mkdir", UnixPathOf(root_.path()) + "/T "}));
    const std::wstring plainShortcut = Shortcut(L"plain.url");
    const std::wstring blankShortcut = Shortcut(L"blank.url");
    Manifest(plain, L"en", {plainShortcut});
    Manifest(blank, L"en", {blankShortcut});
    ASSERT_TRUE(RunUnixCommand(
        {"/bin/sh", "-c", "test -s \"$1/T /__shortcutsweep-en.ini\"", "sh", UnixPathOf(root_.path())}))
        << "the manifest is in \"T \"";
    // Both manifests are left alone (each folder's name is spelled like the
    // other's); what matters is which folder is looked at.
    std::string output;
    const long status = RunProgramCapturing(g_checkExe, L"\"" + blank + L"\"", output);
    EXPECT_EQ(output.find(Utf8(ManifestPath(plain, L"en"))), std::string::npos)
        << "the other folder's manifest\n"
        << output;
    const bool checkedAsNamed = output.find(Utf8(ManifestPath(blank, L"en"))) != std::string::npos;
    const bool refused = status == 2 && output.find("Not checked: ") != std::string::npos;
    EXPECT_TRUE(checkedAsNamed || refused) << "status " << status << "\n" << output;
}

}  // namespace

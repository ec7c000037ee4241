#include "check/modFindings.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string_view>

#include "common/modFiles.h"
#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modText.h"
#include "sweep/modOutcomeWords.h"
#include "sweep/modUTF8_FileIO.h"

namespace vantrel::check {

namespace {

void Add(CheckedManifest& manifest, Trap trap, size_t line, std::wstring message) {
    manifest.findings.push_back({trap, line, std::move(message)});
}

// How `file` is UTF-16, in words; empty when it is not. Without a mark,
// UTF-16 shows by its zero bytes: most characters of a path are ASCII, and
// each of them has a zero byte beside it, on the same side.
std::wstring Utf16Form(const sweep::FileBytes& file) {
    const sweep::ByteBuffer& bytes = file.bytes;
    if (!file.marked && bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return L"UTF-16 (little-endian, with its byte-order mark FF FE)";
    }
    if (!file.marked && bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return L"UTF-16 (big-endian, with its byte-order mark FE FF)";
    }
    size_t zeros[2] = {0, 0};  // at even and at odd offsets
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        zeros[0] += bytes[i] == 0 ? 1u : 0u;
        zeros[1] += bytes[i + 1] == 0 ? 1u : 0u;
    }
    const size_t pairs = bytes.size() / 2;
    for (const size_t side : {1u, 0u}) {
        if (pairs > 0 && zeros[side] * 2 >= pairs && zeros[1 - side] * 4 <= zeros[side]) {
            return std::wstring(side == 1 ? L"UTF-16 (little-endian" : L"UTF-16 (big-endian") +
                   (file.marked ? L", after a UTF-8 byte-order mark)" : L", without a byte-order mark)");
        }
    }
    return std::wstring();
}

// Traps in the bytes and line ends, found whether or not the sweep can read
// the manifest, so that an author sees every one at once. False when the
// manifest is no UTF-8 at all, which is its one finding.
bool FindTrapsInText(CheckedManifest& manifest, const sweep::FileBytes& file) {
    if (const std::wstring utf16 = Utf16Form(file); !utf16.empty()) {
        Add(manifest, Trap::Utf16, 0, utf16 + L", not UTF-8: the sweep acts on nothing in it");
        return false;
    }
    // The text as its author wrote it, mark or not: for looking at its line
    // ends, never for deciding what the sweep does.
    const std::wstring text = sweep::UTF8BytesToString(file.bytes);
    if (text.find_first_not_of(L"\r\n") == std::wstring::npos) {
        Add(manifest, Trap::EmptyManifest, 0, L"the manifest lists nothing");
    }
    if (file.length == 0) {
        return true;
    }
    if (!file.marked) {
        Add(manifest, Trap::NoByteOrderMark, 0,
            L"no UTF-8 byte-order mark (EF BB BF) at the start: the sweep acts on nothing in it");
    }
    size_t loneFeeds = 0;
    size_t loneReturns = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            ++loneFeeds;
        } else if (text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n')) {
            ++loneReturns;
        }
    }
    if (loneFeeds > 0) {
        Add(manifest, Trap::LoneLineFeeds, 0,
            std::to_wstring(loneFeeds) +
                L" line end(s) of LF alone: the sweep cuts lines at CR LF only, so the lines around them run "
                L"together");
    }
    if (loneReturns > 0) {
        Add(manifest, Trap::LoneCarriageReturns, 0,
            std::to_wstring(loneReturns) +
                L" line end(s) of CR alone: the sweep cuts lines at CR LF only, so the lines around them run "
                L"together");
    }
    const size_t lastEnd = text.rfind(L"\r\n");
    const std::wstring_view last =
        std::wstring_view(text).substr(lastEnd == std::wstring::npos ? 0 : lastEnd + 2);
    if (!last.empty()) {
        size_t number = 1;
        for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2)) {
            ++number;
        }
        Add(manifest, Trap::LastEntryWithoutCrLf, number,
            L"the last entry " + Quoted(last) + L" has no CR LF after it: the sweep never acts on it");
    }
    return true;
}

// The bytes as hex, "F6 DF".
std::wstring Hex(const sweep::ByteBuffer& bytes, size_t at, size_t count) {
    std::wstring hex;
    for (size_t i = at; i < at + count; ++i) {
        wchar_t digits[4];
        std::swprintf(digits, 4, L"%02X", static_cast<unsigned>(bytes[i]));
        hex += (hex.empty() ? L"" : L" ") + std::wstring(digits);
    }
    return hex;
}

// Bytes of a marked manifest that are not UTF-8: one finding a line, with
// where they are, their likely cause, and what the sweep makes of the line.
void FindInvalidUtf8(CheckedManifest& manifest, const sweep::FileBytes& file) {
    if (!file.marked) {
        return;  // the sweep reads none of it
    }
    const sweep::ByteBuffer& bytes = file.bytes;
    const std::vector<std::pair<size_t, size_t>> invalid = sweep::InvalidUTF8Sequences(bytes);
    // The sweep cuts lines at CR LF, which no ill-formed sequence holds.
    std::vector<size_t> starts = {0};
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n') {
            starts.push_back(i + 2);
        }
    }
    for (size_t next = 0; next < invalid.size();) {
        const auto [first, length] = invalid[next];
        const size_t number =
            static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), first) - starts.begin());
        const size_t start = starts[number - 1];
        const size_t end = number < starts.size() ? starts[number] - 2 : bytes.size();
        size_t count = 0;
        for (; next < invalid.size() && invalid[next].first < end; ++next) {
            count += invalid[next].second;
        }
        std::wstring message = L"invalid UTF-8 at byte offset " + std::to_wstring(3 + first) + L" (" +
                               Hex(bytes, first, length) + L")";
        if (count > length) {
            message += L" and " + std::to_wstring(count - length) + L" more invalid byte(s) on this line";
        }
        message += L", likely text in an ANSI code page after a UTF-8 byte-order mark";
        const sweep::ByteBuffer lineBytes(bytes.begin() + static_cast<ptrdiff_t>(start),
                                          bytes.begin() + static_cast<ptrdiff_t>(end));
        if (const std::wstring ansi = sweep::AnsiBytesToString(lineBytes);
            ansi.find(L'\uFFFD') == std::wstring::npos) {
            message += L" (read in this machine's ANSI code page, the line is " + Quoted(ansi) + L")";
        }
        for (const CheckedLine& line : manifest.lines) {
            if (line.number == number) {
                message += L". The sweep reads each invalid sequence as U+FFFD and takes the line as " +
                           Quoted(line.text) + L": " + LineText(manifest, line);
            }
        }
        Add(manifest, Trap::InvalidUtf8, number, std::move(message));
    }
}

// The first %NAME% in `text`, with its percent signs; empty when none.
std::wstring_view VariableIn(std::wstring_view text) {
    for (size_t open = text.find(L'%'); open != std::wstring_view::npos; open = text.find(L'%', open + 1)) {
        const size_t close = text.find(L'%', open + 1);
        if (close == std::wstring_view::npos) {
            break;
        }
        const std::wstring_view name = text.substr(open + 1, close - open - 1);
        const bool isName = !name.empty() && name.find_first_of(L"\\/:*?\"<>| ") == std::wstring_view::npos;
        if (isName) {
            return text.substr(open, close - open + 1);
        }
    }
    return std::wstring_view();
}

// What becomes of a line taken as it stands: "is ignored", "is refused".
std::wstring TakenAsItStands(const sweep::LineDecision& decision) {
    switch (decision.action) {
        case sweep::LineAction::Ignore:
            return L"it is ignored (" + std::wstring(decision.reason) + L")";
        case sweep::LineAction::Refuse:
            return L"it is refused (" + std::wstring(decision.reason) + L")";
        case sweep::LineAction::Examine:
            break;
    }
    return L"it names another path than meant";
}

// Traps of a line's form that an author takes from a script, a shell or an
// INI file: the sweep takes every line as it stands. True when one was
// found, which then explains the sweep's decision.
bool FindTrapsOfForm(CheckedManifest& manifest, const CheckedLine& line) {
    const sweep::LineDecision& decision = line.outcome.decision;
    const std::wstring& text = line.text;
    bool found = false;
    if (!text.empty() && (text.front() == L'"' || text.back() == L'"')) {
        Add(manifest, Trap::LineInQuotes, line.number,
            L"in quotes: the sweep takes a line as it stands, quotes and all, so " +
                TakenAsItStands(decision));
        found = true;
    }
    if (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) {
        Add(manifest, Trap::TrailingBlank, line.number,
            std::wstring(L"ends in a ") + (text.back() == L' ' ? L"blank" : L"tab") +
                L": the sweep takes a line as it stands, so " + TakenAsItStands(decision));
        found = true;
    }
    if (const std::wstring_view variable = VariableIn(text); !variable.empty()) {
        Add(manifest, Trap::EnvironmentVariable, line.number,
            L"holds the variable " + std::wstring(variable) +
                L": the sweep expands no variables and takes the line as it stands, so " +
                TakenAsItStands(decision));
        found = true;
    }
    return found;
}

// A "?" in the last piece: a wildcard, or what an ANSI writer put for a
// character it could not encode.
void FindQuestionMark(CheckedManifest& manifest, const CheckedLine& line) {
    std::wstring message =
        L"the last piece holds \"?\", which the sweep takes as a wildcard for one character; but "
        L"\"?\" is also what a writer of the ANSI code page (such as 1252) puts for every character "
        L"it cannot encode, and then the line matches other files than meant (where the wildcard is "
        L"meant, --ignore " +
        std::wstring(TrapName(Trap::QuestionMark)) + L" silences this)";
    if (manifest.mode == Mode::ThisMachine) {
        message += L"; on this machine: " + LineText(manifest, line);
    }
    Add(manifest, Trap::QuestionMark, line.number, std::move(message));
}

// Traps in what the sweep decides for one line. `explained`: the line has
// a finding already that says why the sweep refuses it.
void FindTrapsOfDecision(CheckedManifest& manifest, const CheckedLine& line, bool explained) {
    const sweep::LineDecision& decision = line.outcome.decision;
    const std::wstring& text = line.text;
    if (decision.ignored == sweep::IgnoredBecause::SuffixInOtherCase) {
        const std::wstring_view suffix = sweep::kShortcutSuffix;
        Add(manifest, Trap::UrlInOtherCase, line.number,
            L"ends in \"" + text.substr(text.size() - suffix.size()) +
                L"\": the sweep acts only on lines ending in \"" + std::wstring(suffix) +
                L"\" in lower case");
    }
    if (decision.action == sweep::LineAction::Refuse && !explained) {
        Add(manifest, Trap::Refused, line.number,
            L"the sweep refuses this line: " + std::wstring(decision.reason));
    }
    if (decision.action != sweep::LineAction::Examine) {
        return;
    }
    if (manifest.mode == Mode::ThisMachine && HasWildcards(Path(text).Name()) && line.outcome.files.empty()) {
        Add(manifest, Trap::WildcardMatchesNothing, line.number,
            L"the wildcard matches nothing on this machine");
    }
    if (decision.target.Name().find(L'?') != std::wstring::npos) {
        FindQuestionMark(manifest, line);
    }
}

// Traps in what the sweep decides for each line.
void FindTrapsInLines(CheckedManifest& manifest) {
    std::map<std::wstring, size_t> firstSeen;
    for (const CheckedLine& line : manifest.lines) {
        if (line.number == manifest.finding.pieces) {
            continue;  // the last piece: said already, it has no CR LF after it
        }
        // A line whose bytes are not UTF-8 has its finding already, which
        // says what the sweep does with it (refuses it): one mistake, one
        // finding.
        bool explained = std::any_of(
            manifest.findings.begin(), manifest.findings.end(),
            [&](const Finding& f) { return f.trap == Trap::InvalidUtf8 && f.line == line.number; });
        explained = FindTrapsOfForm(manifest, line) || explained;
        FindTrapsOfDecision(manifest, line, explained);
        if (!line.text.empty()) {
            auto [seen, isNew] = firstSeen.emplace(line.text, line.number);
            if (!isNew) {
                Add(manifest, Trap::SameLineTwice, line.number,
                    L"the same line as line " + std::to_wstring(seen->second));
            }
        }
    }
}

}  // namespace

std::wstring LineText(const CheckedManifest& manifest, const CheckedLine& line) {
    return manifest.mode == Mode::TextOnly ? sweep::DescribeDecision(line.outcome.decision)
                                           : sweep::DescribeOutcome(line.outcome);
}

const wchar_t* TrapName(Trap trap) {
    switch (trap) {
        case Trap::NoByteOrderMark:
            return L"no-byte-order-mark";
        case Trap::Utf16:
            return L"utf-16";
        case Trap::LoneLineFeeds:
            return L"lf-line-ends";
        case Trap::LoneCarriageReturns:
            return L"cr-line-ends";
        case Trap::LastEntryWithoutCrLf:
            return L"last-entry-without-crlf";
        case Trap::UrlInOtherCase:
            return L"url-not-lower-case";
        case Trap::Refused:
            return L"refused";
        case Trap::WildcardMatchesNothing:
            return L"wildcard-matches-nothing";
        case Trap::SameLineTwice:
            return L"same-line-twice";
        case Trap::EmptyManifest:
            return L"empty-manifest";
        case Trap::LeftAlone:
            return L"manifest-left-alone";
        case Trap::NotRead:
            return L"manifest-not-read";
        case Trap::LineInQuotes:
            return L"line-in-quotes";
        case Trap::TrailingBlank:
            return L"trailing-blank";
        case Trap::EnvironmentVariable:
            return L"environment-variable";
        case Trap::UnreadLanguage:
            return L"unread-language";
        case Trap::NoManifests:
            return L"no-manifests";
        case Trap::InvalidUtf8:
            return L"invalid-utf-8";
        case Trap::MissingLanguage:
            return L"missing-language";
        case Trap::QuestionMark:
            return L"question-mark";
    }
    return L"";
}

bool TrapNamed(std::wstring_view name, Trap& trap) {
    for (int i = 0; i <= static_cast<int>(Trap::QuestionMark); ++i) {
        if (name == TrapName(static_cast<Trap>(i))) {
            trap = static_cast<Trap>(i);
            return true;
        }
    }
    return false;
}

std::wstring TrapNames() {
    std::wstring names;
    for (int i = 0; i <= static_cast<int>(Trap::QuestionMark); ++i) {
        names += (names.empty() ? L"" : L", ") + std::wstring(TrapName(static_cast<Trap>(i)));
    }
    return names;
}

namespace {

// The steps of the sweep's own HandleManifest, kept in `manifest`.
sweep::ManifestSteps StepsInto(CheckedManifest& manifest) {
    sweep::ManifestSteps steps;
    steps.found = [&manifest](const sweep::ManifestFinding& finding) { manifest.finding = finding; };
    steps.line = [&manifest](size_t number, std::wstring_view text, const sweep::LineOutcome& outcome) {
        manifest.lines.push_back({number, std::wstring(text), outcome});
    };
    steps.itself = [&manifest](const std::vector<FileReport>& itself) { manifest.itself = itself; };
    return steps;
}

// Deals with the manifest as the sweep would: its text alone, or every
// check on this machine. False when the sweep would not read it.
bool HandleAsTheSweepWould(CheckedManifest& manifest) {
    const Path& path = manifest.path;
    FolderLocations folders;
    if (manifest.mode == Mode::TextOnly) {
        // Only the file itself: whether it is there, and its bytes.
        WIN32_FIND_DATAW data;
        const UniqueFind find(
            ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
        manifest.present = static_cast<bool>(find);
        manifest.missing = !manifest.present;
        manifest.absence = L"absent";
        if (manifest.present) {
            sweep::HandleManifest(path, Match::Found, sweep::Handling::Decide, sweep::Reporting::None,
                                  StepsInto(manifest), folders);
        }
        return manifest.present;
    }
    const Match match = FindMatchingFile(path);
    sweep::HandleManifest(path, match, sweep::Handling::Check, sweep::Reporting::FilesReached,
                          StepsInto(manifest), folders);
    manifest.present = match != Match::NotFound && !manifest.finding.leadsElsewhere;
    if (!manifest.present) {
        // A file that shows in its folder's listing is there, even where
        // it has no attributes (a pipe under Wine).
        manifest.missing =
            ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && match == Match::NotFound;
        manifest.absence = sweep::DescribeFinding(path, manifest.finding);
        if (!manifest.missing) {
            Add(manifest, Trap::LeftAlone, 0, L"the sweep " + manifest.absence);
        }
    }
    return manifest.present;
}

// The traps of a manifest the sweep would read: in its bytes, through the
// sweep's own reader (unmarked ones too), and in its lines.
void FindTraps(CheckedManifest& manifest) {
    sweep::FileBytes file;
    const unsigned long error = sweep::ReadFileBytes(manifest.path.Text(), sweep::Unmarked::Read, file);
    manifest.openable = error == ERROR_SUCCESS;
    bool linesMatter = true;
    if (manifest.openable) {
        linesMatter = FindTrapsInText(manifest, file);
        if (linesMatter) {
            FindInvalidUtf8(manifest, file);
        }
    } else {
        manifest.openError = SystemErrorMessage(error);
    }
    if (linesMatter) {
        FindTrapsInLines(manifest);
    }
    if (!manifest.finding.read) {
        bool explained = false;
        for (const Finding& finding : manifest.findings) {
            explained = explained || finding.trap == Trap::NoByteOrderMark || finding.trap == Trap::Utf16 ||
                        finding.trap == Trap::EmptyManifest;
        }
        if (!explained) {
            Add(manifest, Trap::NotRead, 0,
                L"the sweep cannot read it now (" + manifest.finding.message +
                    L"): it would act on nothing in it");
        }
    }
    std::stable_sort(manifest.findings.begin(), manifest.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

}  // namespace

CheckedManifest CheckManifest(const Path& path, const std::wstring& language, Mode mode) {
    CheckedManifest manifest;
    manifest.path = path;
    manifest.language = language;
    manifest.mode = mode;
    if (HandleAsTheSweepWould(manifest)) {
        FindTraps(manifest);
    }
    return manifest;
}

std::wstring LanguageOfName(std::wstring_view name) {
    const std::wstring_view prefix = sweep::kManifestPrefix;
    const std::wstring_view extension = sweep::kManifestExtension;
    if (name.size() <= prefix.size() + extension.size() ||
        !EqualsIgnoringCase(name.substr(0, prefix.size()), prefix) ||
        !EndsWithIgnoringCase(name, extension)) {
        return std::wstring();
    }
    return std::wstring(name.substr(prefix.size(), name.size() - prefix.size() - extension.size()));
}

std::wstring ReadLanguage(std::wstring_view language) {
    for (std::wstring_view read : sweep::kLanguages) {
        if (EqualsIgnoringCase(read, language)) {
            return std::wstring(read);
        }
    }
    return std::wstring();
}

std::wstring ReadLanguages(std::wstring_view last) {
    std::wstring list;
    const size_t count = std::size(sweep::kLanguages);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            list += i + 1 < count ? std::wstring(L", ") : L" " + std::wstring(last) + L" ";
        }
        list += sweep::kLanguages[i];
    }
    return list;
}

CheckedManifest UnreadManifest(const Path& path, const std::wstring& language) {
    CheckedManifest manifest;
    manifest.path = path;
    manifest.language = language;
    manifest.absence = L"never read: the sweep reads only the manifests of " + ReadLanguages(L"and");
    Add(manifest, Trap::UnreadLanguage, 0,
        L"a manifest for \"" + language + L"\": the sweep reads only " + ReadLanguages(L"and") +
            L", in that order; it never reads or deletes this one");
    return manifest;
}

CheckedManifest FolderWithoutManifests(const Path& baseFolder) {
    std::wstring names;
    for (std::wstring_view language : sweep::kLanguages) {
        names += (names.empty() ? L"" : L", ") + sweep::ManifestPath(Path(), language).Text();
    }
    CheckedManifest folder;
    folder.path = baseFolder;
    folder.absence = L"holds none of the sweep's manifests";
    Add(folder, Trap::NoManifests, 0,
        L"none of " + names +
            L" is here: the sweep would act on nothing (is this the folder the sweep's program lies in?)");
    return folder;
}

void Silence(std::vector<CheckedManifest>& manifests, const std::vector<Trap>& traps) {
    for (CheckedManifest& manifest : manifests) {
        for (Finding& finding : manifest.findings) {
            finding.silenced = std::find(traps.begin(), traps.end(), finding.trap) != traps.end();
        }
    }
}

size_t CountedFindings(const std::vector<CheckedManifest>& manifests) {
    size_t count = 0;
    for (const CheckedManifest& manifest : manifests) {
        count += static_cast<size_t>(std::count_if(manifest.findings.begin(), manifest.findings.end(),
                                                   [](const Finding& f) { return !f.silenced; }));
    }
    return count;
}

size_t SilencedFindings(const std::vector<CheckedManifest>& manifests) {
    size_t count = 0;
    for (const CheckedManifest& manifest : manifests) {
        count += manifest.findings.size();
    }
    return count - CountedFindings(manifests);
}

Finding MissingLanguage(const std::wstring& language) {
    return {Trap::MissingLanguage, 0,
            L"no manifest for \"" + language +
                L"\", which --expect names: the sweep would remove no shortcut of that language"};
}

}  // namespace vantrel::check

#include "check/modFindings.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string_view>

#include "common/Handle.h"
#include "common/modFiles.h"
#include "common/modLog.h"
#include "common/modProcess.h"
#include "common/modText.h"
#include "sweep/modOutcomeWords.h"

namespace vantrel::check {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The whole file, as bytes; false with `error` set when it cannot be read.
bool ReadBytes(const std::wstring& path, std::string& bytes, std::wstring& error) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file && ::GetFileType(file.get()) != FILE_TYPE_DISK) {
        // A pipe gives no bytes of a file: not "an empty manifest".
        error = KeepReasonText(KeepReason::NotOnDisk, 0);
        return false;
    }
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        error = SystemErrorMessage(::GetLastError());
        return false;
    }
    if (size.QuadPart > (1LL << 30)) {
        error = SystemErrorMessage(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                        nullptr) ||
            got == 0) {
            error = SystemErrorMessage(got == 0 ? ERROR_HANDLE_EOF : ::GetLastError());
            return false;
        }
        done += got;
    }
    return true;
}

// The text as its author wrote it, mark or not: for looking at its line
// ends, never for deciding what the sweep does.
std::wstring AuthorsText(std::string_view bytes) {
    if (bytes.substr(0, 3) == kUtf8Mark) {
        bytes.remove_prefix(3);
    }
    return WideFromBytes(bytes, CP_UTF8);
}

bool EndsInUrlInOtherCase(std::wstring_view text) {
    return EndsWithIgnoringCase(text, L".url") && text.substr(text.size() - 4) != L".url";
}

void Add(CheckedManifest& manifest, Trap trap, size_t line, std::wstring message) {
    manifest.findings.push_back({trap, line, std::move(message)});
}

// Traps in the bytes and line ends, found whether or not the sweep can read
// the manifest, so that an author sees every one at once.
void FindTrapsInText(CheckedManifest& manifest, const std::string& bytes) {
    const std::wstring text = AuthorsText(bytes);
    if (text.find_first_not_of(L"\r\n") == std::wstring::npos) {
        Add(manifest, Trap::EmptyManifest, 0, L"the manifest lists nothing");
    }
    if (bytes.empty()) {
        return;
    }
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        Add(manifest, Trap::Utf16, 0, L"UTF-16, not UTF-8: the sweep acts on nothing in it");
    } else if (bytes.compare(0, 3, kUtf8Mark) != 0) {
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

// Traps in what the sweep decides for each line.
void FindTrapsInLines(CheckedManifest& manifest, bool textOnly) {
    std::map<std::wstring, size_t> firstSeen;
    for (const CheckedLine& line : manifest.lines) {
        const bool lastPiece = line.number == manifest.finding.pieces;
        if (lastPiece) {
            continue;  // said already: it has no CR LF after it
        }
        const sweep::LineDecision& decision = line.outcome.decision;
        const std::wstring& text = line.text;
        // Forms an author takes from a script, a shell or an INI file; the
        // sweep takes every line as it stands.
        bool explained = false;
        if (!text.empty() && (text.front() == L'"' || text.back() == L'"')) {
            Add(manifest, Trap::LineInQuotes, line.number,
                L"in quotes: the sweep takes a line as it stands, quotes and all, so " +
                    TakenAsItStands(decision));
            explained = true;
        }
        if (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) {
            Add(manifest, Trap::TrailingBlank, line.number,
                std::wstring(L"ends in a ") + (text.back() == L' ' ? L"blank" : L"tab") +
                    L": the sweep takes a line as it stands, so " + TakenAsItStands(decision));
            explained = true;
        }
        if (const std::wstring_view variable = VariableIn(text); !variable.empty()) {
            Add(manifest, Trap::EnvironmentVariable, line.number,
                L"holds the variable " + std::wstring(variable) +
                    L": the sweep expands no variables and takes the line as it stands, so " +
                    TakenAsItStands(decision));
            explained = true;
        }
        if (EndsInUrlInOtherCase(text)) {
            Add(manifest, Trap::UrlInOtherCase, line.number,
                L"ends in \"" + text.substr(text.size() - 4) +
                    L"\": the sweep acts only on lines ending in \".url\" in lower case");
        }
        if (decision.action == sweep::LineAction::Refuse && !explained) {
            Add(manifest, Trap::Refused, line.number,
                L"the sweep refuses this line: " + std::wstring(decision.reason));
        }
        if (!textOnly && decision.action == sweep::LineAction::Examine &&
            HasWildcards(text.substr(text.find_last_of(L"\\/") + 1)) && line.outcome.files.empty()) {
            Add(manifest, Trap::WildcardMatchesNothing, line.number,
                L"the wildcard matches nothing on this machine");
        }
        if (!text.empty()) {
            auto [seen, isNew] = firstSeen.emplace(text, line.number);
            if (!isNew) {
                Add(manifest, Trap::SameLineTwice, line.number,
                    L"the same line as line " + std::to_wstring(seen->second));
            }
        }
    }
}

// The manifest read as the sweep's reader reads it, and every line decided;
// nothing it names is looked for.
void DecideText(CheckedManifest& manifest) {
    const sweep::ManifestText text = sweep::ReadManifestAt(manifest.path);
    manifest.finding.match = Match::Found;
    manifest.finding.read = text.read;
    manifest.finding.message = text.message;
    manifest.finding.pieces = text.lines.size();
    for (size_t i = 0; text.read && i < text.lines.size(); ++i) {
        if (i + 1 == text.lines.size() && text.lines[i].empty()) {
            break;  // only the end of the last line
        }
        manifest.lines.push_back(
            {i + 1, std::wstring(text.lines[i]), {sweep::DecideLine(text.lines, i), {}}});
    }
}

}  // namespace

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
    }
    return L"";
}

CheckedManifest CheckManifest(const std::wstring& path, const std::wstring& language, bool textOnly) {
    CheckedManifest manifest;
    manifest.path = path;
    manifest.language = language;
    manifest.textOnly = textOnly;
    if (textOnly) {
        // Only the file itself: whether it is there, and its bytes.
        WIN32_FIND_DATAW data;
        const UniqueFind find(
            ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
        manifest.present = static_cast<bool>(find);
        manifest.missing = !manifest.present;
        manifest.absence = L"absent";
        if (!manifest.present) {
            return manifest;
        }
        DecideText(manifest);
    } else {
        const Match match = FindMatchingFile(path);
        sweep::ManifestSteps steps;
        steps.found = [&](const sweep::ManifestFinding& finding) { manifest.finding = finding; };
        steps.line = [&](size_t number, std::wstring_view text, const sweep::LineOutcome& outcome) {
            manifest.lines.push_back({number, std::wstring(text), outcome});
        };
        steps.itself = [&](const std::vector<FileReport>& itself) { manifest.itself = itself; };
        FolderLocations folders;
        sweep::HandleManifest(path, match, true, true, steps, folders);
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
            return manifest;
        }
    }
    std::string bytes;
    manifest.openable = ReadBytes(path, bytes, manifest.openError);
    if (manifest.openable) {
        FindTrapsInText(manifest, bytes);
    }
    FindTrapsInLines(manifest, textOnly);
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
    return manifest;
}

std::wstring LanguageOfName(std::wstring_view name) {
    constexpr std::wstring_view kPrefix = L"__shortcutsweep-";
    constexpr std::wstring_view kSuffix = L".ini";
    if (name.size() <= kPrefix.size() + kSuffix.size() ||
        !EqualsIgnoringCase(name.substr(0, kPrefix.size()), kPrefix) ||
        !EndsWithIgnoringCase(name, kSuffix)) {
        return std::wstring();
    }
    return std::wstring(name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
}

bool IsReadLanguage(std::wstring_view language) {
    for (std::wstring_view read : sweep::kLanguages) {
        if (EqualsIgnoringCase(read, language)) {
            return true;
        }
    }
    return false;
}

CheckedManifest UnreadManifest(const std::wstring& path, const std::wstring& language) {
    CheckedManifest manifest;
    manifest.path = path;
    manifest.language = language;
    manifest.absence = L"never read: the sweep reads only the manifests of en, de, fr and ja";
    Add(manifest, Trap::UnreadLanguage, 0,
        L"a manifest for \"" + language +
            L"\": the sweep reads only en, de, fr and ja, in that order; it never reads or deletes this one");
    return manifest;
}

CheckedManifest FolderWithoutManifests(const std::wstring& baseFolder) {
    CheckedManifest folder;
    folder.path = baseFolder;
    folder.absence = L"holds none of the four manifests";
    Add(folder, Trap::NoManifests, 0,
        L"none of __shortcutsweep-en.ini, -de, -fr or -ja is here: the sweep would act on nothing (is this "
        L"the "
        L"folder the sweep's program lies in?)");
    return folder;
}

}  // namespace vantrel::check

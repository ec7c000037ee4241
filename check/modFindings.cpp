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

// Traps in what the sweep decides for each line.
void FindTrapsInLines(CheckedManifest& manifest) {
    std::map<std::wstring, size_t> firstSeen;
    for (const CheckedLine& line : manifest.lines) {
        const bool lastPiece = line.number == manifest.finding.pieces;
        if (lastPiece) {
            continue;  // said already: it has no CR LF after it
        }
        const sweep::LineDecision& decision = line.outcome.decision;
        if (EndsInUrlInOtherCase(line.text)) {
            Add(manifest, Trap::UrlInOtherCase, line.number,
                L"ends in \"" + line.text.substr(line.text.size() - 4) +
                    L"\": the sweep acts only on lines ending in \".url\" in lower case");
        }
        if (decision.action == sweep::LineAction::Refuse) {
            Add(manifest, Trap::Refused, line.number,
                L"the sweep refuses this line: " + std::wstring(decision.reason));
        }
        if (decision.action == sweep::LineAction::Examine &&
            HasWildcards(line.text.substr(line.text.find_last_of(L"\\/") + 1)) &&
            line.outcome.files.empty()) {
            Add(manifest, Trap::WildcardMatchesNothing, line.number,
                L"the wildcard matches nothing on this machine");
        }
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
    }
    return L"";
}

CheckedManifest CheckManifest(const std::wstring& path, const std::wstring& language) {
    CheckedManifest manifest;
    manifest.path = path;
    manifest.language = language;
    const Match match = FindMatchingFile(path);
    sweep::ManifestSteps steps;
    steps.found = [&](const sweep::ManifestFinding& finding) { manifest.finding = finding; };
    steps.line = [&](size_t number, std::wstring_view text, const sweep::LineOutcome& outcome) {
        manifest.lines.push_back({number, std::wstring(text), outcome});
    };
    steps.itself = [&](const std::vector<FileReport>& itself) { manifest.itself = itself; };
    sweep::HandleManifest(path, match, true, true, steps);
    manifest.present = match != Match::NotFound && !manifest.finding.leadsElsewhere;
    if (!manifest.present) {
        // A file that shows in its folder's listing is there, even where it
        // has no attributes (a pipe under Wine).
        manifest.missing =
            ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && match == Match::NotFound;
        manifest.absence = sweep::DescribeFinding(path, manifest.finding);
        if (!manifest.missing) {
            Add(manifest, Trap::LeftAlone, 0, L"the sweep " + manifest.absence);
        }
        return manifest;
    }
    std::string bytes;
    manifest.openable = ReadBytes(path, bytes, manifest.openError);
    if (manifest.openable) {
        FindTrapsInText(manifest, bytes);
    }
    FindTrapsInLines(manifest);
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

}  // namespace vantrel::check

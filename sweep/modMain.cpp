#include "modMain.h"

#include <windows.h>

#include <algorithm>
#include <exception>

#include "modFiles.h"
#include "modLog.h"
#include "modPaths.h"
#include "modProcess.h"
#include "modUTF8_FileIO.h"

namespace vantrel {

std::wstring BaseFolder;

namespace {

constexpr std::wstring_view kLanguages[] = {L"en", L"de", L"fr", L"ja"};
constexpr std::wstring_view kDevelopmentSwitch = L"/noproduction";
constexpr std::wstring_view kDevelopmentFolder = L"ZV\\";
constexpr std::wstring_view kBatchFile = L"__shortcutsweep.bat";
constexpr std::wstring_view kShortcutSuffix = L".url";

// Runs one step of a sweep; a step that fails is abandoned and the sweep
// goes on with the next one.
template <typename Step>
void SkipOnFailure(Step step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
    }
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool HasDriveRoot(std::wstring_view text) {
    return text.size() >= 3 && IsDriveLetter(text[0]) && text[1] == L':' && IsSeparator(text[2]);
}

// Longest path the system takes, in UTF-16 units.
constexpr size_t kLongestPath = 32767;

constexpr std::wstring_view kLiteralPrefix = L"\\\\?\\";

// The pieces of `text` between separators; `separators` lists which.
std::vector<std::wstring_view> Pieces(std::wstring_view text, std::wstring_view separators) {
    std::vector<std::wstring_view> pieces;
    for (;;) {
        const size_t cut = text.find_first_of(separators);
        pieces.push_back(text.substr(0, cut));
        if (cut == std::wstring_view::npos) {
            return pieces;
        }
        text.remove_prefix(cut + 1);
    }
}

// Checks that hold for every piece, whatever the form of the path.
const wchar_t* PieceRefusal(std::wstring_view piece, bool isFinal) {
    if (piece.find(L':') != std::wstring_view::npos) {
        return L"a colon after the drive, which names a stream of a file";
    }
    if (!isFinal && HasWildcards(piece)) {
        return L"a wildcard outside the final piece";
    }
    return nullptr;
}

// A path that the system takes literally: every piece must be a name.
ShortcutTarget ReadLiteralPath(std::wstring_view rest) {
    std::wstring path(kLiteralPrefix);
    size_t minimumPieces = 1;
    if (StartsWithIgnoringCase(rest, L"UNC\\")) {
        rest.remove_prefix(4);
        path += L"UNC\\";
        minimumPieces = 3;  // server, share, file
    } else if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') {
        path += rest.substr(0, 3);
        rest.remove_prefix(3);
    } else {
        return ShortcutTarget::Refused(L"a device or volume path");
    }
    if (rest.find(L'/') != std::wstring_view::npos) {
        return ShortcutTarget::Refused(L"a / in a \\\\?\\ path, which names no file there");
    }
    const std::vector<std::wstring_view> pieces = Pieces(rest, L"\\");
    if (pieces.size() < minimumPieces) {
        return ShortcutTarget::Refused(L"a share path without a share");
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::wstring_view piece = pieces[i];
        if (piece.empty()) {
            return ShortcutTarget::Refused(L"an empty piece in a \\\\?\\ path, which takes it literally");
        }
        if (piece == L"." || piece == L"..") {
            return ShortcutTarget::Refused(L"a . or .. piece in a \\\\?\\ path, which takes it literally");
        }
        if (piece.back() == L'.' || piece.back() == L' ') {
            return ShortcutTarget::Refused(
                L"a piece ending in a dot or blank in a \\\\?\\ path, a name no ordinary path reaches");
        }
        if (const wchar_t* refusal = PieceRefusal(piece, i + 1 == pieces.size())) {
            return ShortcutTarget::Refused(refusal);
        }
        path += piece;
        if (i + 1 < pieces.size()) {
            path += L'\\';
        }
    }
    return ShortcutTarget::Path(std::move(path));
}

// A full path on a drive or share, read as Windows reads it: `root` is
// C:\ or \\server\share\ , `rest` what follows it. The pieces are walked
// by the rules of the system's own normalisation, more strictly where its
// outcome is in doubt, and GetFullPathNameW must come to the same path.
ShortcutTarget ReadFullPath(std::wstring_view root, std::wstring_view rest, bool onShare) {
    const std::vector<std::wstring_view> pieces = Pieces(rest, L"\\/");
    std::vector<std::wstring_view> kept;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        std::wstring_view piece = pieces[i];
        if (const wchar_t* refusal = PieceRefusal(piece, false)) {
            return ShortcutTarget::Refused(refusal);
        }
        if (piece.empty() || piece == L".") {
            continue;  // a doubled separator, or this folder
        }
        if (piece == L"..") {
            if (kept.empty()) {
                return ShortcutTarget::Refused(onShare ? L"a .. that climbs above the share"
                                                       : L"a .. that climbs above the drive's root");
            }
            kept.pop_back();
            continue;
        }
        if (piece.back() == L'.') {
            piece.remove_suffix(1);  // the system drops one trailing dot from a folder
            if (piece.empty() || piece.back() == L'.') {
                return ShortcutTarget::Refused(L"a folder piece ending in more than one dot");
            }
        }
        kept.push_back(piece);
    }
    const std::wstring_view final = pieces.back();
    if (const wchar_t* refusal = PieceRefusal(final, true)) {
        return ShortcutTarget::Refused(refusal);
    }
    std::wstring expected(root);
    for (std::wstring_view piece : kept) {
        expected += piece;
        expected += L'\\';
    }
    expected += final;
    if (expected.size() >= kLongestPath) {
        return ShortcutTarget::Refused(L"longer than any path the system takes");
    }

    // The system's reading, from the line with its separators made single
    // backslashes (which Windows does first, and Wine leaves undone on shares).
    std::wstring given(root);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].empty()) {
            given += pieces[i];
            if (i + 1 < pieces.size()) {
                given += L'\\';
            }
        }
    }
    // Room for the path expected and a little more; a longer reading is
    // fetched once more. (A buffer of the longest path, zeroed for every
    // line, cost more than the line's deletion under emulation.)
    std::wstring full(expected.size() + 16, L'\0');
    DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size() && length <= kLongestPath) {
        full.assign(length + 1, L'\0');
        length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return ShortcutTarget::Refused(L"the system cannot read it as a path");
    }
    full.resize(length);
    // The drive letter's case is the one difference that does not matter.
    if (full.size() != expected.size() || !EqualsIgnoringCase(full.substr(0, 1), expected.substr(0, 1)) ||
        full.compare(1, std::wstring::npos, expected, 1, std::wstring::npos) != 0) {
        // A device name such as CON, or a rule of the system's that differs
        // from the ones above: the line could name another file.
        return ShortcutTarget::Refused(L"the system reads it as another path");
    }
    return ShortcutTarget::Path(onShare ? L"\\\\?\\UNC\\" + full.substr(2)
                                        : std::wstring(kLiteralPrefix) + full);
}

// \\server\share\ at the start of a line; empty when it is not one.
std::wstring_view ShareRoot(std::wstring_view line) {
    size_t at = 2;
    for (int piece = 0; piece < 2; ++piece) {
        const size_t start = at;
        while (at < line.size() && !IsSeparator(line[at])) {
            ++at;
        }
        const std::wstring_view name = line.substr(start, at - start);
        if (at == line.size() || name.empty() || name == L"." || name == L".." || name.back() == L'.' ||
            name.back() == L' ' || HasWildcards(name) || name.find(L':') != std::wstring_view::npos) {
            return std::wstring_view();
        }
        ++at;
    }
    return line.substr(0, at);
}

}  // namespace

LineList LineList::Split(std::wstring text) {
    LineList list;
    list.text_ = std::move(text);
    if (list.text_.empty()) {
        return list;
    }
    size_t start = 0;
    for (;;) {
        size_t end = list.text_.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            list.pieces_.emplace_back(start, list.text_.size() - start);
            return list;
        }
        list.pieces_.emplace_back(start, end - start);
        start = end + 2;
    }
}

LineList LineList::OneEmptyLine() {
    LineList list;
    list.pieces_.emplace_back(0, 0);
    return list;
}

std::wstring ParentFolder(const std::wstring& path, int16_t levels) {
    if (path.empty()) {
        return L"\\";  // no pieces at all
    }
    const long pieces = static_cast<long>(std::count(path.begin(), path.end(), L'\\')) + 1;
    const long last = pieces - 1 - levels;
    if (last < 0) {
        return L"\\";
    }
    if (last >= pieces - 1) {
        return path + L"\\";
    }
    // Pieces 0..last joined by backslashes are the text before the
    // (last + 1)-th backslash.
    size_t cut = 0;
    for (long i = 0; i <= last; ++i) {
        cut = path.find(L'\\', i == 0 ? 0 : cut + 1);
    }
    return path.substr(0, cut + 1);
}

std::wstring ManifestPath(std::wstring_view lang) {
    return BaseFolder + L"__shortcutsweep-" + std::wstring(lang) + L".ini";
}

ManifestText ReadManifestAt(const std::wstring& path) {
    ManifestText manifest;
    try {
        std::wstring content;
        manifest.read = ReadUTF8File(path, content, manifest.message, false, false, false);
        if (manifest.read) {
            manifest.lines = LineList::Split(std::move(content));
        }
    } catch (const std::exception&) {
        manifest.read = false;
        manifest.message = SystemErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!manifest.read) {
        manifest.lines = LineList::OneEmptyLine();
    }
    return manifest;
}

LineList ReadManifestLines(std::wstring_view lang, std::wstring* readerMessage) {
    try {
        const std::wstring path = ManifestPath(lang);
        if (FileMatches(path)) {
            ManifestText manifest = ReadManifestAt(path);
            if (readerMessage) {
                *readerMessage = manifest.message;
            }
            return std::move(manifest.lines);
        }
        if (readerMessage) {
            *readerMessage = L"no such file";
        }
    } catch (const std::exception&) {
    }
    return LineList::OneEmptyLine();
}

ShortcutTarget CheckShortcutLine(std::wstring_view line) {
    if (!EndsWith(line, kShortcutSuffix)) {
        return ShortcutTarget::Refused(L"does not end in .url");
    }
    for (wchar_t c : line) {
        if (c < 0x20) {
            return ShortcutTarget::Refused(L"a control character");
        }
        if (c == L'<' || c == L'>' || c == L'"' || c == L'|') {
            return ShortcutTarget::Refused(L"one of < > \" |");
        }
    }
    if (StartsWith(line, kLiteralPrefix)) {
        return ReadLiteralPath(line.substr(kLiteralPrefix.size()));
    }
    if (line.size() >= 2 && IsSeparator(line[0]) && IsSeparator(line[1])) {
        if (line.size() >= 4 && (line[2] == L'?' || line[2] == L'.') && IsSeparator(line[3])) {
            return ShortcutTarget::Refused(L"a device path");
        }
        const std::wstring_view root = ShareRoot(line);
        if (root.empty()) {
            return ShortcutTarget::Refused(L"a share path without a proper server and share name");
        }
        std::wstring backslashed(root);
        std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
        return ReadFullPath(backslashed, line.substr(root.size()), true);
    }
    if (HasDriveRoot(line)) {
        return ReadFullPath(std::wstring(line.substr(0, 2)) + L"\\", line.substr(3), false);
    }
    if (line.size() >= 2 && IsDriveLetter(line[0]) && line[1] == L':') {
        return ShortcutTarget::Refused(L"relative to the current folder of its drive");
    }
    if (!line.empty() && IsSeparator(line[0])) {
        return ShortcutTarget::Refused(L"rooted on whatever drive is current");
    }
    return ShortcutTarget::Refused(L"relative to the current folder");
}

std::optional<std::wstring> ShortcutPathToDelete(std::wstring_view line) {
    ShortcutTarget target = CheckShortcutLine(line);
    if (target.refusal) {
        return std::nullopt;
    }
    return std::move(target.path);
}

bool HasDevelopmentSwitch(const std::wstring& argumentText) {
    return LowerCase(argumentText).find(kDevelopmentSwitch) != std::wstring::npos;
}

std::wstring BaseFolderFor(const std::wstring& argumentText, const std::wstring& programFolder) {
    const std::wstring_view root = FullPathRoot(programFolder);
    if (root.empty()) {
        return std::wstring();
    }
    if (!HasDevelopmentSwitch(argumentText)) {
        return programFolder + L"\\";
    }
    const std::wstring parent = ParentFolder(programFolder, 2);
    // At or below the program's own root, C:\ or \\server\share\ .
    std::wstring rootFolder(root);
    if (rootFolder.back() != L'\\' && rootFolder.back() != L'/') {
        rootFolder += L'\\';
    }
    return StartsWithIgnoringCase(parent, rootFolder) ? parent + std::wstring(kDevelopmentFolder)
                                                      : std::wstring();
}

LineDecision DecideLine(const LineList& lines, size_t i) {
    const std::wstring_view line = lines[i];
    if (i + 1 == lines.size()) {
        // The piece after the last CR LF is never a complete entry.
        return LineDecision::Ignored(L"the last piece, with no CR LF after it, is never acted on");
    }
    if (!EndsWith(line, kShortcutSuffix)) {
        return LineDecision::Ignored(EndsWithIgnoringCase(line, kShortcutSuffix)
                                         ? L"ends in .url in other letters than lower case"
                                         : L"does not end in .url");
    }
    ShortcutTarget target = CheckShortcutLine(line);
    if (target.refusal) {
        return LineDecision::Refused(target.refusal);
    }
    return LineDecision::Examined(std::move(target.path));
}

LineOutcome HandleLine(const LineList& lines, size_t i, bool onlyCheck, bool report,
                       FolderLocations* folders) {
    LineOutcome outcome{DecideLine(lines, i), {}};
    if (outcome.decision.action == LineAction::Examine) {
        DeleteOptions options;
        options.onlyCheck = onlyCheck;
        options.report = report ? &outcome.files : nullptr;
        options.folders = folders;
        DeleteFiles(outcome.decision.target, kShortcutSuffix, options);
    }
    return outcome;
}

const wchar_t* VerdictWord(FileVerdict verdict) {
    switch (verdict) {
        case FileVerdict::Deleted:
            return L"deleted";
        case FileVerdict::WouldDelete:
            return L"would delete";
        case FileVerdict::Kept:
            return L"kept";
    }
    return L"";
}

std::wstring DescribeVerdict(const FileReport& file) {
    std::wstring text = VerdictWord(file.verdict);
    if (file.verdict == FileVerdict::Kept) {
        text += L" (" + KeepReasonText(file.reason, file.error) + L")";
    }
    return text;
}

std::wstring DescribeFile(const FileReport& file) {
    std::wstring text = std::wstring(VerdictWord(file.verdict)) + L" " + DisplayPath(file.path);
    if (!file.alias.empty()) {
        text += L" (named by its 8.3 alias " + file.alias + L")";
    }
    if (file.verdict == FileVerdict::Kept) {
        text += L" (" + KeepReasonText(file.reason, file.error) + L")";
    }
    return text;
}

std::wstring DescribeOutcome(const LineOutcome& outcome) {
    const LineDecision& decision = outcome.decision;
    switch (decision.action) {
        case LineAction::Ignore:
            return L"ignored (" + std::wstring(decision.reason) + L")";
        case LineAction::Refuse:
            return L"refused (" + std::wstring(decision.reason) + L")";
        case LineAction::Examine:
            break;
    }
    if (outcome.files.empty()) {
        return L"no match " + DisplayPath(decision.target);
    }
    std::wstring text;
    for (const FileReport& file : outcome.files) {
        text += (text.empty() ? L"" : L"; ") + DescribeFile(file);
    }
    return text;
}

std::wstring AbsenceOf(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return L"absent";
    }
    return L"left alone with everything it lists (" +
           KeepReasonText(KeepReasonFor(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)), 0) + L")";
}

std::wstring LeftAloneAsLink(const std::wstring& path) {
    FolderLocations folders;
    if (PlacementOfPath(path, folders) != Placement::Elsewhere) {
        return std::wstring();
    }
    return L"left alone with everything it lists (" + KeepReasonText(KeepReason::ReachedElsewhere, 0) + L")";
}

namespace {

// How the log and sweepcheck name a manifest ("manifest en C:\...") or
// the batch file ("batch file C:\...").
std::wstring OwnFileName(std::wstring_view kind, std::wstring_view lang, const std::wstring& path) {
    return std::wstring(kind) + (lang.empty() ? L" " : L" " + std::wstring(lang) + L" ") + DisplayPath(path);
}

// Deletes a manifest or the batch file, and logs what became of it.
void DeleteOwnFile(std::wstring_view kind, std::wstring_view lang, const std::wstring& path) {
    std::vector<FileReport> report;
    DeleteOptions options;
    options.report = DecisionLogOn() ? &report : nullptr;
    DeleteFiles(path, {}, options);
    LogSafely([&] {
        WriteDecisionLog(OwnFileName(kind, lang, path) + L": " +
                         (report.empty() ? std::wstring(L"absent") : DescribeVerdict(report.front())));
    });
}

}  // namespace

void ProcessLanguage(std::wstring_view lang) {
    SkipOnFailure([&] {
        const std::wstring path = ManifestPath(lang);
        // A test that fails lets the steps it guards run, as if it had passed.
        const Match found = FindMatchingFile(path);
        if (found == Match::NotFound) {
            LogSafely(
                [&] { WriteDecisionLog(OwnFileName(L"manifest", lang, path) + L": " + AbsenceOf(path)); });
            return;
        }
        // A link to a file elsewhere is no manifest of this folder's, on any
        // system: some show it as the file it points to.
        if (const std::wstring linked = LeftAloneAsLink(path); !linked.empty()) {
            LogSafely([&] { WriteDecisionLog(OwnFileName(L"manifest", lang, path) + L": " + linked); });
            return;
        }
        std::wstring readerMessage;
        const LineList lines = ReadManifestLines(lang, DecisionLogOn() ? &readerMessage : nullptr);
        LogSafely([&] {
            WriteDecisionLog(
                OwnFileName(L"manifest", lang, path) + L": " +
                (found == Match::Unknown ? L"could not be looked for; read all the same, " : L"found, ") +
                (readerMessage.empty() ? L"read"
                                       : L"not read (" + readerMessage + L"): no line is acted on"));
        });
        FolderLocations folders;
        for (size_t i = 0; i < lines.size(); ++i) {
            SkipOnFailure([&] {
                const LineOutcome outcome = HandleLine(lines, i, false, DecisionLogOn(), &folders);
                // An empty last piece is only the end of the file's last line.
                if (!(i + 1 == lines.size() && lines[i].empty())) {
                    LogSafely([&] {
                        WriteDecisionLog(std::wstring(lang) + L" line " + std::to_wstring(i + 1) + L" " +
                                         Quoted(lines[i]) + L": " + DescribeOutcome(outcome));
                    });
                }
            });
        }
        SkipOnFailure([&] { DeleteOwnFile(L"manifest", lang, path); });
    });
    YieldToEvents();
}

void RunSweepFor(const std::wstring& argumentText, const std::wstring& programFolder) {
    if (programFolder.empty()) {
        WriteDecisionLog(L"the program's own folder cannot be found: nothing is done");
        return;  // without its own folder the sweep has nowhere safe to look
    }
    SkipOnFailure([&] { BaseFolder = BaseFolderFor(argumentText, programFolder); });
    if (BaseFolder.empty()) {
        // Any other folder would depend on the current drive, or lie on
        // another share: nowhere the manifests were put.
        LogSafely([&] {
            WriteDecisionLog(L"the program's folder " + programFolder +
                             (FullPathRoot(programFolder).empty()
                                  ? L" is no full path to a drive or share: nothing is done"
                                  : L" has no folder two levels above it on its drive or share for "
                                    L"/noproduction: nothing is done"));
        });
        return;
    }
    LogSafely([&] {
        WriteDecisionLog(L"base folder " + BaseFolder +
                         (HasDevelopmentSwitch(argumentText)
                              ? L" (/noproduction given: the folder ZV two levels above the program's)"
                              : L" (no /noproduction: the program's own folder)"));
    });
    for (std::wstring_view lang : kLanguages) {
        ProcessLanguage(lang);
    }
    SkipOnFailure([&] {
        const std::wstring path = BaseFolder + std::wstring(kBatchFile);
        DeleteOwnFile(L"batch file", {}, path);
    });
}

void RunSweep() { RunSweepFor(ArgumentText(), ProgramFolder()); }

namespace {

// The files a sweep for this argument text and program reads or deletes.
std::vector<std::wstring> RunFiles(const std::wstring& argumentText, const std::wstring& program) {
    std::vector<std::wstring> files = {program};
    const std::wstring base = BaseFolderFor(argumentText, FolderOfPath(program));
    if (!base.empty()) {
        for (std::wstring_view lang : kLanguages) {
            files.push_back(base + L"__shortcutsweep-" + std::wstring(lang) + L".ini");
        }
        files.push_back(base + std::wstring(kBatchFile));
    }
    return files;
}

}  // namespace

int Main() {
    RestrictDllSearchToSystem();
    SkipOnFailure([] {
        OpenDecisionLog(L"shortcutsweep", L"" VANTREL_PROGRAM_VERSION,
                        RunFiles(ArgumentText(), ProgramPath()));
    });
    RunSweep();
    WriteDecisionLog(L"finished, exit status 0");
    CloseDecisionLog();
    return 0;
}

}  // namespace vantrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        return vantrel::Main();
    } catch (...) {
        return 0;
    }
}

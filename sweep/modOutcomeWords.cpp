#include "sweep/modOutcomeWords.h"

#include <windows.h>

#include "common/modErrors.h"
#include "common/modNames.h"
#include "common/modPaths.h"

namespace vantrel::sweep {

std::wstring KeepReasonText(KeepReason reason, unsigned long error, std::wstring_view spelledAlikeIn) {
    switch (reason) {
        case KeepReason::Directory:
            return L"a directory";
        case KeepReason::Hidden:
            return L"hidden";
        case KeepReason::System:
            return L"a system file";
        case KeepReason::ReadOnly:
            return L"read-only";
        case KeepReason::WrongSuffix:
            return L"its own name does not end in " + std::wstring(kShortcutSuffix);
        case KeepReason::NameChanged:
            return L"named by its 8.3 alias, where its own name is required";
        case KeepReason::ReachedElsewhere:
            return L"reached through a link to another file";
        case KeepReason::SpelledAlike:
            return L"another name in " + std::wstring(spelledAlikeIn) + L" is spelled the same";
        case KeepReason::PlaceUnknown:
            return L"where it lies cannot be read";
        case KeepReason::UnsafeName:
            return L"its listed name holds a \\, a / or another character no Windows name holds";
        case KeepReason::NotOnDisk:
            return L"not a file on disk (a pipe or a device)";
        case KeepReason::SystemError:
            return SystemErrorMessage(error);
        case KeepReason::ListingFailed:
            return L"the folder cannot be listed: " + SystemErrorMessage(error);
        case KeepReason::None:
            break;
    }
    return std::wstring();
}

const wchar_t* VerdictWord(FileVerdict verdict) {
    switch (verdict) {
        case FileVerdict::Deleted:
            return L"deleted";
        case FileVerdict::WouldDelete:
            return L"would delete";
        case FileVerdict::Kept:
            return L"kept";
        case FileVerdict::AlreadyGone:
            return L"already gone";
    }
    return L"";
}

std::wstring DescribeVerdict(const FileReport& file) {
    std::wstring text = VerdictWord(file.verdict);
    if (file.verdict == FileVerdict::Kept) {
        text += L" (" + KeepReasonText(file.reason, file.error, file.spelledAlikeIn) + L")";
    }
    return text;
}

std::wstring DescribeFile(const FileReport& file) {
    std::wstring text = std::wstring(VerdictWord(file.verdict)) + L" " + file.path.Ordinary();
    if (!file.alias.empty()) {
        text += L" (named by its 8.3 alias " + file.alias + L")";
    }
    if (file.verdict == FileVerdict::Kept) {
        text += L" (" + KeepReasonText(file.reason, file.error, file.spelledAlikeIn) + L")";
    }
    return text;
}

std::wstring DescribeOutcome(const LineOutcome& outcome) {
    const LineDecision& decision = outcome.decision;
    if (decision.action != LineAction::Examine) {
        return DescribeDecision(decision);
    }
    if (outcome.files.empty()) {
        return L"no match " + decision.target.Ordinary();
    }
    std::wstring text;
    for (const FileReport& file : outcome.files) {
        text += (text.empty() ? L"" : L"; ") + DescribeFile(file);
    }
    return text;
}

std::wstring AbsenceOf(const Path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return L"absent";
    }
    return L"left alone with everything it lists (" +
           KeepReasonText(KeepReasonFor(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)), 0) + L")";
}

std::wstring DescribeDecision(const LineDecision& decision) {
    switch (decision.action) {
        case LineAction::Ignore:
            return L"ignored (" + std::wstring(decision.reason) + L")";
        case LineAction::Refuse:
            return L"refused (" + std::wstring(decision.reason) + L")";
        case LineAction::Examine:
            break;
    }
    const bool pattern = HasWildcards(decision.target.Name());
    return std::wstring(L"an entry: the sweep deletes ") + (pattern ? L"what matches " : L"") +
           decision.target.Ordinary();
}

std::wstring DescribeFinding(const Path& path, const ManifestFinding& finding) {
    if (finding.match == Match::NotFound) {
        return AbsenceOf(path);
    }
    if (finding.leadsElsewhere) {
        const KeepReason reason =
            finding.spelledAlikeIn.empty() ? KeepReason::ReachedElsewhere : KeepReason::SpelledAlike;
        return L"left alone with everything it lists (" + KeepReasonText(reason, 0, finding.spelledAlikeIn) +
               L")";
    }
    return (finding.match == Match::Unknown ? L"could not be looked for; read all the same, " : L"found, ") +
           (finding.read ? std::wstring(L"read")
                         : L"not read (" + finding.message + L"): no line is acted on");
}

std::wstring DescribeOwnFile(const Path& path, const std::vector<FileReport>& report) {
    return report.empty() ? AbsenceOf(path) : DescribeVerdict(report.front());
}

}  // namespace vantrel::sweep

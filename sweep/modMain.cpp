#include "sweep/modMain.h"

#include <windows.h>

#include <vector>

#include "common/modFailOpen.h"
#include "common/modLog.h"
#include "common/modPaths.h"
#include "common/modProcess.h"
#include "common/modText.h"
#include "sweep/modBaseFolder.h"
#include "sweep/modManifests.h"
#include "sweep/modOutcomeWords.h"

namespace vantrel::sweep {

std::wstring BaseFolder;

namespace {

// The files each line reaches are reported only for the log.
Reporting ReportingForLog() { return DecisionLogOn() ? Reporting::FilesReached : Reporting::None; }

// How the log names a manifest ("manifest en C:\...") or the batch file
// ("batch file C:\...").
std::wstring OwnFileName(std::wstring_view kind, std::wstring_view lang, const std::wstring& path) {
    return std::wstring(kind) + (lang.empty() ? L" " : L" " + std::wstring(lang) + L" ") + OrdinaryPath(path);
}

// The files a sweep for this argument text and program reads or deletes.
std::vector<std::wstring> RunFiles(const std::wstring& argumentText, const std::wstring& program) {
    std::vector<std::wstring> files = {program};
    const std::wstring base = BaseFolderFor(argumentText, FolderOfPath(program));
    if (!base.empty()) {
        for (std::wstring_view lang : kLanguages) {
            files.push_back(ManifestPath(base, lang));
        }
        files.push_back(BatchFilePath(base));
    }
    return files;
}

}  // namespace

void ProcessLanguage(std::wstring_view lang, FolderLocations& folders) {
    SkipOnFailure([&] {
        const std::wstring path = ManifestPath(BaseFolder, lang);
        const std::wstring name = OwnFileName(L"manifest", lang, path);
        ManifestSteps logged;
        logged.found = [&](const ManifestFinding& finding) {
            LogSafely([&] { WriteDecisionLog(name + L": " + DescribeFinding(path, finding)); });
        };
        logged.line = [&](size_t number, std::wstring_view text, const LineOutcome& outcome) {
            LogSafely([&] {
                WriteDecisionLog(std::wstring(lang) + L" line " + std::to_wstring(number) + L" " +
                                 Quoted(text) + L": " + DescribeOutcome(outcome));
            });
        };
        logged.itself = [&](const std::vector<FileReport>& itself) {
            LogSafely([&] { WriteDecisionLog(name + L": " + DescribeOwnFile(path, itself)); });
        };
        HandleManifest(path, FindMatchingFile(path), Handling::Act, ReportingForLog(), logged, folders);
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
    FolderLocations folders;
    for (std::wstring_view lang : kLanguages) {
        ProcessLanguage(lang, folders);
    }
    SkipOnFailure([&] {
        const std::wstring path = BatchFilePath(BaseFolder);
        const std::vector<FileReport> report =
            HandleOwnFile(path, Handling::Act, ReportingForLog(), &folders);
        LogSafely([&] {
            WriteDecisionLog(OwnFileName(L"batch file", {}, path) + L": " + DescribeOwnFile(path, report));
        });
    });
}

void RunSweep() { RunSweepFor(ArgumentText(), ProgramFolder()); }

void Main() {
    SkipOnFailure([] {
        OpenDecisionLog(L"shortcutsweep", L"" VANTREL_PROGRAM_VERSION,
                        RunFiles(ArgumentText(), ProgramPath()));
    });
    RunSweep();
    WriteDecisionLog(L"finished, exit status 0");
    CloseDecisionLog();
}

}  // namespace vantrel::sweep

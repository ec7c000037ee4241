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

namespace {

// The files each line reaches are reported only for the log.
Reporting ReportingForLog() { return DecisionLogOn() ? Reporting::FilesReached : Reporting::None; }

// How the log names a manifest ("manifest en C:\...") or the batch file
// ("batch file C:\...").
std::wstring OwnFileName(std::wstring_view kind, std::wstring_view lang, const Path& path) {
    return std::wstring(kind) + (lang.empty() ? L" " : L" " + std::wstring(lang) + L" ") + path.Ordinary();
}

// The files a sweep for this argument text and program reads or deletes.
std::vector<Path> RunFiles(const std::wstring& argumentText, const Path& program) {
    std::vector<Path> files = {program};
    const Path base = BaseFolderFor(argumentText, program.Parent());
    if (!base.Empty()) {
        for (std::wstring_view lang : kLanguages) {
            files.push_back(ManifestPath(base, lang));
        }
        files.push_back(BatchFilePath(base));
    }
    return files;
}

}  // namespace

void ProcessLanguage(std::wstring_view lang, SweepRun& run) {
    SkipOnFailure([&] {
        const Path path = ManifestPath(run.BaseFolder, lang);
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
        HandleManifest(path, FindMatchingFile(path), Handling::Act, ReportingForLog(), logged, run.folders);
    });
    YieldToEvents();
}

namespace {

// Why a program in `programFolder` has no base folder, for the log.
void LogNoBaseFolder(const Path& programFolder) {
    LogSafely([&] {
        WriteDecisionLog(L"the program's folder " + programFolder.Text() +
                         (FullPathRoot(programFolder.Text()).empty()
                              ? L" is no full path to a drive or share: nothing is done"
                              : L" has no folder two levels above it on its drive or share for "
                                L"/noproduction: nothing is done"));
    });
}

void DeleteBatchFile(SweepRun& run) {
    SkipOnFailure([&] {
        const Path path = BatchFilePath(run.BaseFolder);
        const std::vector<FileReport> report =
            HandleOwnFile(path, Handling::Act, ReportingForLog(), &run.folders);
        LogSafely([&] {
            WriteDecisionLog(OwnFileName(L"batch file", {}, path) + L": " + DescribeOwnFile(path, report));
        });
    });
}

}  // namespace

void RunSweepFor(const std::wstring& argumentText, const Path& programFolder) {
    if (programFolder.Empty()) {
        WriteDecisionLog(L"the program's own folder cannot be found: nothing is done");
        return;  // without its own folder the sweep has nowhere safe to look
    }
    Path baseFolder;
    SkipOnFailure([&] { baseFolder = BaseFolderFor(argumentText, programFolder); });
    if (baseFolder.Empty()) {
        // Any other folder would depend on the current drive, or lie on
        // another share: nowhere the manifests were put.
        LogNoBaseFolder(programFolder);
        return;
    }
    SweepRun run(std::move(baseFolder));
    LogSafely([&] {
        WriteDecisionLog(L"base folder " + run.BaseFolder.Text() +
                         (HasDevelopmentSwitch(argumentText)
                              ? L" (/noproduction given: the folder ZV two levels above the program's)"
                              : L" (no /noproduction: the program's own folder)"));
    });
    for (std::wstring_view lang : kLanguages) {
        ProcessLanguage(lang, run);
    }
    DeleteBatchFile(run);
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

#include "sweep/modManifests.h"

#include <windows.h>

#include <algorithm>

#include "common/modErrors.h"
#include "common/modFailOpen.h"
#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modProcess.h"
#include "sweep/modUTF8_FileIO.h"

namespace vantrel::sweep {

namespace {

constexpr std::wstring_view kDevelopmentSwitch = L"/noproduction";
constexpr std::wstring_view kDevelopmentFolder = L"ZV\\";

}  // namespace

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

std::wstring ManifestPath(const std::wstring& baseFolder, std::wstring_view lang) {
    return baseFolder + std::wstring(kManifestPrefix) + std::wstring(lang) + std::wstring(kManifestExtension);
}

std::wstring BatchFilePath(const std::wstring& baseFolder) { return baseFolder + std::wstring(kBatchFile); }

ManifestText ReadManifestAt(const std::wstring& path) {
    ManifestText manifest;
    try {
        std::wstring content;
        manifest.read = ReadUTF8File(path, content, manifest.message, false, false, false);
        if (manifest.read) {
            manifest.lines = LineList::Split(std::move(content));
        }
    } catch (...) {
        manifest.read = false;
        manifest.message = SystemErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!manifest.read) {
        manifest.lines = LineList::OneEmptyLine();
    }
    return manifest;
}

LineList ReadManifestLines(const std::wstring& path, std::wstring* readerMessage) {
    try {
        if (FindMatchingFile(path) != Match::NotFound) {
            ManifestText manifest = ReadManifestAt(path);
            if (readerMessage) {
                *readerMessage = manifest.message;
            }
            return std::move(manifest.lines);
        }
        if (readerMessage) {
            *readerMessage = L"no such file";
        }
    } catch (...) {
    }
    return LineList::OneEmptyLine();
}

bool LeadsElsewhere(const std::wstring& path, FolderLocations& folders) {
    const Placement placement = PlacementOfPath(path, folders);
    return placement == Placement::Elsewhere || placement == Placement::NameInDoubt;
}

void HandleManifest(const std::wstring& path, Match match, Handling handling, bool report,
                    const ManifestSteps& steps, FolderLocations& folders) {
    ManifestFinding finding;
    finding.match = match;
    if (match == Match::NotFound) {
        SkipOnFailure([&] {
            if (steps.found) {
                steps.found(finding);
            }
        });
        return;
    }
    const bool decideOnly = handling == Handling::Decide;
    // Only a file that shows as one can be told to lead elsewhere.
    finding.leadsElsewhere = !decideOnly && match == Match::Found && LeadsElsewhere(path, folders);
    LineList lines = LineList::OneEmptyLine();
    if (!finding.leadsElsewhere) {
        SkipOnFailure([&] {
            std::wstring message;
            if (decideOnly) {
                ManifestText text = ReadManifestAt(path);
                lines = std::move(text.lines);
                message = std::move(text.message);
            } else {
                lines = ReadManifestLines(path, &message);
            }
            finding.read = message.empty();
            finding.message = std::move(message);
            finding.pieces = lines.size();
        });
    }
    SkipOnFailure([&] {
        if (steps.found) {
            steps.found(finding);
        }
    });
    if (finding.leadsElsewhere) {
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        SkipOnFailure([&] {
            const LineOutcome outcome =
                decideOnly ? LineOutcome{DecideLine(lines, i), {}}
                           : HandleLine(lines, i, handling == Handling::Check, report, &folders);
            // An empty last piece is only the end of the file's last line.
            if (steps.line && !(i + 1 == lines.size() && lines[i].empty())) {
                steps.line(i + 1, lines[i], outcome);
            }
        });
    }
    if (decideOnly) {
        return;
    }
    SkipOnFailure([&] {
        const std::vector<FileReport> itself =
            HandleOwnFile(path, handling == Handling::Check, report, &folders);
        if (steps.itself) {
            steps.itself(itself);
        }
    });
}

std::vector<FileReport> HandleOwnFile(const std::wstring& path, bool onlyCheck, bool report,
                                      FolderLocations* folders) {
    std::vector<FileReport> reports;
    DeleteOptions options;
    options.onlyCheck = onlyCheck;
    options.report = report ? &reports : nullptr;
    options.folders = folders;
    DeleteFiles(path, {}, options);
    return reports;
}

}  // namespace vantrel::sweep

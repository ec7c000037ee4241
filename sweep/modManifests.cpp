#include "sweep/modManifests.h"

#include <windows.h>

#include <algorithm>

#include "common/modErrors.h"
#include "common/modFailOpen.h"
#include "sweep/modUTF8_FileIO.h"

namespace vantrel::sweep {

std::wstring ManifestPath(const std::wstring& baseFolder, std::wstring_view lang) {
    return baseFolder + std::wstring(kManifestPrefix) + std::wstring(lang) + std::wstring(kManifestExtension);
}

std::wstring BatchFilePath(const std::wstring& baseFolder) { return baseFolder + std::wstring(kBatchFile); }

ManifestText ReadManifestAt(const std::wstring& path) {
    ManifestText manifest;
    const bool finished = SkipOnFailure([&] {
        std::wstring content;
        manifest.read = ReadUTF8File(path, content, manifest.message, kManifestReading.allowAnsi,
                                     kManifestReading.emptyOk, kManifestReading.descramble);
        if (manifest.read) {
            manifest.lines = LineList::Split(std::move(content));
        }
    });
    if (!finished) {
        manifest.read = false;
        manifest.message = SystemErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!manifest.read) {
        manifest.lines = LineList::OneEmptyLine();
    }
    return manifest;
}

LineList ReadManifestLines(const std::wstring& path, std::wstring* readerMessage) {
    // Absent or unreadable, or out of memory on the way: one empty line.
    LineList lines = LineList::OneEmptyLine();
    SkipOnFailure([&] {
        if (FindMatchingFile(path) == Match::NotFound) {
            if (readerMessage) {
                *readerMessage = L"no such file";
            }
            return;
        }
        ManifestText manifest = ReadManifestAt(path);
        if (readerMessage) {
            *readerMessage = manifest.message;
        }
        lines = std::move(manifest.lines);
    });
    return lines;
}

bool LeadsElsewhere(const std::wstring& path, FolderLocations& folders, std::wstring* spelledAlikeIn) {
    PlaceFound place = PlacementOfPath(path, folders);
    if (spelledAlikeIn) {
        *spelledAlikeIn = std::move(place.spelledAlikeIn);
    }
    return place.placement == Placement::Elsewhere || place.placement == Placement::NameInDoubt;
}

LineOutcome HandleLine(const LineList& lines, size_t i, Handling handling, Reporting reporting,
                       FolderLocations* folders) {
    LineOutcome outcome{DecideLine(lines, i), {}};
    if (handling != Handling::Decide && outcome.decision.action == LineAction::Examine) {
        DeleteOptions options;
        options.onlyCheck = handling == Handling::Check;
        options.report = reporting == Reporting::FilesReached ? &outcome.files : nullptr;
        options.folders = folders;
        DeleteFiles(outcome.decision.target, kShortcutSuffix, options);
    }
    return outcome;
}

void HandleManifest(const std::wstring& path, Match match, Handling handling, Reporting reporting,
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
    finding.leadsElsewhere =
        !decideOnly && match == Match::Found && LeadsElsewhere(path, folders, &finding.spelledAlikeIn);
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
            const LineOutcome outcome = HandleLine(lines, i, handling, reporting, &folders);
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
        const std::vector<FileReport> itself = HandleOwnFile(path, handling, reporting, &folders);
        if (steps.itself) {
            steps.itself(itself);
        }
    });
}

std::vector<FileReport> HandleOwnFile(const std::wstring& path, Handling handling, Reporting reporting,
                                      FolderLocations* folders) {
    std::vector<FileReport> reports;
    if (handling == Handling::Decide) {
        return reports;  // nothing on the machine is looked at
    }
    DeleteOptions options;
    options.onlyCheck = handling == Handling::Check;
    options.report = reporting == Reporting::FilesReached ? &reports : nullptr;
    options.folders = folders;
    DeleteFiles(path, {}, options);
    return reports;
}

}  // namespace vantrel::sweep

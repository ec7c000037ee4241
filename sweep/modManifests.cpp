#include "sweep/modManifests.h"

#include <windows.h>

#include <algorithm>

#include "common/modErrors.h"
#include "common/modFailOpen.h"
#include "common/modOpen.h"
#include "sweep/modUTF8_FileIO.h"

namespace vantrel::sweep {

Path ManifestPath(const Path& baseFolder, std::wstring_view lang) {
    return baseFolder.Child(std::wstring(kManifestPrefix) + std::wstring(lang) +
                            std::wstring(kManifestExtension));
}

Path BatchFilePath(const Path& baseFolder) { return baseFolder.Child(kBatchFile); }

namespace {

// The text a manifest read as `read(content, message)` gives, as lines; one
// empty line and the reader's message when it cannot be read.
template <typename Read>
ManifestText ManifestTextFrom(Read read) {
    ManifestText manifest;
    const bool finished = SkipOnFailure([&] {
        std::wstring content;
        manifest.read = read(content, manifest.message);
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

}  // namespace

ManifestText ReadManifestAt(const Path& path) {
    return ManifestTextFrom([&path](std::wstring& content, std::wstring& message) {
        return ReadUTF8File(path.Text(), content, message, kManifestReading.allowAnsi,
                            kManifestReading.emptyOk, kManifestReading.descramble);
    });
}

LineList ReadManifestLines(const Path& path, std::wstring* readerMessage) {
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

namespace {

// A manifest opened once to be placed, read and deleted. Where another
// program holds it so that it cannot be opened for both reading and
// deleting, `file` is empty, `error` says why, and it is opened for each
// step apart, as far as that can be done.
struct OpenManifest {
    UniqueFile file;
    DWORD error = 0;
};

OpenManifest OpenForHandling(const Path& path) {
    OpenManifest manifest;
    manifest.file = OpenToReadAndDelete(path);
    manifest.error = manifest.file ? 0 : ::GetLastError();
    return manifest;
}

// Where the manifest lies: whether it leads to another file than the entry
// it names (a link, which some systems (Wine) show as the file it points
// to; a name whose final path another name on the way is spelled like).
// Such a file is no file of this folder's; false when that cannot be told.
bool LeadsElsewhere(const OpenManifest& manifest, const Path& path, FolderLocations& folders,
                    std::wstring& spelledAlikeIn) {
    PlaceFound place =
        manifest.file ? PlacementOfEntry(manifest.file.get(), path, folders) : PlacementOfPath(path, folders);
    spelledAlikeIn = std::move(place.spelledAlikeIn);
    return place.placement == Placement::Elsewhere || place.placement == Placement::NameInDoubt;
}

// The manifest's lines, read through its handle, or by its path where it
// could not be opened for deleting too.
ManifestText ReadManifest(const OpenManifest& manifest, const Path& path) {
    if (!manifest.file) {
        return ReadManifestAt(path);
    }
    return ManifestTextFrom([&](std::wstring& content, std::wstring& message) {
        return ReadUTF8OpenFile(manifest.file.get(), path.Text(), content, message, kManifestReading);
    });
}

// The manifest itself, deleted (or checked) through its handle, or by its
// path where it could not be opened so.
std::vector<FileReport> DeleteManifest(OpenManifest& manifest, const Path& path, Handling handling,
                                       Reporting reporting, FolderLocations& folders) {
    if (!manifest.file) {
        return HandleOwnFile(path, handling, reporting, &folders);
    }
    DeleteOptions options;
    options.onlyCheck = handling == Handling::Check;
    options.folders = &folders;
    FileReport report = DeleteOpenFile(manifest.file, path, options);
    std::vector<FileReport> reports;
    if (reporting == Reporting::FilesReached) {
        reports.push_back(std::move(report));
    }
    return reports;
}

void Tell(const ManifestSteps& steps, const ManifestFinding& finding) {
    SkipOnFailure([&] {
        if (steps.found) {
            steps.found(finding);
        }
    });
}

// Decides every line and, as far as `handling` says, acts on it.
void HandleLines(const LineList& lines, Handling handling, Reporting reporting, const ManifestSteps& steps,
                 FolderLocations& folders) {
    for (size_t i = 0; i < lines.size(); ++i) {
        SkipOnFailure([&] {
            const LineOutcome outcome = HandleLine(lines, i, handling, reporting, &folders);
            // An empty last piece is only the end of the file's last line.
            if (steps.line && !(i + 1 == lines.size() && lines[i].empty())) {
                steps.line(i + 1, lines[i], outcome);
            }
        });
    }
}

}  // namespace

void HandleManifest(const Path& path, Match match, Handling handling, Reporting reporting,
                    const ManifestSteps& steps, FolderLocations& folders) {
    ManifestFinding finding;
    finding.match = match;
    if (match == Match::NotFound) {
        Tell(steps, finding);
        return;
    }
    const bool decideOnly = handling == Handling::Decide;
    OpenManifest manifest;
    if (!decideOnly) {
        manifest = OpenForHandling(path);
        // Only a file that shows as one can be told to lead elsewhere.
        finding.leadsElsewhere =
            match == Match::Found && LeadsElsewhere(manifest, path, folders, finding.spelledAlikeIn);
    }
    LineList lines = LineList::OneEmptyLine();
    if (!finding.leadsElsewhere) {
        SkipOnFailure([&] {
            ManifestText text = decideOnly ? ReadManifestAt(path) : ReadManifest(manifest, path);
            lines = std::move(text.lines);
            finding.read = text.message.empty();
            finding.message = std::move(text.message);
            finding.pieces = lines.size();
        });
    }
    Tell(steps, finding);
    if (finding.leadsElsewhere) {
        return;
    }
    HandleLines(lines, handling, reporting, steps, folders);
    if (decideOnly) {
        return;
    }
    SkipOnFailure([&] {
        const std::vector<FileReport> itself = DeleteManifest(manifest, path, handling, reporting, folders);
        if (steps.itself) {
            steps.itself(itself);
        }
    });
}

std::vector<FileReport> HandleOwnFile(const Path& path, Handling handling, Reporting reporting,
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

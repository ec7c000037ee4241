// Where the sweep's own files are (the manifests and the batch file) and
// how one manifest is dealt with: looked for, read, each line decided and
// acted on, and the manifest itself deleted. The sweep and sweepcheck both
// deal with a manifest through HandleManifest, the one asked to act, the
// other only to check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/modFiles.h"
#include "sweep/modLineRules.h"

namespace vantrel::sweep {

// The languages whose manifests the sweep reads, in the order it reads them.
inline constexpr std::wstring_view kLanguages[] = {L"en", L"de", L"fr", L"ja"};

// A manifest's name: the prefix, its language, the extension
// (__shortcutsweep-en.ini).
inline constexpr std::wstring_view kManifestPrefix = L"__shortcutsweep-";
inline constexpr std::wstring_view kManifestExtension = L".ini";

// The batch file the sweep deletes after the manifests.
inline constexpr std::wstring_view kBatchFile = L"__shortcutsweep.bat";

// baseFolder + kManifestPrefix + lang + kManifestExtension
Path ManifestPath(const Path& baseFolder, std::wstring_view lang);

// baseFolder + kBatchFile
Path BatchFilePath(const Path& baseFolder);

// A manifest read as the sweep reads it: its lines, or one empty line
// and the reader's message when it cannot be read.
struct ManifestText {
    bool read = false;
    LineList lines;
    std::wstring message;
};
ManifestText ReadManifestAt(const Path& path);

// The lines of the manifest at `path`; one empty line when it is absent or
// cannot be read. A test for it that cannot tell lets the reading run.
// `readerMessage`, when given, gets the reader's message (empty after a
// successful read).
LineList ReadManifestLines(const Path& path, std::wstring* readerMessage = nullptr);

// How a manifest was found, and read.
struct ManifestFinding {
    Match match = Match::NotFound;  // the existence test's answer
    bool leadsElsewhere = false;    // left alone, with everything it lists
    std::wstring spelledAlikeIn;    // why: another name in this folder is spelled like its path
    bool read = false;              // the reader read it
    std::wstring message;           // the reader's message, when it did not
    size_t pieces = 0;              // the pieces its text was cut into, the last one too
};

// A line decided and, as far as asked, acted on: `files` holds what became
// of every file it reached, when a report was asked for.
struct LineOutcome {
    LineDecision decision;
    std::vector<FileReport> files;
};

// What HandleManifest tells its caller, step by step; each may be left empty.
struct ManifestSteps {
    std::function<void(const ManifestFinding&)> found;
    // Every line but an empty last piece (the end of the last line).
    std::function<void(size_t number, std::wstring_view text, const LineOutcome&)> line;
    // What became of the manifest itself; no report when it was not there.
    std::function<void(const std::vector<FileReport>& itself)> itself;
};

// How far HandleManifest goes.
enum class Handling {
    Act,     // the sweep's own: every line acted on, the manifest deleted
    Check,   // every check made on this machine, nothing deleted
    Decide,  // the text alone: the manifest read as it is and every line
             // decided; nothing it names, nor the manifest's own place, is
             // looked at, and the manifest itself is not dealt with
};

// Whether the files a line or manifest reaches are reported one by one.
enum class Reporting { None, FilesReached };

// Decides line `i` of a manifest's lines and, as far as `handling` says,
// acts on it: deletes what it names, or makes every check but deletes
// nothing. `folders`, shared by the lines of a run, asks for each folder's
// place once.
LineOutcome HandleLine(const LineList& lines, size_t i, Handling handling, Reporting reporting,
                       FolderLocations* folders = nullptr);

// Deals with the manifest at `path` as the sweep does. `match` is the
// existence test's answer: a manifest not found is left alone, and so is a
// hidden or system one; one the test cannot tell about is read all the
// same, as a failing test lets the steps it guards run. The manifest is
// opened once, and placed, read and deleted through that one handle (where
// another program holds it so that it cannot be both read and deleted, it
// is opened for each as far as it can be). A manifest that leads to
// another file (a link; a path another name on the way is spelled like)
// is left alone. Then every line is decided and acted on, and the manifest
// itself deleted, also when it could not be read; `handling` says how far.
// A step that fails is passed over.
// `reporting` asks for the files each line reached. `folders` keeps where
// folders lie across the manifests of one run, so that each folder is
// asked about once.
void HandleManifest(const Path& path, Match match, Handling handling, Reporting reporting,
                    const ManifestSteps& steps, FolderLocations& folders);

// Deletes (Handling::Act) or checks (Handling::Check) a manifest or the
// batch file: its own name only, no suffix required. The report, when
// asked for, says what became of it; empty when it was not there.
std::vector<FileReport> HandleOwnFile(const Path& path, Handling handling, Reporting reporting,
                                      FolderLocations* folders = nullptr);

}  // namespace vantrel::sweep

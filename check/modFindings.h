// sweepcheck's view of one manifest: what the sweep would do with each of
// its lines on this machine now, and the traps that make it act otherwise
// than its author meant. Nothing here deletes or changes anything.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/modFiles.h"
#include "sweep/modLineRules.h"
#include "sweep/modManifests.h"

namespace vantrel::check {

enum class Trap {
    NoByteOrderMark,
    Utf16,
    LoneLineFeeds,
    LoneCarriageReturns,
    LastEntryWithoutCrLf,
    UrlInOtherCase,
    Refused,
    WildcardMatchesNothing,
    SameLineTwice,
    EmptyManifest,
    LeftAlone,
    NotRead,
};

// A short, stable name for pipelines: "no-byte-order-mark", "refused" ...
const wchar_t* TrapName(Trap trap);

struct Finding {
    Trap trap;
    size_t line = 0;  // from 1; 0 for the manifest as a whole
    std::wstring message;
};

struct CheckedLine {
    size_t number = 0;  // from 1
    std::wstring text;
    sweep::LineOutcome outcome;
};

struct CheckedManifest {
    std::wstring path;
    std::wstring language;           // empty for a file named on the command line
    bool present = false;            // the sweep would read it
    bool missing = false;            // there is no such file
    std::wstring absence;            // otherwise why not: "absent", "left alone ..."
    bool openable = true;            // its bytes could be read at all
    std::wstring openError;          // otherwise why not
    sweep::ManifestFinding finding;  // how the sweep's own procedure found and read it
    std::vector<CheckedLine> lines;  // every line, the last piece too when it holds text
    std::vector<FileReport> itself;  // what the sweep would do with the manifest afterwards
    std::vector<Finding> findings;
};

// Checks the manifest at `path` as the sweep would read it. `language` is
// given for a manifest the sweep finds by its name.
CheckedManifest CheckManifest(const std::wstring& path, const std::wstring& language);

}  // namespace vantrel::check

// sweepcheck's view of one manifest: what the sweep would do with each of
// its lines, on this machine now or, reading only the text, anywhere; and
// the traps that make it act otherwise than its author meant. Nothing here
// deletes or changes anything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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
    LineInQuotes,
    TrailingBlank,
    EnvironmentVariable,
    UnreadLanguage,
    NoManifests,
    InvalidUtf8,
    MissingLanguage,
    QuestionMark,  // the last: TrapNamed looks through every trap up to it
};

// A short, stable name for pipelines: "no-byte-order-mark", "refused" ...
const wchar_t* TrapName(Trap trap);

// The trap of that name; false when there is none.
bool TrapNamed(std::wstring_view name, Trap& trap);

// Every trap's name, "no-byte-order-mark, utf-16, ...".
std::wstring TrapNames();

struct Finding {
    Trap trap;
    size_t line = 0;  // from 1; 0 for the manifest as a whole
    std::wstring message;
    bool silenced = false;  // its trap named by --ignore: shown, but not counted
};

struct CheckedLine {
    size_t number = 0;  // from 1
    std::wstring text;
    sweep::LineOutcome outcome;
};

// How sweepcheck judges a manifest: on this machine, with the files each
// line reaches here now; or from its text alone, as any machine would.
enum class Mode { ThisMachine, TextOnly };

struct CheckedManifest {
    Path path;
    std::wstring language;           // empty for a file named on the command line
    bool present = false;            // the sweep would read it
    bool missing = false;            // there is no such file
    std::wstring absence;            // otherwise why not: "absent", "left alone ..."
    bool openable = true;            // the sweep's reader could read its bytes
    std::wstring openError;          // otherwise why not
    sweep::ManifestFinding finding;  // how the sweep's own procedure found and read it
    std::vector<CheckedLine> lines;  // every line, the last piece too when it holds text
    std::vector<FileReport> itself;  // what the sweep would do with the manifest afterwards
    std::vector<Finding> findings;
    Mode mode = Mode::ThisMachine;
};

// What the sweep would do with a line, in words: on this machine, or from
// the text alone.
std::wstring LineText(const CheckedManifest& manifest, const CheckedLine& line);

// Checks the manifest at `path` as the sweep would read it, through the
// sweep's own HandleManifest and reader. `language` is given for a
// manifest the sweep finds by its name. With Mode::TextOnly, only the
// manifest's own bytes are read: every line is decided, nothing it names
// is looked for, and the verdict is the same on any machine.
CheckedManifest CheckManifest(const Path& path, const std::wstring& language, Mode mode);

// The language code of a manifest file name, "it" for
// __shortcutsweep-it.ini; empty for any other name.
std::wstring LanguageOfName(std::wstring_view name);

// The language as the sweep spells it ("en" for "EN"), when the sweep
// reads its manifests; empty otherwise.
std::wstring ReadLanguage(std::wstring_view language);

// The languages the sweep reads, in its order: "en, de, fr and ja" with
// `last` "and".
std::wstring ReadLanguages(std::wstring_view last);

// A manifest of a language the sweep never reads, found beside the others:
// never read, never deleted, with a finding of its own.
CheckedManifest UnreadManifest(const Path& path, const std::wstring& language);

// A folder checked in which none of the sweep's four manifests is, with a
// finding of its own: a gate pointed at the wrong folder must not pass.
CheckedManifest FolderWithoutManifests(const Path& baseFolder);

// The finding for a language that --expect names and whose manifest is
// not there.
Finding MissingLanguage(const std::wstring& language);

// Marks the findings of these traps silenced.
void Silence(std::vector<CheckedManifest>& manifests, const std::vector<Trap>& traps);

// The findings that count towards the exit status: those not silenced.
size_t CountedFindings(const std::vector<CheckedManifest>& manifests);

// The findings silenced.
size_t SilencedFindings(const std::vector<CheckedManifest>& manifests);

}  // namespace vantrel::check

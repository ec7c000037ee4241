#include "check/modMain.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "check/modFindings.h"
#include "check/modOptions.h"
#include "check/modOutput.h"
#include "common/modFiles.h"
#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modText.h"
#include "sweep/modBaseFolder.h"
#include "sweep/modManifests.h"

namespace vantrel::check {

namespace {

// The full path of `given`, read as the system reads it; the text itself
// when it cannot be.
Path FullPath(const std::wstring& given) {
    const std::wstring full = SystemFullPath(given);
    return Path(full.empty() ? given : full);
}

// The folder `given`, as the sweep in it gets its own: a full path with no
// trailing separator but at a root, spelled as given. The system drops the
// dots and blanks at the end of a path's last piece, and "C:\T " would
// become C:\T, another folder, where the sweep in "C:\T " keeps them.
Path FolderAsNamed(const std::wstring& given) {
    std::wstring full = FullPath(given).Text();
    std::wstring_view named = given;
    while (!named.empty() && IsSeparator(named.back())) {
        named.remove_suffix(1);
    }
    const std::wstring last = Path(std::wstring(named)).Name();
    const size_t kept = last.find_last_not_of(L". ");
    if (last != L"." && last != L".." && kept != std::wstring::npos && kept + 1 != last.size() &&
        EndsWithIgnoringCase(full, last.substr(0, kept + 1))) {
        full += last.substr(kept + 1);
    }
    while (full.size() > 3 && IsSeparator(full.back())) {
        full.pop_back();
    }
    return Path(full);
}

// A manifest named by its 8.3 alias, by its own name: the sweep finds its
// manifests by their own names.
Path LongPath(const Path& path) {
    const std::wstring full = TextOfFittingSize(
        [&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
    return full.empty() ? path : Path(full);
}

void PrintHeader(const Output& out, Mode mode, Format format) {
    const bool textOnly = mode == Mode::TextOnly;
    if (format == Format::Json) {
        out.Line(L"{\"kind\":\"sweepcheck\",\"version\":" + Json(L"" VANTREL_PROGRAM_VERSION) +
                 L",\"mode\":" + Json(textOnly ? L"text-only" : L"this-machine") + L"}");
    } else if (textOnly) {
        out.Line(L"sweepcheck " VANTREL_PROGRAM_VERSION
                 L": what shortcutsweep would do with these manifests as written (their text only; nothing "
                 L"on this machine is looked at)");
    } else {
        out.Line(L"sweepcheck " VANTREL_PROGRAM_VERSION
                 L": what shortcutsweep would do on this machine now (nothing is changed)");
    }
}

// One run's manifests, and what could not be checked.
struct Checked {
    std::vector<CheckedManifest> manifests;
    std::vector<std::wstring> trouble;
};

// Checks and prints one manifest.
CheckedManifest& Check(Checked& checked, const Options& options, const Output& out, const Path& path,
                       const std::wstring& language) {
    checked.manifests.push_back(CheckManifest(path, language, options.mode));
    PrintManifest(out, checked.manifests.back(), options.format);
    return checked.manifests.back();
}

// The manifest files named on the command line.
void CheckFiles(Checked& checked, const Options& options, const Output& out) {
    for (const std::wstring& file : options.files) {
        const Path path = LongPath(FullPath(file));
        const std::wstring noLanguage;
        CheckedManifest& manifest = Check(checked, options, out, path, noLanguage);
        const std::wstring language = LanguageOfName(path.Name());
        if (manifest.missing) {
            checked.trouble.push_back(L"no such file: " + manifest.path.Text());
        } else if (options.mode == Mode::TextOnly && !manifest.openable) {
            checked.trouble.push_back(L"cannot read " + manifest.path.Text() + L" (" + manifest.openError +
                                      L")");
        } else if (!language.empty() && ReadLanguage(language).empty()) {
            manifest.findings.insert(manifest.findings.begin(),
                                     UnreadManifest(manifest.path, language).findings.front());
        }
    }
}

// The four manifests the sweep reads in `base`; whether any is there.
bool CheckLanguages(Checked& checked, const Options& options, const Output& out, const Path& base) {
    bool anyThere = false;
    for (std::wstring_view lang : sweep::kLanguages) {
        // Named, not temporaries: the manifest returned lives in `checked`.
        const Path path = sweep::ManifestPath(base, lang);
        const std::wstring language(lang);
        const CheckedManifest& manifest = Check(checked, options, out, path, language);
        anyThere = anyThere || !manifest.missing;
        // On this machine a manifest the sweep cannot read is a finding;
        // without its text the text cannot be judged.
        if (options.mode == Mode::TextOnly && manifest.present && !manifest.openable) {
            checked.trouble.push_back(L"cannot read " + manifest.path.Text() + L" (" + manifest.openError +
                                      L")");
        }
    }
    return anyThere;
}

// Manifests for languages the sweep never reads, lying beside the four.
void CheckUnreadLanguages(Checked& checked, const Options& options, const Output& out, const Path& base) {
    for (const std::wstring& name : NamesMatching(sweep::ManifestPath(base, L"*"))) {
        const std::wstring language = LanguageOfName(name);
        if (!language.empty() && ReadLanguage(language).empty()) {
            checked.manifests.push_back(UnreadManifest(base.Child(name), language));
            PrintManifest(out, checked.manifests.back(), options.format);
        }
    }
}

// The languages --expect names whose manifests are not there.
void NoteMissingLanguages(Checked& checked, const Options& options) {
    for (CheckedManifest& manifest : checked.manifests) {
        const bool expected = std::find(options.expected.begin(), options.expected.end(),
                                        manifest.language) != options.expected.end();
        if (expected && manifest.missing) {
            manifest.findings.push_back(MissingLanguage(manifest.language));
        }
    }
}

// The manifests the sweep would read for a program in the folder named.
void CheckFolder(Checked& checked, const Options& options, const Output& out) {
    const Path folder = FolderAsNamed(options.folder.empty() ? L"." : options.folder);
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        checked.trouble.push_back(L"no such folder: " + folder.Text());
        return;
    }
    const Path base = sweep::BaseFolderFor(options.development ? L"/noproduction" : L"", folder);
    if (base.Empty()) {
        checked.trouble.push_back(L"the sweep would do nothing for a program in " + folder.Text() +
                                  L": its folder, or the folder ZV two levels above it, is not on its own "
                                  L"drive or share");
        return;
    }
    if (options.format == Format::Text) {
        out.Line(L"base folder " + base.Text());
    }
    const bool anyThere = CheckLanguages(checked, options, out, base);
    CheckUnreadLanguages(checked, options, out, base);
    if (!anyThere) {
        checked.manifests.push_back(FolderWithoutManifests(base));
    } else {
        NoteMissingLanguages(checked, options);
    }
    if (options.mode == Mode::ThisMachine) {
        PrintBatchFile(out, sweep::BatchFilePath(base), options.format);
    }
}

// A usage error: the usage on standard error, and for a pipeline reading
// JSON its summary all the same.
int UsageError(int argc, wchar_t** argv, const std::wstring& error, const Output& out, const Output& errors) {
    errors.Line(L"sweepcheck: " + error);
    errors.Lines(UsageText());
    const auto given = [&](std::wstring_view option) {
        return std::find(argv + 1, argv + argc, option) != argv + argc;
    };
    if (given(L"--json")) {
        const Mode mode = given(L"--text-only") ? Mode::TextOnly : Mode::ThisMachine;
        PrintHeader(out, mode, Format::Json);
        PrintSummary(out, {}, {L"usage: " + error}, kTrouble, mode, Format::Json);
    }
    return kTrouble;
}

int Help(const Options& options, const Output& out, const Output& errors) {
    if (options.format == Format::Text) {
        out.Lines(UsageText());
        return kClean;
    }
    errors.Lines(UsageText());  // standard output holds only JSON
    PrintHeader(out, options.mode, Format::Json);
    PrintSummary(out, {}, {}, kClean, options.mode, Format::Json);
    return kClean;
}

}  // namespace

int Main(int argc, wchar_t** argv) {
    const Output out(STD_OUTPUT_HANDLE);
    const Output errors(STD_ERROR_HANDLE);
    Options options;
    std::wstring error;
    if (!ParseArguments(argc, argv, options, error)) {
        return UsageError(argc, argv, error, out, errors);
    }
    if (options.help) {
        return Help(options, out, errors);
    }
    Checked checked;
    PrintHeader(out, options.mode, options.format);
    if (!options.files.empty()) {
        CheckFiles(checked, options, out);
    } else {
        CheckFolder(checked, options, out);
    }
    Silence(checked.manifests, options.ignored);
    PrintFindings(out, checked.manifests, options.format);
    const int status = !checked.trouble.empty()                 ? kTrouble
                       : CountedFindings(checked.manifests) > 0 ? kFindings
                                                                : kClean;
    PrintSummary(out, checked.manifests, checked.trouble, status, options.mode, options.format);
    for (const std::wstring& reason : checked.trouble) {
        errors.Line(L"sweepcheck: " + reason);
    }
    return status;
}

}  // namespace vantrel::check

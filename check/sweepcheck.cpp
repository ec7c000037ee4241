// sweepcheck: shows, without changing anything, what shortcutsweep would do
// with a manifest on this machine now, and which of the manifest format's
// traps it falls into. For installer authors and their build pipelines.
//
//   sweepcheck.exe [--json] [--text-only] [--ignore TRAPS] [--expect LANGS] [/noproduction] [FOLDER]
//       the manifests the sweep would read for a program in FOLDER
//       (default: the current folder)
//   sweepcheck.exe [--json] [--text-only] [--ignore TRAPS] FILE.ini [FILE.ini ...]
//       these manifest files
//
// --ignore wildcard-matches-nothing,... silences the findings of these traps: they
// are shown, marked, and do not count.
// Only the options it knows are options; any other argument is a path.
// Exit status: 0 without findings, 1 with findings, 2 for a usage error or
// a file that cannot be read.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "check/modFindings.h"
#include "check/modOutput.h"
#include "common/Handle.h"
#include "common/modFailOpen.h"
#include "common/modNames.h"
#include "common/modPaths.h"
#include "common/modProcess.h"
#include "common/modText.h"
#include "sweep/modBaseFolder.h"
#include "sweep/modManifests.h"

namespace vantrel::check {

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

constexpr wchar_t kUsage[] =
    L"usage: sweepcheck [--json] [--text-only] [--ignore TRAPS] [--expect LANGS] [/noproduction] [FOLDER]\n"
    L"       sweepcheck [--json] [--text-only] [--ignore TRAPS] FILE.ini [FILE.ini ...]\n"
    L"Shows what shortcutsweep would do with its manifests, and the traps they fall into;\n"
    L"changes nothing. FOLDER is the folder of shortcutsweep.exe (default: the current\n"
    L"folder); /noproduction reads the folder ZV two levels above it, as the sweep does.\n"
    L"By default it looks at this machine: the files each line would delete now. With\n"
    L"--text-only it reads only the manifests' text, so that a build machine gives the\n"
    L"verdict any machine would. --expect en,de,fr,ja makes each of these languages whose\n"
    L"manifest is not in FOLDER a finding. --ignore TRAP[,TRAP] silences the findings of\n"
    L"these traps, by the names shown in brackets (--ignore question-mark where a \"?\" is\n"
    L"meant as a wildcard; --ignore wildcard-matches-nothing on an install whose product\n"
    L"adds the shortcuts later): they are still shown, marked, but do not count.\n"
    L"--json prints one JSON object a line.\n"
    L"Options are --json, --text-only, --expect, --ignore, /noproduction and /?; any other\n"
    L"argument is a path, /home/me/build under Wine too.\n"
    L"Exit status: 0 no findings, 1 findings, 2 usage error or a manifest that could not\n"
    L"be checked.\n";

struct Options {
    Format format = Format::Text;
    Mode mode = Mode::ThisMachine;
    bool development = false;
    bool help = false;
    std::vector<std::wstring> expected;  // --expect: languages whose manifests must be there
    std::vector<Trap> ignored;           // --ignore: traps whose findings do not count
    std::vector<std::wstring> files;     // FILE.ini arguments
    std::wstring folder;                 // the FOLDER argument
};

// The languages of --expect's list, "en,de,fr,ja", as the sweep spells them.
bool ParseLanguages(std::wstring_view list, std::vector<std::wstring>& languages, std::wstring& error) {
    for (;;) {
        const size_t comma = list.find(L',');
        const std::wstring_view given = list.substr(0, comma);
        const std::wstring language = ReadLanguage(given);
        if (language.empty()) {
            error = L"--expect: \"" + std::wstring(given) + L"\" is none of the languages the sweep reads (" +
                    ReadLanguages(L"or") + L")";
            return false;
        }
        if (std::find(languages.begin(), languages.end(), language) == languages.end()) {
            languages.push_back(language);
        }
        if (comma == std::wstring_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

// The traps of --ignore's list, "wildcard-matches-nothing,same-line-twice".
bool ParseTraps(std::wstring_view list, std::vector<Trap>& traps, std::wstring& error) {
    for (;;) {
        const size_t comma = list.find(L',');
        const std::wstring_view given = list.substr(0, comma);
        Trap trap;
        if (!TrapNamed(given, trap)) {
            error = L"--ignore: \"" + std::wstring(given) + L"\" is no trap's name (" + TrapNames() + L")";
            return false;
        }
        traps.push_back(trap);
        if (comma == std::wstring_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

bool ParseArguments(int argc, wchar_t** argv, Options& options, std::wstring& error) {
    std::vector<std::wstring> positional;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--json") {
            options.format = Format::Json;
        } else if (argument == L"--text-only") {
            options.mode = Mode::TextOnly;
        } else if (argument == L"--expect" || argument.compare(0, 9, L"--expect=") == 0) {
            if (argument == L"--expect" && i + 1 == argc) {
                std::wstring all;
                for (std::wstring_view language : sweep::kLanguages) {
                    all += (all.empty() ? L"" : L",") + std::wstring(language);
                }
                error = L"--expect needs the languages, such as --expect " + all;
                return false;
            }
            const std::wstring list = argument == L"--expect" ? std::wstring(argv[++i]) : argument.substr(9);
            if (!ParseLanguages(list, options.expected, error)) {
                return false;
            }
        } else if (argument == L"--ignore" || argument.compare(0, 9, L"--ignore=") == 0) {
            if (argument == L"--ignore" && i + 1 == argc) {
                error = L"--ignore needs the traps' names, such as --ignore wildcard-matches-nothing";
                return false;
            }
            const std::wstring list = argument == L"--ignore" ? std::wstring(argv[++i]) : argument.substr(9);
            if (!ParseTraps(list, options.ignored, error)) {
                return false;
            }
        } else if (EqualsIgnoringCase(argument, L"/noproduction")) {
            options.development = true;
        } else if (argument == L"/?" || argument == L"-h" || argument == L"--help") {
            options.help = true;
        } else if (argument.compare(0, 2, L"--") == 0) {
            // Any other argument is a path: /home/me/build is one under Wine.
            error = L"unknown option " + argument;
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    size_t named = 0;
    for (const std::wstring& argument : positional) {
        named += EndsWithIgnoringCase(argument, L".ini") ? 1u : 0u;
    }
    if (named > 0) {
        if (named != positional.size() || options.development || !options.expected.empty()) {
            error =
                L"give either manifest files (*.ini) or one folder, with /noproduction and --expect only for "
                L"a folder";
            return false;
        }
        options.files = positional;
    } else if (positional.size() > 1) {
        error = L"give one folder at most";
        return false;
    } else if (positional.size() == 1) {
        options.folder = positional.front();
    }
    return true;
}

// The full path of `path`, read as the system reads it; the path itself
// when it cannot be.
std::wstring FullPath(const std::wstring& path) {
    std::wstring full = TextOfFittingSize(
        [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    return full.empty() ? path : full;
}

// The full path of the folder `given`, spelled as given: the system drops
// the dots and blanks at the end of a path's last piece, and "C:\T " would
// become C:\T, another folder, where the sweep in "C:\T " keeps them.
std::wstring FolderAsNamed(const std::wstring& given) {
    std::wstring full = FullPath(given);
    std::wstring_view named = given;
    while (!named.empty() && IsSeparator(named.back())) {
        named.remove_suffix(1);
    }
    const std::wstring_view last = SplitPath(named).name;
    const size_t kept = last.find_last_not_of(L". ");
    if (last == L"." || last == L".." || kept == std::wstring_view::npos || kept + 1 == last.size()) {
        return full;
    }
    const std::wstring_view trimmed = last.substr(0, kept + 1);
    const std::wstring_view dropped = last.substr(kept + 1);
    if (full.size() >= trimmed.size() &&
        std::wstring_view(full).substr(full.size() - trimmed.size()) == trimmed) {
        full += dropped;
    }
    return full;
}

// The folder as the sweep gets its own: no trailing backslash but at a root.
std::wstring ProgramFolderOf(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

// A manifest named by its 8.3 alias, by its own name: the sweep finds its
// manifests by their own names.
std::wstring LongPath(const std::wstring& path) {
    std::wstring full = TextOfFittingSize(
        [&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
    return full.empty() ? path : full;
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

int Run(int argc, wchar_t** argv) {
    const Output out(STD_OUTPUT_HANDLE);
    const Output errors(STD_ERROR_HANDLE);
    Options options;
    std::wstring error;
    if (!ParseArguments(argc, argv, options, error)) {
        errors.Line(L"sweepcheck: " + error);
        errors.Lines(kUsage);
        // A pipeline reading the JSON gets its summary all the same.
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
    if (options.help) {
        if (options.format == Format::Text) {
            out.Lines(kUsage);
            return kClean;
        }
        errors.Lines(kUsage);  // standard output holds only JSON
        PrintHeader(out, options.mode, Format::Json);
        PrintSummary(out, {}, {}, kClean, options.mode, Format::Json);
        return kClean;
    }
    std::vector<CheckedManifest> manifests;
    std::vector<std::wstring> trouble;  // what could not be checked
    PrintHeader(out, options.mode, options.format);
    const auto check = [&](const std::wstring& path, const std::wstring& language) {
        manifests.push_back(CheckManifest(path, language, options.mode));
        PrintManifest(out, manifests.back(), options.format);
    };
    if (!options.files.empty()) {
        for (const std::wstring& file : options.files) {
            const std::wstring path = LongPath(FullPath(file));
            check(path, std::wstring());
            CheckedManifest& manifest = manifests.back();
            const std::wstring language = LanguageOfName(SplitPath(path).name);
            if (manifest.missing) {
                trouble.push_back(L"no such file: " + manifest.path);
            } else if (options.mode == Mode::TextOnly && !manifest.openable) {
                trouble.push_back(L"cannot read " + manifest.path + L" (" + manifest.openError + L")");
            } else if (!language.empty() && ReadLanguage(language).empty()) {
                manifest.findings.insert(manifest.findings.begin(),
                                         UnreadManifest(manifest.path, language).findings.front());
            }
        }
    } else {
        const std::wstring folder =
            ProgramFolderOf(FolderAsNamed(options.folder.empty() ? L"." : options.folder));
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        const std::wstring base =
            attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                ? std::wstring()
                : sweep::BaseFolderFor(options.development ? L"/noproduction" : L"", folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            trouble.push_back(L"no such folder: " + folder);
        } else if (base.empty()) {
            trouble.push_back(
                L"the sweep would do nothing for a program in " + folder +
                L": its folder, or the folder ZV two levels above it, is not on its own drive or "
                L"share");
        } else {
            if (options.format == Format::Text) {
                out.Line(L"base folder " + base);
            }
            bool anyThere = false;
            for (std::wstring_view lang : sweep::kLanguages) {
                check(sweep::ManifestPath(base, lang), std::wstring(lang));
                const CheckedManifest& manifest = manifests.back();
                anyThere = anyThere || !manifest.missing;
                // On this machine a manifest the sweep cannot read is a
                // finding; without its text the text cannot be judged.
                if (options.mode == Mode::TextOnly && manifest.present && !manifest.openable) {
                    trouble.push_back(L"cannot read " + manifest.path + L" (" + manifest.openError + L")");
                }
            }
            // Manifests for languages the sweep never reads, lying beside the four.
            WIN32_FIND_DATAW data;
            const UniqueFind find(::FindFirstFileExW(sweep::ManifestPath(base, L"*").c_str(), FindExInfoBasic,
                                                     &data, FindExSearchNameMatch, nullptr, 0));
            for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &data)) {
                const std::wstring language = LanguageOfName(data.cFileName);
                if (!language.empty() && ReadLanguage(language).empty()) {
                    manifests.push_back(UnreadManifest(base + data.cFileName, language));
                    PrintManifest(out, manifests.back(), options.format);
                }
            }
            if (!anyThere) {
                manifests.push_back(FolderWithoutManifests(base));
            } else {
                for (CheckedManifest& manifest : manifests) {
                    const bool expected = std::find(options.expected.begin(), options.expected.end(),
                                                    manifest.language) != options.expected.end();
                    if (expected && manifest.missing) {
                        manifest.findings.push_back(MissingLanguage(manifest.language));
                    }
                }
            }
            if (options.mode == Mode::ThisMachine) {
                PrintBatchFile(out, sweep::BatchFilePath(base), options.format);
            }
        }
    }
    Silence(manifests, options.ignored);
    PrintFindings(out, manifests, options.format);
    const int status = !trouble.empty() ? kTrouble : CountedFindings(manifests) > 0 ? kFindings : kClean;
    PrintSummary(out, manifests, trouble, status, options.mode, options.format);
    for (const std::wstring& reason : trouble) {
        errors.Line(L"sweepcheck: " + reason);
    }
    return status;
}

}  // namespace

}  // namespace vantrel::check

int wmain(int argc, wchar_t** argv) {
    vantrel::RestrictDllSearchToSystem();
    // A run that fails on the way (out of memory) is trouble: status 2.
    int status = 2;
    vantrel::SkipOnFailure([&] { status = vantrel::check::Run(argc, argv); });
    return status;
}

#include "check/modOptions.h"

#include <algorithm>

#include "common/modNames.h"
#include "sweep/modManifests.h"

namespace vantrel::check {

namespace {

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

// The paths given: manifest files, or one folder.
bool TakePaths(const std::vector<std::wstring>& positional, Options& options, std::wstring& error) {
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

// An option that takes a list (--expect, --ignore), as "--option LIST" or
// "--option=LIST": the list, or false at the end of the arguments.
bool ListOf(const std::wstring& option, int argc, wchar_t** argv, int& i, std::wstring& list) {
    const std::wstring& argument = argv[i];
    if (argument.size() > option.size()) {
        list = argument.substr(option.size() + 1);
        return true;
    }
    if (i + 1 == argc) {
        return false;
    }
    list = argv[++i];
    return true;
}

bool Is(const std::wstring& argument, const std::wstring& option) {
    return argument == option || argument.compare(0, option.size() + 1, option + L"=") == 0;
}

}  // namespace

bool ParseArguments(int argc, wchar_t** argv, Options& options, std::wstring& error) {
    std::vector<std::wstring> positional;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        std::wstring list;
        if (argument == L"--json") {
            options.format = Format::Json;
        } else if (argument == L"--text-only") {
            options.mode = Mode::TextOnly;
        } else if (Is(argument, L"--expect")) {
            if (!ListOf(L"--expect", argc, argv, i, list)) {
                error = L"--expect needs the languages, such as --expect en,de,fr,ja";
                return false;
            }
            if (!ParseLanguages(list, options.expected, error)) {
                return false;
            }
        } else if (Is(argument, L"--ignore")) {
            if (!ListOf(L"--ignore", argc, argv, i, list)) {
                error = L"--ignore needs the traps' names, such as --ignore wildcard-matches-nothing";
                return false;
            }
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
    return TakePaths(positional, options, error);
}

const wchar_t* UsageText() { return kUsage; }

}  // namespace vantrel::check

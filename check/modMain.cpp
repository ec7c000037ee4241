// sweepcheck: shows, without changing anything, what shortcutsweep would do
// with a manifest on this machine now, and which of the manifest format's
// traps it falls into. For installer authors and their build pipelines.
//
//   sweepcheck.exe [--json] [/noproduction] [FOLDER]
//       the manifests the sweep would read for a program in FOLDER
//       (default: the current folder)
//   sweepcheck.exe [--json] FILE.ini [FILE.ini ...]
//       these manifest files
//
// Exit status: 0 without findings, 1 with findings, 2 for a usage error or
// a file that cannot be read.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "modFiles.h"
#include "modFindings.h"
#include "modLog.h"
#include "modMain.h"
#include "modProcess.h"

namespace vantrel::check {

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

constexpr wchar_t kUsage[] =
    L"usage: sweepcheck [--json] [/noproduction] [FOLDER]\n"
    L"       sweepcheck [--json] FILE.ini [FILE.ini ...]\n"
    L"Shows what shortcutsweep would do with its manifests on this machine now, and the\n"
    L"traps they fall into; changes nothing. FOLDER is the folder of shortcutsweep.exe\n"
    L"(default: the current folder); /noproduction reads the folder ZV two levels above\n"
    L"it, as the sweep does. Exit status: 0 no findings, 1 findings, 2 usage error or a\n"
    L"file that cannot be read.\n";

// Text to a console in UTF-16, so that any name shows as it is; to a file or
// a pipe in UTF-8.
class Output {
public:
    explicit Output(DWORD which) : handle_(::GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
    }

    void Line(std::wstring_view text) const {
        std::wstring line(text);
        line += console_ ? L"\n" : L"\r\n";
        DWORD written = 0;
        if (console_) {
            // In pieces: older consoles refuse one write of 64 KiB or more.
            constexpr size_t kPiece = 8192;
            for (size_t at = 0; at < line.size(); at += kPiece) {
                const size_t count = std::min(kPiece, line.size() - at);
                ::WriteConsoleW(handle_, line.data() + at, static_cast<DWORD>(count), &written, nullptr);
            }
            return;
        }
        const std::string utf8 = Utf8Text(line);
        ::WriteFile(handle_, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }

    void Lines(std::wstring_view text) const {
        while (!text.empty()) {
            const size_t cut = text.find(L'\n');
            Line(text.substr(0, cut));
            text.remove_prefix(cut == std::wstring_view::npos ? text.size() : cut + 1);
        }
    }

private:
    HANDLE handle_;
    bool console_ = false;
};

struct Options {
    bool json = false;
    bool development = false;
    bool help = false;
    std::vector<std::wstring> files;  // FILE.ini arguments
    std::wstring folder;              // the FOLDER argument
};

bool ParseArguments(int argc, wchar_t** argv, Options& options, std::wstring& error) {
    std::vector<std::wstring> positional;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--json") {
            options.json = true;
        } else if (EqualsIgnoringCase(argument, L"/noproduction")) {
            options.development = true;
        } else if (argument == L"/?" || argument == L"-h" || argument == L"--help") {
            options.help = true;
        } else if (!argument.empty() && (argument[0] == L'-' || argument[0] == L'/')) {
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
        if (named != positional.size() || options.development) {
            error = L"give either manifest files (*.ini) or one folder, with /noproduction only for a folder";
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

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
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
    std::wstring full(32768, L'\0');
    const DWORD length = ::GetLongPathNameW(path.c_str(), full.data(), static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    return full;
}

// --- JSON lines --------------------------------------------------------------

std::wstring Json(std::wstring_view text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

const wchar_t* ActionWord(LineAction action) {
    switch (action) {
        case LineAction::Examine:
            return L"examine";
        case LineAction::Ignore:
            return L"ignore";
        case LineAction::Refuse:
            return L"refuse";
    }
    return L"";
}

std::wstring JsonFile(const FileReport& file) {
    return L"{\"path\":" + Json(DisplayPath(file.path)) + L",\"verdict\":" + Json(VerdictWord(file.verdict)) +
           L",\"reason\":" +
           Json(file.verdict == FileVerdict::Kept ? KeepReasonText(file.reason, file.error)
                                                  : std::wstring()) +
           L",\"alias\":" + Json(file.alias) + L"}";
}

// --- One manifest ------------------------------------------------------------

std::wstring StateOf(const CheckedManifest& manifest) {
    if (!manifest.present) {
        return manifest.absence;
    }
    if (!manifest.openable) {
        return L"cannot be read (" + manifest.openError + L")";
    }
    return manifest.reading.read
               ? L"found, read"
               : L"found, not read (" + manifest.reading.message + L"): no line is acted on";
}

std::wstring ItselfText(const CheckedManifest& manifest) {
    return manifest.itself.path.empty() ? std::wstring() : DescribeVerdict(manifest.itself);
}

void PrintManifest(const Output& out, const CheckedManifest& manifest, bool json) {
    const std::wstring path = DisplayPath(manifest.path);
    if (json) {
        out.Line(L"{\"kind\":\"manifest\",\"path\":" + Json(path) + L",\"language\":" +
                 Json(manifest.language) + L",\"present\":" + (manifest.present ? L"true" : L"false") +
                 L",\"read\":" + (manifest.reading.read ? L"true" : L"false") + L",\"state\":" +
                 Json(StateOf(manifest)) + L",\"itself\":" + Json(ItselfText(manifest)) + L"}");
        for (const CheckedLine& line : manifest.lines) {
            std::wstring files;
            for (const FileReport& file : line.outcome.files) {
                files += (files.empty() ? L"" : L",") + JsonFile(file);
            }
            const LineDecision& decision = line.outcome.decision;
            out.Line(L"{\"kind\":\"line\",\"manifest\":" + Json(path) + L",\"line\":" +
                     std::to_wstring(line.number) + L",\"text\":" + Json(line.text) + L",\"action\":" +
                     Json(ActionWord(decision.action)) + L",\"reason\":" +
                     Json(decision.reason ? decision.reason : L"") + L",\"outcome\":" +
                     Json(DescribeOutcome(line.outcome)) + L",\"files\":[" + files + L"]}");
        }
        return;
    }
    out.Line(L"manifest " + (manifest.language.empty() ? L"" : manifest.language + L" ") + path + L": " +
             StateOf(manifest));
    for (const CheckedLine& line : manifest.lines) {
        out.Line(L"  line " + std::to_wstring(line.number) + L" " + Quoted(line.text) + L": " +
                 DescribeOutcome(line.outcome));
    }
    if (!ItselfText(manifest).empty()) {
        out.Line(L"  the manifest itself, afterwards: " + ItselfText(manifest));
    }
}

void PrintFindings(const Output& out, const std::vector<CheckedManifest>& manifests, bool json) {
    size_t count = 0;
    for (const CheckedManifest& manifest : manifests) {
        count += manifest.findings.size();
    }
    if (!json) {
        out.Line(L"");
        out.Line(count == 0 ? L"No findings: the sweep would act on these manifests as written."
                            : std::to_wstring(count) + L" finding(s):");
    }
    for (const CheckedManifest& manifest : manifests) {
        const std::wstring path = DisplayPath(manifest.path);
        for (const Finding& finding : manifest.findings) {
            if (json) {
                out.Line(L"{\"kind\":\"finding\",\"manifest\":" + Json(path) + L",\"line\":" +
                         std::to_wstring(finding.line) + L",\"trap\":" + Json(TrapName(finding.trap)) +
                         L",\"message\":" + Json(finding.message) + L"}");
            } else {
                out.Line(L"  " + path + (finding.line ? L" line " + std::to_wstring(finding.line) : L"") +
                         L": " + finding.message + L" [" + TrapName(finding.trap) + L"]");
            }
        }
    }
}

void PrintBatchFile(const Output& out, const std::wstring& path, bool json) {
    std::vector<FileReport> report;
    DeleteOptions options;
    options.onlyCheck = true;
    options.report = &report;
    DeleteFiles(path, {}, options);
    const std::wstring state = report.empty() ? AbsenceOf(path) : DescribeVerdict(report.front());
    if (json) {
        out.Line(L"{\"kind\":\"batch file\",\"path\":" + Json(DisplayPath(path)) + L",\"state\":" +
                 Json(state) + L"}");
    } else {
        out.Line(L"batch file " + DisplayPath(path) + L": " + state);
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
        return kTrouble;
    }
    if (options.help) {
        out.Lines(kUsage);
        return kClean;
    }
    std::vector<CheckedManifest> manifests;
    bool trouble = false;
    if (options.json) {
        out.Line(L"{\"kind\":\"sweepcheck\",\"version\":" + Json(L"" VANTREL_PROGRAM_VERSION) + L"}");
    } else {
        out.Line(L"sweepcheck " VANTREL_PROGRAM_VERSION
                 L": what shortcutsweep would do on this machine now (nothing is changed)");
    }
    if (!options.files.empty()) {
        for (const std::wstring& file : options.files) {
            manifests.push_back(CheckManifest(LongPath(FullPath(file)), std::wstring()));
            const CheckedManifest& manifest = manifests.back();
            PrintManifest(out, manifest, options.json);
            if (manifest.missing || !manifest.openable) {
                errors.Line(L"sweepcheck: cannot read " + manifest.path);
                trouble = true;
            }
        }
    } else {
        const std::wstring folder = ProgramFolderOf(FullPath(options.folder.empty() ? L"." : options.folder));
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errors.Line(L"sweepcheck: no such folder: " + folder);
            return kTrouble;
        }
        BaseFolder = BaseFolderFor(options.development ? L"/noproduction" : L"", folder);
        if (!options.json) {
            out.Line(L"base folder " + BaseFolder);
        }
        for (const wchar_t* lang : {L"en", L"de", L"fr", L"ja"}) {
            manifests.push_back(CheckManifest(ManifestPath(lang), lang));
            trouble = trouble || (manifests.back().present && !manifests.back().openable);
            PrintManifest(out, manifests.back(), options.json);
        }
        PrintBatchFile(out, BaseFolder + L"__shortcutsweep.bat", options.json);
    }
    PrintFindings(out, manifests, options.json);
    size_t findings = 0;
    for (const CheckedManifest& manifest : manifests) {
        findings += manifest.findings.size();
    }
    const int status = trouble ? kTrouble : findings > 0 ? kFindings : kClean;
    if (options.json) {
        out.Line(L"{\"kind\":\"summary\",\"manifests\":" + std::to_wstring(manifests.size()) +
                 L",\"findings\":" + std::to_wstring(findings) + L",\"status\":" + std::to_wstring(status) +
                 L"}");
    }
    return status;
}

}  // namespace

}  // namespace vantrel::check

int wmain(int argc, wchar_t** argv) {
    vantrel::RestrictDllSearchToSystem();
    try {
        return vantrel::check::Run(argc, argv);
    } catch (...) {
        return 2;
    }
}

#include "check/modOutput.h"

#include <cstdio>

#include "sweep/modOutcomeWords.h"

namespace vantrel::check {

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

namespace {

const wchar_t* ActionWord(sweep::LineAction action) {
    switch (action) {
        case sweep::LineAction::Examine:
            return L"examine";
        case sweep::LineAction::Ignore:
            return L"ignore";
        case sweep::LineAction::Refuse:
            return L"refuse";
    }
    return L"";
}

std::wstring JsonFile(const FileReport& file) {
    return L"{\"path\":" + Json(file.path.Ordinary()) + L",\"verdict\":" +
           Json(sweep::VerdictWord(file.verdict)) + L",\"reason\":" +
           Json(file.verdict == FileVerdict::Kept
                    ? sweep::KeepReasonText(file.reason, file.error, file.spelledAlikeIn)
                    : std::wstring()) +
           L",\"alias\":" + Json(file.alias) + L"}";
}

std::wstring StateOf(const CheckedManifest& manifest) {
    if (!manifest.present) {
        return manifest.absence;
    }
    return sweep::DescribeFinding(manifest.path, manifest.finding);
}

std::wstring ItselfText(const CheckedManifest& manifest) {
    return manifest.itself.empty() ? std::wstring() : sweep::DescribeVerdict(manifest.itself.front());
}

}  // namespace

void PrintManifest(const Output& out, const CheckedManifest& manifest, Format format) {
    const bool json = format == Format::Json;
    const std::wstring path = manifest.path.Ordinary();
    if (json) {
        out.Line(L"{\"kind\":\"manifest\",\"path\":" + Json(path) + L",\"language\":" +
                 Json(manifest.language) + L",\"present\":" + (manifest.present ? L"true" : L"false") +
                 L",\"read\":" + (manifest.finding.read ? L"true" : L"false") + L",\"state\":" +
                 Json(StateOf(manifest)) + L",\"itself\":" + Json(ItselfText(manifest)) + L"}");
        for (const CheckedLine& line : manifest.lines) {
            std::wstring files;
            for (const FileReport& file : line.outcome.files) {
                files += (files.empty() ? L"" : L",") + JsonFile(file);
            }
            const sweep::LineDecision& decision = line.outcome.decision;
            out.Line(L"{\"kind\":\"line\",\"manifest\":" + Json(path) + L",\"line\":" +
                     std::to_wstring(line.number) + L",\"text\":" + Json(line.text) + L",\"action\":" +
                     Json(ActionWord(decision.action)) + L",\"reason\":" +
                     Json(decision.reason ? decision.reason : L"") + L",\"outcome\":" +
                     Json(LineText(manifest, line)) + L",\"files\":[" + files + L"]}");
        }
        return;
    }
    out.Line(L"manifest " + (manifest.language.empty() ? L"" : manifest.language + L" ") + path + L": " +
             StateOf(manifest));
    for (const CheckedLine& line : manifest.lines) {
        out.Line(L"  line " + std::to_wstring(line.number) + L" " + Quoted(line.text) + L": " +
                 LineText(manifest, line));
    }
    if (!ItselfText(manifest).empty()) {
        out.Line(L"  the manifest itself, afterwards: " + ItselfText(manifest));
    }
}

// The manifests among the entries checked: a folder without any (its path
// ends in a separator) is none.
size_t ManifestsIn(const std::vector<CheckedManifest>& manifests) {
    size_t count = 0;
    for (const CheckedManifest& manifest : manifests) {
        const std::wstring& path = manifest.path.Text();
        count += !path.empty() && path.back() != L'\\' ? 1u : 0u;
    }
    return count;
}

void PrintFindings(const Output& out, const std::vector<CheckedManifest>& manifests, Format format) {
    const bool json = format == Format::Json;
    // As JSON every finding in its place, marked; as text those that count
    // first, then those silenced.
    for (const bool silenced : {false, true}) {
        const size_t count = silenced ? SilencedFindings(manifests) : CountedFindings(manifests);
        if (!json && count > 0) {
            out.Line(L"");
            out.Line(std::to_wstring(count) +
                     (silenced ? L" finding(s) silenced by --ignore, not counted:" : L" finding(s):"));
        }
        for (const CheckedManifest& manifest : manifests) {
            const std::wstring path = manifest.path.Ordinary();
            for (const Finding& finding : manifest.findings) {
                if (json && !silenced) {
                    out.Line(L"{\"kind\":\"finding\",\"manifest\":" + Json(path) + L",\"line\":" +
                             std::to_wstring(finding.line) + L",\"trap\":" + Json(TrapName(finding.trap)) +
                             L",\"message\":" + Json(finding.message) + L",\"silenced\":" +
                             (finding.silenced ? L"true" : L"false") + L"}");
                } else if (!json && finding.silenced == silenced) {
                    out.Line(L"  " + path + (finding.line ? L" line " + std::to_wstring(finding.line) : L"") +
                             L": " + finding.message + L" [" + TrapName(finding.trap) + L"]");
                }
            }
        }
    }
}

void PrintSummary(const Output& out, const std::vector<CheckedManifest>& manifests,
                  const std::vector<std::wstring>& trouble, int status, Mode mode, Format format) {
    const bool json = format == Format::Json;
    const size_t findings = CountedFindings(manifests);
    const size_t silenced = SilencedFindings(manifests);
    if (json) {
        std::wstring reasons;
        for (const std::wstring& reason : trouble) {
            reasons += (reasons.empty() ? L"" : L",") + Json(reason);
        }
        out.Line(L"{\"kind\":\"summary\",\"mode\":" +
                 Json(mode == Mode::TextOnly ? L"text-only" : L"this-machine") + L",\"manifests\":" +
                 std::to_wstring(ManifestsIn(manifests)) + L",\"findings\":" + std::to_wstring(findings) +
                 L",\"silenced\":" + std::to_wstring(silenced) + L",\"trouble\":[" + reasons +
                 L"],\"status\":" + std::to_wstring(status) + L"}");
        return;
    }
    out.Line(L"");
    const std::wstring alsoSilenced =
        silenced > 0 ? L" (" + std::to_wstring(silenced) + L" silenced by --ignore)" : std::wstring();
    if (!trouble.empty()) {
        for (const std::wstring& reason : trouble) {
            out.Line(L"Not checked: " + reason);
        }
        out.Line(L"Exit status " + std::to_wstring(status) + L": the check is incomplete.");
    } else if (findings == 0) {
        out.Line(L"No findings" + alsoSilenced +
                 (mode == Mode::TextOnly
                      ? L": the sweep would act on these manifests as written, on any machine."
                      : L": the sweep would act on these manifests as written."));
    } else {
        out.Line(L"Exit status " + std::to_wstring(status) + L": " + std::to_wstring(findings) +
                 L" finding(s) above" + alsoSilenced + L".");
    }
}

void PrintBatchFile(const Output& out, const Path& path, Format format) {
    const bool json = format == Format::Json;
    const std::wstring state = sweep::DescribeOwnFile(
        path, sweep::HandleOwnFile(path, sweep::Handling::Check, sweep::Reporting::FilesReached));
    if (json) {
        out.Line(L"{\"kind\":\"batch file\",\"path\":" + Json(path.Ordinary()) + L",\"state\":" +
                 Json(state) + L"}");
    } else {
        out.Line(L"batch file " + path.Ordinary() + L": " + state);
    }
}

}  // namespace vantrel::check

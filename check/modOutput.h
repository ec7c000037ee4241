// What sweepcheck prints: to a console in UTF-16, to a file or pipe in
// UTF-8; as text for people, or as one JSON object a line for pipelines.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "check/modFindings.h"
#include "common/modText.h"

namespace vantrel::check {

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

// A manifest's state and each of its lines, with what the sweep would do.
// How sweepcheck writes: text for people, or one JSON object a line.
enum class Format { Text, Json };

void PrintManifest(const Output& out, const CheckedManifest& manifest, Format format);

// The findings of every manifest, with their count; as text, those silenced
// apart, after the others.
void PrintFindings(const Output& out, const std::vector<CheckedManifest>& manifests, Format format);

// The verdict, which always agrees with the exit status: "No findings",
// the findings' count, or what could not be checked (status 2). Silenced
// findings are not counted; their number is given beside.
void PrintSummary(const Output& out, const std::vector<CheckedManifest>& manifests,
                  const std::vector<std::wstring>& trouble, int status, Mode mode, Format format);

// What the sweep would do with its batch file at `path`.
void PrintBatchFile(const Output& out, const Path& path, Format format);

// A text as a JSON string, quotes included.
std::wstring Json(std::wstring_view text);

}  // namespace vantrel::check

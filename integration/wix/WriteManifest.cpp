// A Windows Installer custom action (DLL, entry point WriteManifest) that
// writes one of shortcutsweep's manifests while the package installs.
//
// The manifest has to hold the shortcuts' full paths as this machine
// resolves them (the public desktop, the Start menu, the install folder),
// which are only known at install time, and its bytes are exact: UTF-8 with
// a byte-order mark and CR LF after every line, the last one included. The
// Windows Installer's own tables cannot write such a file (IniFile writes
// ANSI key=value text), so a deferred action writes it.
//
// CustomActionData: the manifest's full path, then one entry per shortcut,
// separated by '|' (a character no Windows path can hold):
//   C:\Program Files\Vantrel\__shortcutsweep-en.ini|C:\Users\Public\Desktop\Vantrel Home.url
//
// Empty pieces are skipped. A manifest that cannot be written completely is
// removed again: a half-written one would still be read by the sweep. The
// result goes to the installer's log; the action returns
// ERROR_INSTALL_FAILURE on failure, which the package may ignore.
//
// Built by integration/build.sh as a 32-bit DLL with the C++ runtime linked
// in (-static), so it needs nothing beside it, and with undecorated export
// names (-Wl,--kill-at), since the CustomAction table names the entry point.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = L"";
    if (::MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) {
        return std::wstring();
    }
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(size);
    return value;
}

void LogLine(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(1);
    ::MsiRecordSetStringW(record, 0, (L"WriteManifest: " + text).c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        const std::wstring piece =
            text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        if (end == std::wstring::npos) {
            return pieces;
        }
        begin = end + 1;
    }
}

bool AppendUtf8(std::string& out, const std::wstring& text) {
    if (text.empty()) {
        return true;
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(size));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                 &out[at], size, nullptr, nullptr) == size;
}

// Writes the whole manifest with one WriteFile call; false if any of it
// failed, after removing what was written.
bool WriteWhole(const std::wstring& path, const std::string& bytes, DWORD& error) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    DWORD written = 0;
    bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (!ok) {
        error = ::GetLastError();
    }
    if (!::CloseHandle(file) && ok) {
        error = ::GetLastError();
        ok = false;
    }
    if (!ok) {
        ::DeleteFileW(path.c_str());
    }
    return ok;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall WriteManifest(MSIHANDLE install) {
    const std::vector<std::wstring> pieces = Split(Property(install, L"CustomActionData"), L'|');
    if (pieces.empty()) {
        LogLine(install, L"no manifest path in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    const std::wstring& path = pieces[0];
    std::string bytes = "\xEF\xBB\xBF";
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (!AppendUtf8(bytes, pieces[i])) {
            LogLine(install,
                    L"entry " + std::to_wstring(i) + L" is not valid text: " + path + L" not written");
            return ERROR_INSTALL_FAILURE;
        }
        bytes += "\r\n";
    }
    DWORD error = 0;
    if (!WriteWhole(path, bytes, error)) {
        LogLine(install, L"cannot write " + path + L" (error " + std::to_wstring(error) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    LogLine(install, L"wrote " + path + L" with " + std::to_wstring(pieces.size() - 1) + L" entries");
    return ERROR_SUCCESS;
}

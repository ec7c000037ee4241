#include "common/modErrors.h"

#include <windows.h>

namespace vantrel {

bool IsNotFound(unsigned long error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring SystemErrorMessage(unsigned long code) {
    wchar_t text[512];
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    0, text, static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
    while (length > 0 &&
           (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
        --length;
    }
    std::wstring description = length > 0 ? std::wstring(text, length) : std::wstring(L"Unknown error");
    return L"Error " + std::to_wstring(code) + L" " + description;
}

}  // namespace vantrel

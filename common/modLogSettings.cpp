#include "common/modLogSettings.h"

#include <windows.h>

#include <cwchar>

#include "common/Handle.h"
#include "common/modPaths.h"
#include "common/modText.h"

namespace vantrel {

std::wstring DecisionLogPath() {
    std::wstring path = TextOfFittingSize(
        [](wchar_t* buffer, DWORD size) { return ::GetEnvironmentVariableW(kLogVariable, buffer, size); });
    if (!path.empty()) {
        return path;
    }
    // The 32-bit view, where a 32-bit installer writes; asked for by name so
    // that the same key is read whatever the process.
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLogKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) !=
        ERROR_SUCCESS) {
        return std::wstring();
    }
    const UniqueRegistryKey key(opened);
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), kLogValue, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > (kLongestPath + 1) * sizeof(wchar_t)) {
        return std::wstring();
    }
    // The stored text need not end with a NUL: room for one more.
    std::wstring stored(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = bytes;
    if (::RegQueryValueExW(key.get(), kLogValue, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()),
                           &got) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::wstring();
    }
    stored.resize(wcsnlen(stored.data(), got / sizeof(wchar_t)));
    if (type == REG_SZ || stored.empty()) {
        return stored;
    }
    // ExpandEnvironmentStringsW counts the closing NUL in what it wrote.
    return TextOfFittingSize([&stored](wchar_t* buffer, DWORD size) -> DWORD {
        const DWORD written = ::ExpandEnvironmentStringsW(stored.c_str(), buffer, size);
        return written == 0 || written > size ? written : written - 1;
    });
}

}  // namespace vantrel

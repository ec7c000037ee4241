#include "tests/support/SweepInstall.h"

#include <cwchar>

namespace testing_support {

std::wstring g_sweepExe;
std::wstring g_checkExe;

std::wstring AliasOf(const std::wstring& path) {
    wchar_t alias[MAX_PATH] = L"";
    const DWORD length = ::GetShortPathNameW(path.c_str(), alias, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(alias, length) : std::wstring();
}

std::wstring AliasLine(const std::wstring& path) {
    std::wstring alias = AliasOf(path);
    if (alias.size() > 4) {
        alias.replace(alias.size() - 4, 4, L".url");
    }
    return alias;
}

LogLines ReadLog(const std::wstring& path) {
    const std::string bytes = ReadWholeFile(path);
    LogLines log;
    log.wellFormed = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::wstring text = Wide(std::string_view(bytes).substr(log.wellFormed ? 3 : 0));
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        const std::wstring line = text.substr(start, end - start);
        const size_t close = line.find(L"] ");
        if (line.empty() || line[0] != L'[' || close == std::wstring::npos ||
            line.find_first_of(L"\r\n") != std::wstring::npos) {
            log.wellFormed = false;
            continue;
        }
        log.pid.push_back(std::wcstoul(line.c_str() + 1, nullptr, 10));
        log.text.push_back(line.substr(close + 2));
    }
    log.wellFormed = log.wellFormed && start == text.size();
    return log;
}

bool Holds(const LogLines& log, const std::wstring& prefix) {
    for (const std::wstring& line : log.text) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace testing_support

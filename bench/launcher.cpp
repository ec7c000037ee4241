// Starts a program, waits for it to end, and prints what it cost, measured
// from inside Windows:
//
//   launcher.exe [--poll MS] program.exe [arguments...]
//
// prints one line
//
//   ms=<elapsed> peak_kb=<peak working set> exit=<exit code> samples=<reads>
//
// The time runs from just before CreateProcessW to the end of the wait, so
// it covers the whole life of the program but not the start of the
// launcher itself. The peak working set is a high-water mark the system
// keeps for a live process: it is read every MS milliseconds (10 unless
// given) while the program runs, and once more after it ends where the
// system still gives it; the largest reading is printed.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The argument quoted so that the child's command-line parser gives it back.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

SIZE_T PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

int Usage() {
    std::fputs("usage: launcher.exe [--poll MS] program.exe [arguments...]\n", stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    DWORD pollMs = 10;
    if (argc > 2 && std::wcscmp(argv[1], L"--poll") == 0) {
        pollMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
        first = 3;
    }
    if (first >= argc || pollMs == 0) {
        return Usage();
    }
    std::wstring commandLine = Quoted(argv[first]);
    for (int i = first + 1; i < argc; ++i) {
        commandLine += L' ';
        commandLine += Quoted(argv[i]);
    }

    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    ::QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(argv[first], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "launcher: cannot start the program (error %lu)\n", ::GetLastError());
        return 1;
    }
    ::CloseHandle(process.hThread);
    SIZE_T peak = 0;
    unsigned long samples = 0;
    while (::WaitForSingleObject(process.hProcess, pollMs) == WAIT_TIMEOUT) {
        SIZE_T now = PeakWorkingSet(process.hProcess);
        if (now > peak) {
            peak = now;
        }
        ++samples;
    }
    ::QueryPerformanceCounter(&end);
    SIZE_T last = PeakWorkingSet(process.hProcess);
    if (last > peak) {
        peak = last;
    }
    if (last != 0) {
        ++samples;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hProcess);

    const double ms =
        static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    std::printf("ms=%.3f peak_kb=%lu exit=%lu samples=%lu\n", ms, static_cast<unsigned long>(peak / 1024),
                static_cast<unsigned long>(exitCode), samples);
    return 0;
}

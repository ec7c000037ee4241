// Helpers shared by the test programs: real temporary folders and files,
// starting a program and waiting for it, and telling Wine from Windows.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(std::wstring_view tag = L"t");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // path() + "\" + relative
    std::wstring operator/(std::wstring_view relative) const;

private:
    std::wstring path_;
};

// Creates every missing folder of `path`.
void MakeFolders(const std::wstring& path);
// Writes `bytes` to a new file, creating its folders.
void WriteBytes(const std::wstring& path, std::string_view bytes);
// The file's bytes; empty when it cannot be read. Another process may be
// writing to it meanwhile.
std::string ReadWholeFile(const std::wstring& path);
// Writes text as UTF-8, with the byte-order mark when `mark` is true.
void WriteUtf8(const std::wstring& path, std::wstring_view text, bool mark = true);
std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);
bool Exists(const std::wstring& path);
void SetAttributes(const std::wstring& path, DWORD attributes);
// Deletes a folder tree, clearing read-only marks on the way.
void RemoveTree(const std::wstring& path);

// A program started with the given argument text, not waited for; ended
// if it still runs when the object goes.
class RunningProgram {
public:
    // With an `output` file, the program's standard output and error go to it.
    // With a `currentFolder`, the program starts in it.
    RunningProgram(const std::wstring& exe, std::wstring_view arguments, const std::wstring& output = {},
                   const std::wstring& currentFolder = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits for the program to end; its exit code, or -1 when it could not
    // be started or did not end in time (it is then ended).
    long Wait(DWORD timeoutMs = 60000);

private:
    HANDLE process_ = nullptr;
};

// Runs `exe` with the given argument text and waits for it; returns its
// exit code, or -1 when it could not be started or did not end in time.
long RunProgram(const std::wstring& exe, std::wstring_view arguments, DWORD timeoutMs = 60000);

// Runs `exe` with exactly this command line, the program's own name as
// written in it (in quotes or not), and waits for it; as RunProgram.
long RunProgramAs(const std::wstring& exe, const std::wstring& commandLine);

// The same, started in `currentFolder`.
long RunProgramIn(const std::wstring& currentFolder, const std::wstring& exe, std::wstring_view arguments);

// Under Wine, runs a Unix program and waits for it: `command` is its path
// and arguments (`{"/bin/touch", unixPath}`), in UTF-8. False elsewhere, or
// when it did not end with status 0.
bool RunUnixCommand(const std::vector<std::string>& command);

// The same, with what the program writes to its standard output and error.
long RunProgramCapturing(const std::wstring& exe, std::wstring_view arguments, std::string& output,
                         DWORD timeoutMs = 60000);

// A path handed over on the command line, in the form this process can
// use: under Wine a Unix path /x/y becomes Z:\x\y.
std::wstring FromCommandLinePath(std::string_view path);

// The same, made a full path.
std::wstring FullPathFromCommandLine(std::string_view path);

// A program a test program runs (or another file it needs), named on its
// command line.
struct ProgramUnderTest {
    enum Presence { Required, Optional };
    const char* name;  // as the usage line shows it: "shortcutsweep.exe"
    std::wstring* path;
    Presence presence = Required;
};

// The one way the test programs find what they test: its paths come first
// on the command line, in the order of `programs`, once GoogleTest has
// taken its own options (call it after InitGoogleTest). Sets each one given
// to its full path (FullPathFromCommandLine). When a required one is
// missing, prints the usage line, with `otherOptions` after the programs,
// and returns false.
bool FindProgramsUnderTest(int argc, char** argv, std::initializer_list<ProgramUnderTest> programs,
                           std::string_view otherOptions = {});

bool RunningUnderWine();

// Under Wine, the Unix path of a Windows path; empty elsewhere.
std::string UnixPathOf(const std::wstring& path);

// Under Wine, makes `link` a Unix symbolic link to `target` (both Windows
// paths; the target need not exist), with the Unix ln: Wine's own
// CreateSymbolicLinkW makes nothing. False elsewhere, or when no link was
// made.
bool MakeUnixLink(const std::wstring& target, const std::wstring& link);

// Under Wine, the folder that serves as the share \\server\share (made if
// missing), as a Windows path; empty elsewhere.
std::wstring WineShareFolder(std::wstring_view server, std::wstring_view share);

}  // namespace testing_support

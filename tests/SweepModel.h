// The sweep's rules, as a model: which files a sweep of a tree may delete,
// written out again independently of the sweep's own code. The property
// test (SweepPropertyTest.cpp) holds the sweep to it; SweepModelTest.cpp
// holds it to cases worked out by hand.
//
// Names are generated from a known alphabet (ASCII, Latin-1 letters,
// full-width Latin letters, kana and kanji), so case folding is a small
// table here rather than a system call.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TreeSnapshot.h"

namespace sweep_model {

using testing_support::Tree;

wchar_t Fold(wchar_t c);
std::wstring Fold(std::wstring_view text);

// * is any run of characters; ? is one character that is not a dot, or
// none where the name has a dot or has ended. Both strings already folded.
bool ModelGlob(std::wstring_view name, std::wstring_view pattern);

struct ModelTarget {
    std::wstring folder;       // folded, without a trailing separator
    std::wstring pattern;      // folded final piece
    std::wstring exactFolder;  // the folder as named, normalised but not folded (its drive letter upper case)
};

// What a listed line may delete by the rules: a line acted on ends in
// ".url" and is a full drive or share path. A \\?\ path must be made of
// plain names; any other is normalised as Windows does it, and refused
// where a ".." climbs above its root or a folder ends in two dots.
std::optional<ModelTarget> TargetOf(std::wstring_view line);

// Every piece but the last of the text cut at each CR LF.
std::vector<std::wstring> ModelLines(std::wstring_view text);

std::wstring FolderOf(const std::wstring& path);
std::wstring LeafOf(const std::wstring& path);

// A manifest as written: its bytes.
using WrittenManifest = std::string;

bool IsDirectory(DWORD a);

// What a case made with Unix tools, which a listing shows otherwise than it
// is. A link to a file shows as an ordinary file; a link to a folder as a
// folder, whose entries the tree lists under the folder it points to. A
// name holding a backslash ("sub\x.url" in F) shows in the tree as a path
// below its folder (F\sub\x.url).
struct CaseLinks {
    std::map<std::wstring, std::wstring> files;    // link -> the file it points to, as the tree has them
    std::map<std::wstring, std::wstring> folders;  // link -> the folder it points to, both folded
    std::map<std::wstring, std::wstring>
        backslashed;  // the path the tree shows -> the folder holding the name
};

// Whether the system reports the folder at `path` under another path than
// its own: Wine drops the dots and blanks at the end of a folder's name.
bool ReportedOtherwise(const std::wstring& path);

// The files the rules allow a sweep to delete from `before`, a tree below
// `root`. `why` is given, for each, the line or rule that allows it;
// `spelledAlike`, if given, the files that would go but for a name spelled
// like a piece of their path.
// A link to a file is never deleted, nor anything through it: it is not
// the entry that names it. It drops out of the listing when its target
// goes. A line may name files through a link to a folder, but for a folder
// the system reports under another path: a file there goes only when the
// line names its folder exactly as it is (letter case too, but the drive
// letter's), not through a link. Nothing goes whose final path another
// name may be reported under (SpelledOnce): a manifest or the batch file
// there is left alone, with every line of it.
std::set<std::wstring> ModelDeletions(const Tree& before, const std::wstring& root,
                                      const std::wstring& baseFolder,
                                      const std::map<std::wstring, WrittenManifest>& written,
                                      const CaseLinks& links, std::map<std::wstring, std::wstring>& why,
                                      std::set<std::wstring>* spelledAlike = nullptr);

}  // namespace sweep_model

// One random case of the property test: a product's install (its program
// folder, and ZV beside it), its manifests and batch file, the shortcut
// folders they name with files in them, links, and names Wine reports
// otherwise than they are, all made below one root folder; with what the
// model of the rules needs to know of them. The same seed makes the same
// case: every choice is drawn from the case's own generator, in order.
//
// Made in PropertyCase.cpp (the layout, files and folders, manifests and
// the batch file), PropertyCaseLines.cpp (the lines of a manifest),
// PropertyCaseLinks.cpp (links) and PropertyCaseSpellings.cpp (folders
// ending in a dot or a blank and their twins, names holding a backslash,
// names in other letter case).
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/SweepModel.h"
#include "tests/support/TestSupport.h"

namespace sweep_property {

// Text with its line ends and control characters made visible.
std::wstring Describe(const std::wstring& text);

enum class LineKind { Acted, Ignored };

class Case {
public:
    Case(uint64_t seed, const std::wstring& root) : rng_(seed), root_(root) {}

    void Build();

    const std::wstring& bin() const { return bin_; }
    const std::wstring& arguments() const { return arguments_; }
    const std::map<std::wstring, sweep_model::WrittenManifest>& written() const { return written_; }
    const sweep_model::CaseLinks& links() const { return links_.made; }
    uint64_t linksMade() const { return links_.made.files.size() + links_.made.folders.size(); }
    const std::vector<std::wstring>& log() const { return log_; }
    uint64_t filesCreated() const { return filesCreated_; }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }

    std::wstring BaseFolder() const;

    uint64_t linesActed = 0;
    uint64_t linesIgnored = 0;
    uint64_t wildcardLines = 0;
    uint64_t oddFolders = 0;
    uint64_t oddAlone = 0;
    uint64_t oddBesideWay = 0;
    uint64_t twinLinks = 0;
    uint64_t backslashNames = 0;
    uint64_t caseTwins = 0;
    const std::wstring& futureFolder() const { return futureFolder_; }

    // A path below the root as a Unix path: Wine's own mapping would drop
    // the dots and blanks at the end of a folder's name.
    std::string UnixPath(const std::wstring& path) const;
    // A name that appears while the sweep runs: a file `name` + "." and a
    // link `name` to it, which no listing taken before shows. Neither may go.
    struct LateName {
        std::wstring folder;
        std::wstring name;
    };
    const LateName& late() const { return late_; }
    std::vector<std::wstring> modelDisagreements;

private:
    // What names, extensions and arguments are made of.
    static const std::vector<std::wstring> kWords;
    static const std::vector<std::wstring> kExtensions;
    static const std::vector<std::wstring> kArguments;
    static const wchar_t* const kLanguages[4];

    size_t Uniform(size_t low, size_t high) { return std::uniform_int_distribution<size_t>(low, high)(rng_); }
    template <typename T>
    T Pick(const std::vector<T>& from) {
        return from[Uniform(0, from.size() - 1)];
    }

    // Folders and files; manifests and the batch file (PropertyCase.cpp).

    static void Check(bool ok, const char* what, const std::wstring& path);
    void MakeFolder(const std::wstring& path);
    static bool Exists(const std::wstring& path);
    // A name not yet used in `folder`, compared without regard to case;
    // whoever makes the file or folder claims it.
    std::wstring NewName(const std::wstring& folder, const std::wstring& extension);
    void AddFile(const std::wstring& folder, const std::wstring& name, DWORD attributes);
    void WriteFile(const std::wstring& path, std::string_view bytes, DWORD attributes);
    DWORD RandomAttributes();
    void AddEntry(const std::wstring& folder);
    std::vector<std::wstring> FilesIn(const std::wstring& folder) const;
    std::wstring FlipCase(std::wstring text);
    void AddManifest(const std::wstring& base, const wchar_t* lang);
    void AddBatch(const std::wstring& base);

    // The lines of a manifest (PropertyCaseLines.cpp).

    // A pattern that matches `name` (and perhaps others), ending in .url.
    std::wstring PatternFor(const std::wstring& name);
    std::wstring FinalPiece(const std::wstring& folder);
    std::wstring UnixFolder(const std::wstring& folder);
    // A line, with what the generator meant by it; the model must agree.
    std::pair<std::wstring, LineKind> Line();

    // Links (PropertyCaseLinks.cpp).

    // A folder beside the listed ones that no line names: what links lead to.
    const std::wstring& Outside();
    // The folder a listed folder stands for: itself, or where it leads.
    std::wstring RealFolder(const std::wstring& folder) const;
    // Makes `link` lead to `target`, and notes it for the model.
    bool Link(const std::wstring& target, const std::wstring& link);
    // Links to files and folders, in the listed folders and outside them,
    // with the same and with other names; and a listed folder that is a
    // link, through which lines name files.
    void AddLinks();
    // Links `link` to `target`, a path relative to the link's folder, with
    // the Unix ln; notes a link to a file for the model.
    bool UnixLink(const std::string& target, const std::wstring& link, const std::wstring& targetPath);

    // Names Wine reports otherwise than they are (PropertyCaseSpellings.cpp).

    // The listed folders that are neither links nor end in a dot or a blank.
    std::vector<std::wstring> PlainFolders() const;
    // The files in `folder` made as files, not links, with plain names.
    std::vector<std::wstring> OwnFilesIn(const std::wstring& folder) const;
    // A folder whose name ends in a dot or a blank. Wine reports such a
    // folder's own path without the dots and blanks at its end, and a file
    // in it under its name less one dot at the end: "D." as D, "E ." as
    // "E ". Most stand beside a twin named the way Wine reports them, or
    // spelled alike, and links in each lead to the other's files under the
    // same names; some stand alone. They are made in the listed folders at
    // any depth, or beside a folder on the way to one (the program's own
    // among them); a folder link in Links leads to each.
    void AddOddFolder();
    // A name holding a backslash, which Wine reports as a path below its
    // folder ("sub\x.url" in F as F\sub\x.url): beside a listed folder of
    // the name before the backslash (in which a link may lead back to the
    // name, reported under its own path), beside a file of that name, or
    // alone.
    void AddBackslashName();
    // A name that differs from a file's beside it only in letter case: a
    // link to that file, or another file.
    void AddCaseTwin(const std::wstring& folder);

    std::mt19937_64 rng_;
    std::wstring root_;
    std::wstring vendor_;
    std::wstring bin_;
    std::wstring zv_;
    std::wstring arguments_;
    std::vector<std::wstring> targets_;
    std::map<std::wstring, std::set<std::wstring>> names_;
    std::map<std::wstring, sweep_model::WrittenManifest> written_;
    std::vector<std::wstring> manifestsMade_;
    struct {
        bool enabled = testing_support::RunningUnderWine();  // links are made with the Unix ln
        sweep_model::CaseLinks made;
    } links_;
    std::wstring outside_;
    LateName late_;
    std::wstring futureFolder_;
    // Links whose target Wine reports under the link's own path (up to
    // letter case): a line in most manifests names one of them.
    std::vector<std::wstring> reportedAsOwn_;
    std::map<std::wstring, std::wstring> folderLinks_;
    std::vector<std::wstring> log_;
    uint64_t filesCreated_ = 0;
};

}  // namespace sweep_property

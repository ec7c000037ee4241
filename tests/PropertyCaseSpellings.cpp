// Names of a random case that Wine reports otherwise than they are
// (PropertyCase.h): folders ending in a dot or a blank, with their twins;
// names holding a backslash; names in other letter case.
#include "tests/PropertyCase.h"

#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace sweep_model;
using namespace testing_support;

namespace sweep_property {

std::vector<std::wstring> Case::PlainFolders() const {
    std::vector<std::wstring> plain;
    for (const std::wstring& folder : targets_) {
        if (!folderLinks_.count(folder) && !ReportedOtherwise(folder)) {
            plain.push_back(folder);
        }
    }
    return plain;
}

std::vector<std::wstring> Case::OwnFilesIn(const std::wstring& folder) const {
    std::vector<std::wstring> files;
    for (const std::wstring& name : FilesIn(folder)) {
        const DWORD attributes = ::GetFileAttributesW((L"\\\\?\\" + folder + L"\\" + name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            name.find(L'\\') == std::wstring::npos && !links_.made.files.count(folder + L"\\" + name)) {
            files.push_back(name);
        }
    }
    return files;
}

void Case::AddOddFolder() {
    const std::wstring links = root_ + L"\\Links";
    std::wstring twin;  // empty when the odd folder stands alone
    std::wstring odd;
    bool twinMade = false;
    if (Chance(0.3)) {
        std::vector<std::wstring> onTheWay;
        for (std::wstring at = Pick(PlainFolders()); at.size() > root_.size(); at = FolderOf(at)) {
            onTheWay.push_back(at);
        }
        twin = Pick(onTheWay);
        odd = twin + Pick(std::vector<std::wstring>{L".", L" ", L" .", L". ", L"  ", L".."});
        if (names_[Fold(FolderOf(odd))].count(Fold(LeafOf(odd)))) {
            return;
        }
        ++oddBesideWay;
    } else {
        std::vector<std::wstring> parents = {links};
        for (const std::wstring& folder : PlainFolders()) {
            if (folder.compare(0, links.size() + 1, links + L"\\") == 0) {
                parents.push_back(folder);
            }
        }
        const std::wstring parent = Pick(parents);
        const std::wstring stem = parent + L"\\" + NewName(parent, L"");
        // The twin is the odd folder's name less its last dot, or one
        // spelled alike.
        const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
            {L"", L"."}, {L" ", L" ."}, {L".", L".."}, {L"", L" "}, {L"", L"  "}, {L"", L" ."}, {L"", L". "}};
        const auto& [twinEnd, oddEnd] = pairs[Uniform(0, std::size(pairs) - 1)];
        odd = stem + oddEnd;
        if (Chance(0.75)) {
            twin = stem + twinEnd;
            twinMade = true;
        } else {
            ++oddAlone;
        }
    }
    for (const std::wstring& folder : {twin, odd}) {
        if (!folder.empty()) {
            names_[Fold(FolderOf(folder))].insert(Fold(LeafOf(folder)));
            MakeFolder(folder);
        }
    }
    log_.push_back(L"folder " + odd + (twin.empty() ? L" alone" : L" beside " + twin));
    for (size_t i = Uniform(2, 5); i > 0; --i) {
        AddEntry(odd);
        if (twinMade) {
            AddEntry(twin);
        }
    }
    if (!twin.empty()) {
        // Links in each to the other's files, by the names they have there.
        for (const auto& [from, to] : {std::pair{odd, twin}, std::pair{twin, odd}}) {
            for (const std::wstring& name : OwnFilesIn(to)) {
                if (names_[Fold(from)].count(Fold(name)) || !Chance(0.5)) {
                    continue;
                }
                names_[Fold(from)].insert(Fold(name));
                if (UnixLink("../" + Utf8(LeafOf(to)) + "/" + Utf8(name), from + L"\\" + name,
                             to + L"\\" + name) &&
                    from == twin) {
                    ++twinLinks;
                    if (odd == twin + L".") {
                        reportedAsOwn_.push_back(from + L"\\" + name);
                    }
                }
            }
        }
    }
    const std::wstring via = links + L"\\" + NewName(links, L"");
    names_[Fold(links)].insert(Fold(LeafOf(via)));
    if (RunUnixCommand({"/bin/ln", "-s", UnixPath(odd), UnixPath(via)})) {
        links_.made.folders[Fold(via)] = Fold(odd);
        folderLinks_[via] = odd;
        targets_.push_back(via);
        log_.push_back(L"link " + via + L" -> " + odd);
    }
    if (twinMade) {
        targets_.push_back(twin);
    }
    targets_.push_back(odd);
    ++oddFolders;
}

void Case::AddBackslashName() {
    const std::wstring folder = Pick(PlainFolders());
    std::wstring first;
    bool sub = false;
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    const std::vector<std::wstring> files = OwnFilesIn(folder);
    if (roll < 0.5) {
        first = NewName(folder, L"");
        names_[Fold(folder)].insert(Fold(first));
        MakeFolder(folder + L"\\" + first);
        for (size_t i = Uniform(1, 3); i > 0; --i) {
            AddEntry(folder + L"\\" + first);
        }
        targets_.push_back(folder + L"\\" + first);
        sub = true;
    } else if (roll < 0.75 && !files.empty()) {
        first = Pick(files);
    } else {
        first = NewName(folder, L"");
    }
    const std::wstring shown = folder + L"\\" + first;
    const std::wstring second = NewName(shown, L".url");
    names_[Fold(shown)].insert(Fold(second));
    if (!RunUnixCommand({"/bin/sh", "-c", "printf '[InternetShortcut]\\r\\n' >\"$1\"", "sh",
                         UnixPath(folder) + "/" + Utf8(first) + "\\" + Utf8(second)})) {
        return;
    }
    links_.made.backslashed[shown + L"\\" + second] = folder;
    log_.push_back(L"name " + first + L"\\" + second + L" in " + folder);
    if (sub && Chance(0.6) &&
        UnixLink("../" + Utf8(first) + "\\" + Utf8(second), shown + L"\\" + second, shown + L"\\" + second)) {
        reportedAsOwn_.push_back(shown + L"\\" + second);
    }
    ++backslashNames;
}

void Case::AddCaseTwin(const std::wstring& folder) {
    const std::vector<std::wstring> files = OwnFilesIn(folder);
    if (files.empty()) {
        return;
    }
    const std::wstring name = Pick(files);
    std::wstring other = FlipCase(name);
    for (int tries = 0; other == name && tries < 8; ++tries) {
        other = FlipCase(name);
    }
    if (other == name) {
        return;
    }
    bool made = false;
    if (Chance(0.6)) {
        made = UnixLink(Utf8(name), folder + L"\\" + other, folder + L"\\" + name);
        if (made) {
            reportedAsOwn_.push_back(folder + L"\\" + other);
        }
    } else {
        made = RunUnixCommand({"/bin/cp", UnixPath(folder + L"\\" + name), UnixPath(folder + L"\\" + other)});
        if (made) {
            log_.push_back(L"file " + folder + L"\\" + other + L" beside " + name);
        }
    }
    caseTwins += made ? 1 : 0;
}

}  // namespace sweep_property

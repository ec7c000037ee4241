// The links of a random case (PropertyCase.h), made with the Unix ln and
// noted for the model.
#include "tests/PropertyCase.h"

#include <string>
#include <vector>

using namespace sweep_model;
using namespace testing_support;

namespace sweep_property {

const std::wstring& Case::Outside() {
    if (outside_.empty()) {
        outside_ = root_ + L"\\Outside";
        MakeFolder(outside_);
    }
    return outside_;
}

std::wstring Case::RealFolder(const std::wstring& folder) const {
    auto linked = folderLinks_.find(folder);
    return linked == folderLinks_.end() ? folder : linked->second;
}

bool Case::Link(const std::wstring& target, const std::wstring& link) {
    if (!MakeUnixLink(target, link)) {
        return false;  // the link is not there, or does not show
    }
    const DWORD attributes = ::GetFileAttributesW((L"\\\\?\\" + target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // As the tree lists it: a link made through a linked folder
        // lies in the folder that one leads to.
        links_.made.files[RealFolder(FolderOf(link)) + L"\\" + LeafOf(link)] = target;
    }
    log_.push_back(L"link " + link + L" -> " + target);
    return true;
}

void Case::AddLinks() {
    const std::wstring& outside = Outside();
    for (int i = 0; i < 3; ++i) {
        AddFile(outside, NewName(outside, Pick(kExtensions)), 0);
    }
    if (Chance(0.3)) {
        const std::wstring real = outside + L"\\" + NewName(outside, L"");
        names_[Fold(outside)].insert(Fold(LeafOf(real)));
        MakeFolder(real);
        for (size_t i = Uniform(1, 5); i > 0; --i) {
            AddEntry(real);
        }
        const std::wstring links = root_ + L"\\Links";
        const std::wstring link = links + L"\\" + NewName(links, L"");
        names_[Fold(links)].insert(Fold(LeafOf(link)));
        if (Link(real, link)) {
            links_.made.folders[Fold(link)] = Fold(real);
            folderLinks_[link] = real;
            targets_.push_back(link);
        }
    }
    for (size_t i = Uniform(1, 4); i > 0; --i) {
        const std::wstring folder = Pick(targets_);
        const std::wstring from = RealFolder(Chance(0.4) ? outside : Pick(targets_));
        std::vector<std::wstring> candidates;
        for (const std::wstring& name : FilesIn(from)) {
            if (!links_.made.files.count(from + L"\\" + name)) {
                candidates.push_back(name);
            }
        }
        if (candidates.empty()) {
            continue;
        }
        const std::wstring target = Pick(candidates);
        std::set<std::wstring>& used = names_[Fold(RealFolder(folder))];
        std::wstring name = !used.count(Fold(target)) && Chance(0.5)
                                ? target
                                : NewName(RealFolder(folder), Pick(kExtensions));
        used.insert(Fold(name));
        Link(from + L"\\" + target, folder + L"\\" + name);
    }
}

bool Case::UnixLink(const std::string& target, const std::wstring& link, const std::wstring& targetPath) {
    if (!RunUnixCommand({"/bin/ln", "-s", target, UnixPath(link)})) {
        return false;
    }
    links_.made.files[link] = targetPath;
    log_.push_back(L"link " + link + L" -> " + targetPath);
    return true;
}

}  // namespace sweep_property

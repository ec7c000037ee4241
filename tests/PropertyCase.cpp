// A random case (PropertyCase.h): the install's layout, the folders and
// files in it, its manifests and batch file, the sweep's arguments.
#include "tests/PropertyCase.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace sweep_model;
using namespace testing_support;

namespace sweep_property {

std::wstring Describe(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') {
            out += L"<CR>";
        } else if (c == L'\n') {
            out += L"<LF>";
        } else if (c < 0x20) {
            out += L"<" + std::to_wstring(static_cast<unsigned>(c)) + L">";
        } else {
            out += c;
        }
    }
    return out;
}

const std::vector<std::wstring> Case::kWords = {L"Vantrel",
                                                L"Home",
                                                L"Support",
                                                L"Forum",
                                                L"Old",
                                                L"notes",
                                                L"a",
                                                L"B",
                                                L"x",
                                                L"Web Site",
                                                L"Q&A",
                                                L"v1.2",
                                                L"it's",
                                                L"(copy)",
                                                L"long-name_with-parts",
                                                L"Z9",
                                                L"100%",
                                                L"plus+",
                                                L"semi;",
                                                L"eq=",
                                                L"br[ack]ets",
                                                L"VANTRE~1",
                                                L"ABCDEFGH",   // the longest base an 8.3 alias has
                                                L"ABCDEFGHI",  // one longer: never an alias
                                                L"a,b",        // a character no alias holds
                                                L"v=1",
                                                L"#1",
                                                L"R\u00E9sum\u00E9",
                                                L"\u00C9L\u00C8VE",
                                                L"\u00C7a va",
                                                L"\u00FCber",
                                                L"Ma\u00F1ana",
                                                L"\u00C5ngstr\u00F6m",
                                                L"\u30C7\u30B9\u30AF\u30C8\u30C3\u30D7",
                                                L"\u30DE\u30CB\u30E5\u30A2\u30EB",
                                                L"\u88FD\u54C1",
                                                L"\uFF21\uFF42\uFF43",
                                                L"\u30D8\u30EB\u30D7"};

const std::vector<std::wstring> Case::kExtensions = {L".url", L".url", L".url",  L".url",  L".URL",
                                                     L".Url", L".uRL", L".urlx", L".url2", L".url.txt",
                                                     L".lnk", L".txt", L""};

const std::vector<std::wstring> Case::kArguments = {L"",
                                                    L"",
                                                    L"/noproduction",
                                                    L"/NOPRODUCTION",
                                                    L"x/NoProductiony",
                                                    L"-q /noProduction -v",
                                                    L"/noproductio",
                                                    L"noproduction",
                                                    L"/no production",
                                                    L"\\noproduction",
                                                    L"\"C:\\some where\" /x"};

const wchar_t* const Case::kLanguages[4] = {L"en", L"de", L"fr", L"ja"};

void Case::Build() {
    vendor_ =
        Chance(0.3)
            ? Pick(std::vector<std::wstring>{L"Ma\u00EEtre", L"\u30D9\u30F3\u30C0\u30FC", L"V e n d o r"})
            : L"Vendor";
    bin_ = root_ + L"\\Apps\\" + vendor_ + L"\\Tool\\bin";
    zv_ = root_ + L"\\Apps\\" + vendor_ + L"\\ZV";
    MakeFolder(bin_);
    if (Chance(0.85)) {
        MakeFolder(zv_);
    }
    targets_ = {bin_};
    if (Exists(zv_)) {
        targets_.push_back(zv_);
    }
    const size_t linkFolders = Uniform(1, 4);
    for (size_t i = 0; i < linkFolders; ++i) {
        std::wstring folder = root_ + L"\\Links";
        const size_t depth = Uniform(0, 2);
        for (size_t d = 0; d < depth; ++d) {
            std::wstring name = NewName(folder, L"");
            names_[Fold(folder)].insert(Fold(name));
            folder += L"\\" + name;
        }
        if (Chance(0.05)) {  // past the old 260-character limit
            for (int d = 0; d < 6; ++d) {
                folder += L"\\a-rather-long-folder-name-for-the-limit-" + std::to_wstring(d);
            }
        }
        MakeFolder(folder);
        targets_.push_back(folder);
    }
    if (links_.enabled && Chance(0.3)) {
        // A name that appears while the sweep runs (RunCase makes it).
        late_.folder = Pick(targets_);
        late_.name = L"late-" + std::to_wstring(Uniform(0, 999)) + L".url";
        names_[Fold(late_.folder)].insert(Fold(late_.name));
        names_[Fold(late_.folder)].insert(Fold(late_.name + L"."));
    }
    for (const std::wstring& folder : targets_) {
        const size_t count = Uniform(folder == bin_ || folder == zv_ ? 0 : 2, 7);
        for (size_t i = 0; i < count; ++i) {
            AddEntry(folder);
        }
    }
    if (links_.enabled && Chance(0.6)) {
        AddLinks();
    }
    if (links_.enabled) {
        for (int i = 0; i < 3 && Chance(0.45); ++i) {
            AddOddFolder();
        }
        if (Chance(0.25)) {
            AddBackslashName();
        }
        if (Chance(0.25)) {
            AddCaseTwin(Pick(PlainFolders()));
        }
    }
    for (const std::wstring& base : {bin_, zv_}) {
        if (!Exists(base)) {
            continue;
        }
        for (const wchar_t* lang : kLanguages) {
            AddManifest(base, lang);
        }
        AddBatch(base);
        if (Chance(0.2)) {  // names near the real ones that are never manifests
            AddFile(base,
                    Pick(std::vector<std::wstring>{L"__shortcutsweep-es.ini", L"__shortcutsweep-en.ini.bak",
                                                   L"__shortcutsweep.cmd", L"_shortcutsweep-de.ini"}),
                    0);
        }
    }
    if (links_.enabled && Chance(0.05)) {
        AddCaseTwin(Chance(0.5) || !Exists(zv_) ? bin_ : zv_);  // of a manifest, among others
    }
    if (links_.enabled && (late_.folder.empty() ? Chance(0.05) : Chance(0.5))) {
        // Its times are set in the future once it is made (RunCase).
        futureFolder_ = late_.folder.empty() ? Pick(PlainFolders()) : late_.folder;
        log_.push_back(L"folder stamped in the future: " + futureFolder_);
    }
    arguments_ = Pick(kArguments);
}

std::wstring Case::BaseFolder() const {
    std::wstring lower = arguments_;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c + 0x20);
        }
    }
    if (lower.find(L"/noproduction") == std::wstring::npos) {
        return bin_;
    }
    std::wstring parent = FolderOf(FolderOf(bin_));
    return parent + L"\\ZV";
}

std::string Case::UnixPath(const std::wstring& path) const {
    std::wstring below = path.substr(root_.size());
    std::replace(below.begin(), below.end(), L'\\', L'/');
    return UnixPathOf(root_) + Utf8(below);
}

void Case::Check(bool ok, const char* what, const std::wstring& path) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed for " + Utf8(path) + ", error " +
                                 std::to_string(::GetLastError()));
    }
}

void Case::MakeFolder(const std::wstring& path) {
    for (size_t cut = root_.size(); cut != std::wstring::npos;) {
        cut = path.find(L'\\', cut + 1);
        std::wstring part = L"\\\\?\\" + path.substr(0, cut);
        Check(::CreateDirectoryW(part.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS,
              "CreateDirectoryW", part);
    }
}

bool Case::Exists(const std::wstring& path) {
    return ::GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Case::NewName(const std::wstring& folder, const std::wstring& extension) {
    std::set<std::wstring>& used = names_[Fold(folder)];
    for (;;) {
        std::wstring name = Pick(kWords);
        if (Chance(0.4)) {
            name += Pick(std::vector<std::wstring>{L" ", L"-", L"", L"."}) + Pick(kWords);
        }
        if (Chance(0.3)) {
            name += std::to_wstring(Uniform(0, 99));
        }
        name += extension;
        if (name.empty() || name.back() == L'.' || name.back() == L' ' || name.front() == L'.') {
            continue;
        }
        if (!used.count(Fold(name))) {
            return name;
        }
    }
}

void Case::AddFile(const std::wstring& folder, const std::wstring& name, DWORD attributes) {
    if (!names_[Fold(folder)].insert(Fold(name)).second) {
        return;  // already there, in some letter case
    }
    WriteFile(folder + L"\\" + name, "[InternetShortcut]\r\nURL=https://example.invalid/\r\n", attributes);
}

void Case::WriteFile(const std::wstring& path, std::string_view bytes, DWORD attributes) {
    HANDLE file = ::CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
        return;  // an 8.3-shaped name that is already another file's alias
    }
    Check(file != INVALID_HANDLE_VALUE, "CreateFileW", path);
    DWORD done = 0;
    BOOL ok =
        bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    ::CloseHandle(file);
    Check(ok != FALSE, "WriteFile", path);
    if (attributes != 0) {
        Check(::SetFileAttributesW((L"\\\\?\\" + path).c_str(), attributes) != FALSE, "SetFileAttributesW",
              path);
    }
    ++filesCreated_;
}

DWORD Case::RandomAttributes() {
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    if (roll < 0.70) return 0;
    if (roll < 0.78) return FILE_ATTRIBUTE_HIDDEN;
    if (roll < 0.85) return FILE_ATTRIBUTE_SYSTEM;
    if (roll < 0.95) return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
}

void Case::AddEntry(const std::wstring& folder) {
    if (Chance(0.08)) {  // a folder whose name looks like a shortcut
        std::wstring name = NewName(folder, Pick(std::vector<std::wstring>{L".url", L".URL"}));
        names_[Fold(folder)].insert(Fold(name));
        MakeFolder(folder + L"\\" + name);
        if (Chance(0.5)) {
            AddFile(folder + L"\\" + name, NewName(folder + L"\\" + name, L".url"), 0);
        }
        return;
    }
    AddFile(folder, NewName(folder, Pick(kExtensions)), RandomAttributes());
}

std::vector<std::wstring> Case::FilesIn(const std::wstring& folder) const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((L"\\\\?\\" + folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            files.push_back(name);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(files.begin(), files.end());  // the same case whatever the listing order
    return files;
}

std::wstring Case::FlipCase(std::wstring text) {
    for (wchar_t& c : text) {
        if (!Chance(0.5)) {
            continue;
        }
        if (Fold(c) != c) {
            c = Fold(c);
        } else if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
                   (c >= 0xFF21 && c <= 0xFF3A)) {
            c = static_cast<wchar_t>(c + 0x20);
        }
    }
    return text;
}

void Case::AddManifest(const std::wstring& base, const wchar_t* lang) {
    std::wstring name = L"__shortcutsweep-" + std::wstring(lang) + L".ini";
    if (Chance(0.1)) {
        name = FlipCase(name);
    }
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    if (roll < 0.25) {
        return;  // none for this language
    }
    names_[Fold(base)].insert(Fold(name));
    const std::wstring path = base + L"\\" + name;
    if (roll < 0.28) {
        MakeFolder(path);  // a folder is not a manifest
        log_.push_back(L"folder " + path);
        return;
    }
    if (roll < 0.31 && links_.enabled) {
        // A link to a manifest elsewhere, or to this folder's manifest
        // of another language.
        std::wstring target;
        if (!manifestsMade_.empty() && Chance(0.5)) {
            target = Pick(manifestsMade_);
        } else {
            target = Outside() + L"\\" + NewName(Outside(), L".ini");
            names_[Fold(Outside())].insert(Fold(LeafOf(target)));
            const std::string bytes = "\xEF\xBB\xBF" + Utf8(Line().first + L"\r\n" + Line().first + L"\r\n");
            WriteFile(target, bytes, 0);
            written_[Fold(target)] = bytes;
        }
        Link(target, path);
        return;
    }
    const bool marked = !Chance(0.05);
    std::wstring text;
    const size_t lines = Uniform(0, 10);
    for (size_t i = 0; i < lines; ++i) {
        auto [line, kind] = Line();
        const bool modelActs = TargetOf(line).has_value();
        if (modelActs != (kind == LineKind::Acted)) {
            modelDisagreements.push_back(Describe(line));
        }
        (kind == LineKind::Acted ? linesActed : linesIgnored) += 1;
        const double ending = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
        text += line + (ending < 0.78   ? L"\r\n"
                        : ending < 0.85 ? L"\n"
                        : ending < 0.92 ? L"\r"
                        : ending < 0.96 ? L"\r\r\n"
                                        : L"");
    }
    if (!late_.folder.empty() && lines > 0) {
        text += late_.folder + L"\\" + late_.name + L"\r\n";
    }
    if (!reportedAsOwn_.empty() && lines > 0 && Chance(0.7)) {
        text += Pick(reportedAsOwn_) + L"\r\n";
    }
    const double last = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    if (last < 0.25) {
        text += Line().first;  // the piece after the last CR LF
    } else if (last < 0.35) {
        text += L"garbage \u00E9\u30C7";
    }
    // Unmarked text may still start with EF BB BF, when its first line
    // starts with U+FEFF: the model reads the bytes, not this choice.
    std::string bytes = (marked ? "\xEF\xBB\xBF" : "") + Utf8(text);
    if (Chance(0.03)) {
        bytes.clear();  // empty file
    } else if (Chance(0.02)) {
        bytes = "\xEF\xBB\xBF";  // the mark and nothing else
    }
    const DWORD attributes = Chance(0.1)    ? FILE_ATTRIBUTE_READONLY
                             : Chance(0.05) ? FILE_ATTRIBUTE_HIDDEN
                             : Chance(0.03) ? FILE_ATTRIBUTE_SYSTEM
                                            : 0;
    WriteFile(path, bytes, attributes);
    written_[Fold(path)] = bytes;
    manifestsMade_.push_back(path);
    log_.push_back(L"manifest " + path + L" attributes " + std::to_wstring(attributes) +
                   (marked ? L"" : L" (no mark)") + L", " + std::to_wstring(bytes.size()) + L" bytes:\n  " +
                   Describe(text));
}

void Case::AddBatch(const std::wstring& base) {
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    std::wstring name = Chance(0.15) ? L"__ShortcutSweep.BAT" : L"__shortcutsweep.bat";
    if (roll < 0.3) {
        return;
    }
    if (roll < 0.35) {
        names_[Fold(base)].insert(Fold(name));
        MakeFolder(base + L"\\" + name);
        return;
    }
    if (roll < 0.38 && links_.enabled) {
        const std::wstring target = Outside() + L"\\" + NewName(Outside(), L".bat");
        AddFile(Outside(), LeafOf(target), 0);
        names_[Fold(base)].insert(Fold(name));
        Link(target, base + L"\\" + name);
        return;
    }
    AddFile(base, name, roll < 0.45 ? FILE_ATTRIBUTE_READONLY : roll < 0.5 ? FILE_ATTRIBUTE_HIDDEN : 0);
}

}  // namespace sweep_property

// The lines of a random case's manifests (PropertyCase.h): each with what
// the generator means by it, which the model must agree with.
#include "tests/PropertyCase.h"

#include <string>
#include <utility>
#include <vector>

using namespace sweep_model;
using namespace testing_support;

namespace sweep_property {

std::wstring Case::PatternFor(const std::wstring& name) {
    std::wstring stem = name;
    if (Fold(stem).size() >= 4 && Fold(stem).substr(stem.size() - 4) == L".URL") {
        stem.resize(stem.size() - 4);
    }
    std::wstring pattern;
    for (size_t i = 0; i < stem.size(); ++i) {
        const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
        if (stem[i] == L'.' && roll < 0.5) {
            pattern += L'?';  // never a dot on Windows: names only with another character there
        } else if (roll < 0.15) {
            pattern += L'?';
        } else if (roll < 0.25) {
            pattern += L'*';
            i += Uniform(0, 3);
        } else {
            pattern += stem[i];
        }
    }
    // A ? just before the dot may stand for nothing.
    return FlipCase(pattern) + (Chance(0.15) ? L"?.url" : L".url");
}

std::wstring Case::FinalPiece(const std::wstring& folder) {
    std::vector<std::wstring> present = FilesIn(folder);
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    // Drawn whatever the branch, so that a branch that depends on the
    // machine (an alias that cannot be had) leaves the rest of the case
    // as it was.
    const std::wstring generic =
        Pick(std::vector<std::wstring>{L"*.url", L"*", L"?.url", L"*?.url", L"**.url", L"*.*.url",
                                       L"Vantrel*.url", L"*e*.url", L"???.url", L"*.url*.url"}) +
        (Chance(0.1) ? L"x" : L"");
    if (!present.empty() && roll < 0.35) {
        return Pick(present);  // acted on only when it ends in lower-case .url
    }
    if (!present.empty() && roll < 0.55) {
        std::wstring name = Pick(present);
        std::wstring flipped = FlipCase(name);
        if (Fold(name).size() >= 4 && Fold(name).substr(name.size() - 4) == L".URL") {
            flipped = flipped.substr(0, flipped.size() - 4) + L".url";
        }
        return flipped;
    }
    if (!present.empty() && roll < 0.75) {
        ++wildcardLines;
        const std::wstring name = Pick(present);
        return PatternFor(name.substr(name.rfind(L'\\') + 1));  // of a name holding a backslash, its end
    }
    if (!present.empty() && roll < 0.82) {
        // The 8.3 alias of a file: it names the file, which goes only
        // when its own name ends in .url.
        wchar_t alias[MAX_PATH] = L"";
        std::wstring full = folder + L"\\" + Pick(present);
        if (full.size() < MAX_PATH && ::GetShortPathNameW(full.c_str(), alias, MAX_PATH) > 0) {
            std::wstring shortName = LeafOf(alias);
            if (Fold(shortName).size() >= 4 && Fold(shortName).substr(shortName.size() - 4) == L".URL") {
                return shortName.substr(0, shortName.size() - 4) + L".url";
            }
        }
    }
    if (roll < 0.92) {
        ++wildcardLines;
        return generic;
    }
    return L"missing-" + std::to_wstring(Uniform(0, 999)) + L".url";
}

std::wstring Case::UnixFolder(const std::wstring& folder) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "wine_get_unix_file_name")));
    if (!unixName) {
        return std::wstring();
    }
    char* name = unixName(folder.c_str());
    if (!name) {
        return std::wstring();
    }
    int length = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length - 1 : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), length);
    ::HeapFree(::GetProcessHeap(), 0, name);
    for (wchar_t& ch : wide) {
        if (ch == L'/') {
            ch = L'\\';
        }
    }
    return wide;
}

std::pair<std::wstring, LineKind> Case::Line() {
    const std::wstring folder = Chance(0.05) ? root_ + L"\\Missing\\Folder" : Pick(targets_);
    const std::wstring name = FinalPiece(folder);
    const bool endsInUrl = name.size() >= 4 && name.substr(name.size() - 4) == L".url";
    const LineKind usable = endsInUrl ? LineKind::Acted : LineKind::Ignored;
    const std::wstring relative = folder.substr(root_.size() + 1);  // the working folder is the root
    const std::wstring leaf = LeafOf(folder);
    const std::wstring parent = FolderOf(folder);
    // A literal path takes a folder ending in a dot or a blank as it is:
    // no line of that form is an entry.
    const LineKind literalUsable =
        !leaf.empty() && (leaf.back() == L'.' || leaf.back() == L' ') ? LineKind::Ignored : usable;
    // Any other refuses a folder ending in two dots, unless a blank
    // follows them.
    const LineKind namedUsable =
        leaf.size() >= 2 && leaf.compare(leaf.size() - 2, 2, L"..") == 0 ? LineKind::Ignored : usable;
    const double roll = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    if (roll < 0.60) {
        std::wstring line = folder + L"\\" + name;
        switch (Uniform(0, 5)) {
            case 0:
                return {L"\\\\?\\" + line, literalUsable};
            case 1:
                for (wchar_t& c : line) {
                    if (c == L'\\' && Chance(0.5)) c = L'/';
                }
                break;
            case 2:
                line[0] = static_cast<wchar_t>(line[0] + 0x20);  // c:\...
                break;
            case 3:
                line = FlipCase(folder) + L"\\" + name;
                break;
            default:
                break;
        }
        return {line, namedUsable};
    }
    if (roll < 0.62) {
        // Spellings Windows normalises to the same file, or (a blank
        // that stays at the end of a folder) to a folder not there.
        std::wstring spelled;
        switch (Uniform(0, 4)) {
            case 0:
                spelled = folder + L"\\..\\" + leaf + L"\\" + name;
                break;
            case 1:
                spelled = folder + L"\\.\\" + name;
                break;
            case 2:
                spelled = folder + L"\\\\" + name;
                break;
            case 3:
                // A folder that ends in a dot already would then end
                // in two: refused.
                spelled = folder + L".\\" + name;
                return {spelled, leaf.back() == L'.' ? LineKind::Ignored : usable};
            default:
                spelled = folder + L" \\" + name;
                return {spelled, usable};
        }
        return {spelled, namedUsable};
    }
    if (roll < 0.65 && RunningUnderWine()) {
        // A share that is not there: safe by its form, names nothing.
        const bool literal = Chance(0.5);
        return {(literal ? L"\\\\?\\UNC\\no-such-server.invalid\\share\\"
                         : L"\\\\no-such-server.invalid\\share\\") +
                    relative + L"\\" + name,
                literal ? literalUsable : namedUsable};
    }
    if (roll < 0.70) {
        // Not ending in exactly ".url": never an entry.
        return {folder + L"\\" + name + Pick(std::vector<std::wstring>{L" ", L"\t", L".", L"x", L"\r"}),
                LineKind::Ignored};
    }
    if (roll < 0.73) {
        std::wstring upper = folder + L"\\" + name;
        if (endsInUrl) {
            upper = upper.substr(0, upper.size() - 4) + L".URL";
        }
        return {upper, LineKind::Ignored};
    }
    // Forms that could name a file other than the one they seem to;
    // under Wine most of these reach the very file.
    std::wstring unsafe;
    switch (Uniform(0, 17)) {
        case 0:
            unsafe = relative + L"\\" + name;
            break;
        case 1:
            unsafe = L"C:" + relative + L"\\" + name;
            break;
        case 2:
            unsafe = folder.substr(2) + L"\\" + name;
            break;
        case 3:  // climbs above the drive, where Windows would stop
            unsafe = folder.substr(0, 3) + L"..\\" + folder.substr(3) + L"\\" + name;
            break;
        case 4:  // taken literally, where .. is a name
            unsafe = L"\\\\?\\" + folder + L"\\..\\" + leaf + L"\\" + name;
            break;
        case 5:
            unsafe = L"\\\\?\\" + folder + L"/" + name;
            break;
        case 6:
            unsafe = folder + L"..\\" + name;
            break;
        case 7:
            unsafe = L"//?/" + folder + L"/" + name;
            break;
        case 8:
            unsafe = folder + L"\\" + name + L":x.url";
            break;
        case 9:
            unsafe = folder + L"\\" + Pick(std::vector<std::wstring>{L"\x01", L"\t", L"\x1F"}) + name;
            break;
        case 10:
            unsafe = folder + L"\\" + Pick(std::vector<std::wstring>{L"<", L">", L"\"", L"|"}) + name;
            break;
        case 11:
            unsafe = parent + L"\\" + (leaf.size() > 1 ? L"*" + leaf.substr(1) : L"*") + L"\\" + name;
            break;
        case 12:
            unsafe = parent + L"\\" + (leaf.size() > 1 ? leaf.substr(0, leaf.size() - 1) + L"?" : L"?") +
                     L"\\" + name;
            break;
        case 13:
            unsafe = L"\\\\.\\" + folder + L"\\" + name;
            break;
        case 14:
            unsafe = L"\\\\?\\GLOBALROOT\\??\\" + folder + L"\\" + name;
            break;
        case 15:
            unsafe = L"\\??\\" + folder + L"\\" + name;
            break;
        case 16: {
            std::wstring unixFolder = UnixFolder(folder);
            unsafe = unixFolder.empty() ? L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\" + name
                                        : L"\\\\?\\unix" + unixFolder + L"\\" + name;
            break;
        }
        default:
            unsafe = L"\uFEFF" + folder + L"\\" + name;
            break;
    }
    if (unsafe.size() < 4 || unsafe.substr(unsafe.size() - 4) != L".url") {
        unsafe += L"\\x.url";  // keep the form the only reason it is passed over
    }
    return {unsafe, LineKind::Ignored};
}

}  // namespace sweep_property

#include "common/modOpen.h"

#include <windows.h>

namespace vantrel {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

UniqueFile Open(const Path& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return UniqueFile(::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
}

}  // namespace

UniqueFile OpenToAsk(const Path& path) {
    return Open(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS);
}

UniqueFile OpenFolderToList(const Path& path) {
    return Open(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS);
}

UniqueFile OpenToDelete(const Path& path) {
    return Open(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, OPEN_EXISTING,
                FILE_FLAG_OPEN_REPARSE_POINT);
}

UniqueFile OpenToReadAndDelete(const Path& path) {
    return Open(path, DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
}

UniqueFile OpenToRead(const Path& path) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

UniqueFile OpenToAppend(const Path& path, Disposition disposition) {
    constexpr DWORD kAccess = FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    return disposition == Disposition::Existing
               ? Open(path, kAccess, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT)
               : Open(path, kAccess | DELETE, kShareAll, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
}

}  // namespace vantrel

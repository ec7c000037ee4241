// The ways the programs open files and folders: one function for each kind
// of open, so that what an open asks for, shares and follows is written
// once. Every one shares reading, writing and deleting with others unless
// it says otherwise, and returns an empty handle on failure, with the
// system's error in GetLastError.
#pragma once

#include "common/Handle.h"
#include "common/modPaths.h"

namespace vantrel {

// To ask where a file or folder lies and what it is: its attributes only.
// Follows links on the way and at the end: a folder on the way may be one.
UniqueFile OpenToAsk(const Path& path);

// A folder, to list it (and ask about it).
UniqueFile OpenFolderToList(const Path& path);

// A file, to check it and delete it through the same handle. A final link
// is not followed where the system can open a link itself (Windows); Wine
// follows it all the same.
UniqueFile OpenToDelete(const Path& path);

// A file to read, check and delete through one handle (a manifest): others
// may read or delete it meanwhile, nobody may write it. Follows links: a
// manifest that is a link is open as what it leads to, which its place
// then shows.
UniqueFile OpenToReadAndDelete(const Path& path);

// A file, to read it alone: others may read it meanwhile, nobody may write
// or delete it.
UniqueFile OpenToRead(const Path& path);

// A log file, to append to it and lock a byte of it: an existing one
// (Disposition::Existing), or a new one where nothing of that name is
// (Disposition::New, with the right to delete it again). Neither follows a
// final link where the system can open a link itself; some systems (Wine)
// follow a link without a target when creating, and would make its target.
enum class Disposition { Existing, New };
UniqueFile OpenToAppend(const Path& path, Disposition disposition);

}  // namespace vantrel

// What the Anki part needs of the operating system, behind one small interface: a ZIP archive
// opened by its path, SQLite's shared lock on a collection taken by hand, and the folder where
// Anki keeps its profiles. system_posix.cpp holds POSIX's (fcntl locks, Anki's folders on
// Linux), system_windows.cpp Windows' (LockFileEx, %APPDATA%); snapshot.cpp and the rest
// are the same everywhere.
#pragma once

#include <string>

#include <zip.h>

namespace deck::anki {

// zip_open of the archive at `path` (UTF-8), with its flags and its error code.
zip_t* OpenZipFile(const std::string& path, int flags, int* error);

// Takes SQLite's SHARED lock on the open collection `fd` as SQLite itself takes it on this
// system, so that it conflicts with the locks of every SQLite connection to the file: false
// at once when another connection holds a lock that excludes it (a writer, or Anki's
// exclusive locking mode). A file system without locks counts as locked by no one.
bool TrySharedLock(int fd);
// Drops the lock again.
void DropSharedLock(int fd);

// Makes SQLite open its files so that the end of the program from outside can remove them (see
// RemovedOnSignal): on Windows its handles may be closed then, and their files removed while
// open; nothing to do on POSIX. Call it before SQLite opens a file.
void PrepareSqliteFiles();

// Where Anki keeps its profiles when ANKI_BASE does not say: on Linux $XDG_DATA_HOME/Anki2
// (by default ~/.local/share/Anki2) when that folder exists, otherwise the Flatpak's
// ~/.var/app/net.ankiweb.Anki/data/Anki2 when that one exists, otherwise the first of the two;
// on Windows %APPDATA%\Anki2.
std::string DefaultAnkiBase();

} // namespace deck::anki

// The file operations the card store uses, behind one narrow interface so that tests can
// wrap them to inject faults (a file that cannot be created, storage that fills up, reads
// that come back in pieces). The default is the real Win32 calls; every open asks for no
// sharing.
#pragma once

#include <windows.h>

class CardFileOps {
public:
    virtual ~CardFileOps();

    // CreateFileW with GENERIC_READ, share mode 0, OPEN_EXISTING. INVALID_HANDLE_VALUE on failure.
    virtual HANDLE OpenForReading(const WCHAR* path);
    // CreateFileW with GENERIC_WRITE, share mode 0, CREATE_ALWAYS (truncates).
    virtual HANDLE CreateForWriting(const WCHAR* path);
    // ReadFile; *got receives the number of bytes read (0 at the end of the file).
    virtual BOOL Read(HANDLE file, void* buffer, DWORD bytes, DWORD* got);
    // WriteFile of the whole buffer.
    virtual BOOL Write(HANDLE file, const void* buffer, DWORD bytes);
    // SetFilePointer to an unsigned 32-bit byte offset from the start of the file.
    virtual BOOL SeekFromStart(HANDLE file, DWORD offset);
    // GetFileTime: the last-write time only.
    virtual BOOL GetLastWriteTime(HANDLE file, FILETIME* lastWrite);
    // DeleteFileW.
    virtual BOOL Delete(const WCHAR* path);
};

// The operations in use: the real calls unless a test has put others in place.
CardFileOps& CurrentCardFileOps();
// Puts ops in place (NULL restores the real calls) and returns the previous ones.
CardFileOps* SetCardFileOps(CardFileOps* ops);

#include "cardstore/fileio.h"

CardFileOps::~CardFileOps() {}

HANDLE CardFileOps::OpenForReading(const WCHAR* path) {
    return CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

HANDLE CardFileOps::CreateForWriting(const WCHAR* path) {
    return CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

BOOL CardFileOps::Read(HANDLE file, void* buffer, DWORD bytes, DWORD* got) {
    *got = 0;
    return ReadFile(file, buffer, bytes, got, NULL);
}

BOOL CardFileOps::Write(HANDLE file, const void* buffer, DWORD bytes) {
    DWORD written = 0;
    return WriteFile(file, buffer, bytes, &written, NULL) && written == bytes;
}

BOOL CardFileOps::SeekFromStart(HANDLE file, DWORD offset) {
    // A high part of 0 makes the distance an unsigned 32-bit offset.
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

BOOL CardFileOps::GetLastWriteTime(HANDLE file, FILETIME* lastWrite) {
    return GetFileTime(file, NULL, NULL, lastWrite);
}

BOOL CardFileOps::Delete(const WCHAR* path) {
    return DeleteFileW(path);
}

namespace {
CardFileOps realOps;
CardFileOps* currentOps = &realOps;
} // namespace

CardFileOps& CurrentCardFileOps() {
    return *currentOps;
}

CardFileOps* SetCardFileOps(CardFileOps* ops) {
    CardFileOps* previous = currentOps;
    currentOps = ops != NULL ? ops : &realOps;
    return previous;
}

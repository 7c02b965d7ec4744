// What the card store's operations share: the paths of the index and temp files beside the
// data file, reads that gather a whole header, the index file's 32-bit little-endian numbers,
// and the errors that the card shows.
#pragma once

#include "cardstore/cardstore.h"
#include "cardstore/fileio.h"

// The index file's header: stamp low, stamp high, count; the card offsets follow it.
const DWORD kHeaderBytes = 12;

// The messages that ShowError puts on the card.
extern const WCHAR kDataNotOpened[];
extern const WCHAR kOutOfIndex[];
extern const WCHAR kNotUtf16[];
extern const WCHAR kTempNotCreated[];
extern const WCHAR kIndexNotOpened[];
extern const WCHAR kTempNotOpened[];

// Shows the error on the card: "error" and the message.
void ShowError(Card& card, const WCHAR* message);

// Reads until `bytes` bytes have come or the file ends. Returns the number of bytes read.
DWORD ReadUpTo(CardFileOps& io, HANDLE file, void* buffer, DWORD bytes);

DWORD LoadLe32(const BYTE* p);
void StoreLe32(BYTE* p, DWORD v);

// Forms `path` with everything from its last "." onwards replaced by `extension`.
// 0 when the path has no "." or the result does not fit; `out` is then empty.
int ReplaceExtension(WCHAR* out, const WCHAR* path, const WCHAR* extension);

// The two paths name the same file (compared without case, as the file system does).
bool SamePath(const WCHAR* a, const WCHAR* b);

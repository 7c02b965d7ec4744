// Bounded UTF-16 text helpers. Every copy into a fixed buffer is given the buffer's size in
// code units and never writes past it; a text that does not fit together with its NUL leaves
// the destination empty and reports failure.
#pragma once

#include <windows.h>
#include <stddef.h>

// Copies src into dst (dstUnits code units, NUL included). 1 on success, 0 on failure.
int BoundedCopy(WCHAR* dst, size_t dstUnits, const WCHAR* src);

// Appends src to the text in dst. 1 on success; 0 leaves dst empty.
int BoundedAppend(WCHAR* dst, size_t dstUnits, const WCHAR* src);

// Number of code units before the first NUL, counted up to maxUnits at most.
size_t BoundedLength(const WCHAR* text, size_t maxUnits);

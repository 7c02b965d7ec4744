// The card store's reading done the slow, obvious way: one ReadFile call per code unit on the
// real file. The tests hold the block-reading store against it, and the benchmark times it.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

namespace reference {

// Scans the data file one unit per read. False when it cannot be opened or has no FF FE mark.
bool ScanOffsets(const WCHAR* dataPath, std::vector<uint32_t>* offsets);

// Reads the card at byte `offset` one unit per read: question (cut at 511 units, the rest of
// an over-long one passed over), the TAB run, then the answer (cut at 511 units).
bool ReadCard(const WCHAR* dataPath, uint32_t offset, std::wstring* question, std::wstring* answer);

} // namespace reference

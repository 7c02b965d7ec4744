// The benchmark's decks and the timing of their file work: the generated deck, index builds,
// plain reads, and the file work that any index build must do.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>

// Seconds on the performance counter.
double Now();

// Writes the first `cards` generated cards to `path`: UTF-16 with CR LF, or fortune format.
// Card i has a question of 8 to 40 letters and an answer of 4 to 24.
bool WriteDeck(const std::wstring& path, int cards, bool fortune, uint64_t* bytes);

// Writes a deck of about `bytes` bytes.
bool WriteDeckOfSize(const std::wstring& path, uint64_t bytes);

// Seconds of the best of `runs` index builds, the index removed before each; -1 on failure.
double BestBuild(const std::wstring& deck, int runs, LONG* count);

// Seconds of the best of `runs` plain reads of the whole file in 1 MiB blocks.
double BestRead(const std::wstring& path, int runs, uint64_t* bytes);

// The file work that any index build of the deck must do, without the scan and in 1 MiB
// blocks: read the whole deck, write one 4-byte offset per card to the temp file, read them
// back, and write the index (stamp, count, offsets); the index is removed before each run and
// the temp file deleted at the end, as a build does. Seconds of the best of `runs`, or -1.
double BestIoFloor(const std::wstring& deck, int runs, LONG cards);

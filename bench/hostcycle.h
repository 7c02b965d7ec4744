// The cost of one select/leave cycle through today-host.exe, and the file work of one draw.
#pragma once

#include <windows.h>

#include <string>

// One draw's file work and nothing else: the exclusive opens, reads, seeks and closes of the
// deck and its index that GetCardCount and LoadCard of card n make, in their order, without
// the card store's checks and parsing. False when a file cannot be opened.
bool DrawFileWork(const std::wstring& indexPath, const std::wstring& deckPath, LONG n);

// Runs today-host.exe (beside this program) on a copy of Tollamy.dll named after the deck, so
// that the item reads that deck, with a script of `cycles` select/leave pairs; its standard
// output goes to a file in the deck's folder. While the host runs, the number of lines in that
// file is sampled every few milliseconds; each stretch of at least 50 cycles between samples
// gives one cost per cycle, and the median over the stretches is returned in microseconds,
// so that the host's start and end count for nothing. -1 on failure, with a message on stderr.
double HostCycleMedianUs(const std::wstring& deckPath, int cycles);

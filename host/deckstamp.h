// What the screen knows of an item's deck, so that it notices when the deck changes: an item
// of this kind reads the data file beside its module, the module's path with its last
// extension replaced by ".txt" (French.dll reads French.txt).
#pragma once

#include <windows.h>
#include <string>

struct DeckStamp {
    bool present = false;  // the file could be read
    FILETIME written = {}; // its last write time
    ULONGLONG size = 0;
};

bool SameDeckStamp(const DeckStamp& a, const DeckStamp& b);

// The data file of the item module at modulePath; empty when the item has none.
std::wstring DataFileOf(const std::wstring& modulePath);

// The data file's stamp as it stands now. A link is followed to the file it names.
DeckStamp ReadDeckStamp(const std::wstring& dataFile);

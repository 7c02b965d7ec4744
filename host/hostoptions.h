// The host's command line.
#pragma once

#include <string>

struct HostOptions {
    std::wstring modulePath; // --module PATH; empty: Tollamy.dll beside the executable
    std::wstring scriptPath; // --script FILE; empty: interactive
    std::wstring captureDir; // --capture-dir DIR; empty: the current folder
    bool vga = false;        // --vga: 480 x 640 at 192 dpi instead of 240 x 320 at 96 dpi
    bool relaunched = false; // --relaunched: started by a host that set the screen resolution
    bool live = false;       // --live: a card in every item at once, decks and list followed
};

// Fills options from argv. Returns false with a message in error for a bad command line.
bool ParseHostOptions(int argc, wchar_t** argv, HostOptions* options, std::wstring* error);

// The usage text printed for --help and after a bad command line.
const wchar_t* HostUsage();

// The item's display state: written by the window procedure, read by the painting.
#pragma once

#include <windows.h>

struct DisplayStateRecord {
    LONG selected;      // 1 while the host's selection is on the item
    LONG phase;         // while selected: 0 shows the answer side, 1 the question side
    UINT_PTR timerId;   // result of the last display-timer start; 0 when there is none
    LONG swapSides;     // 1: the current card is shown with its sides exchanged
    LONG lastCardIndex; // number of the card loaded last; -1 before the first
};

extern DisplayStateRecord DisplayState;

#define DISPLAY_TIMER_ID 1

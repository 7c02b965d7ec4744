// The item window procedure: the display cycle, the height report and the action.
#pragma once

#include <windows.h>

LRESULT CALLBACK ItemWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The random source of the display cycle: non-negative numbers. Tests may replace it;
// passing NULL restores the platform's source.
typedef LONG (*RandomSource)();
void SetRandomSource(RandomSource source);
LONG NextRandom();

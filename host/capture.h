// Screen captures as PNG files, through the Windows Imaging Component.
#pragma once

#include <windows.h>
#include <string>

// Copies the window's pixels (its client area, or the whole window with its frame) with
// BitBlt from its device context, after any pending painting, and writes them to path as a
// PNG. The window must be visible. Returns false with a message in error.
bool CaptureWindow(HWND window, bool wholeWindow, const std::wstring& path, int* width, int* height,
                   std::wstring* error);

// Writes 32-bit BGRX rows (top-down, stride = width * 4) to path as a 24-bit PNG.
bool WritePng(const std::wstring& path, int width, int height, const BYTE* pixels,
              std::wstring* error);

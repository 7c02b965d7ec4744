// Test fixtures for the item's windows: a parent that answers the Today host's requests with
// known colours and a known watermark, pixel capture from a window's DC, temporary folders
// and decks. Shared by the paint, item and module tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ScopedWin.h"
#include "common/dibsection.h"
#include "item/today.h"

#include "support/programfolder.h"
#include "support/tempfolder.h"

namespace testhost {

// The host's answers. All distinct from each other and from the icon's colour.
struct HostColors {
    COLORREF text;
    COLORREF highlight;
    COLORREF highlightedText;
    COLORREF watermark;
};

inline const HostColors& DefaultColors() {
    static const HostColors colors = {RGB(170, 0, 0), RGB(0, 0, 150), RGB(255, 255, 0),
                                      RGB(200, 230, 200)};
    return colors;
}

inline const HostColors& OtherColors() {
    static const HostColors colors = {RGB(0, 120, 0), RGB(120, 0, 120), RGB(0, 255, 255),
                                      RGB(240, 240, 180)};
    return colors;
}

// One request that reached a test parent.
struct Request {
    HWND parent;
    UINT message;
    WPARAM wParam;
    HWND itemWindow; // DRAWWATERMARK: the window named in the record
    RECT rect;       // DRAWWATERMARK: the rectangle named in the record
};

inline std::vector<Request>& Requests() {
    static std::vector<Request> requests;
    return requests;
}

inline LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HostColors* colors =
        reinterpret_cast<const HostColors*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case TODAYM_GETCOLOR:
        Requests().push_back({window, message, wParam, nullptr, {}});
        switch (wParam) {
        case TODAYCOLOR_TEXT:
            return colors->text;
        case TODAYCOLOR_HIGHLIGHT:
            return colors->highlight;
        case TODAYCOLOR_HIGHLIGHTEDTEXT:
            return colors->highlightedText;
        default:
            return RGB(1, 2, 3);
        }
    case TODAYM_DRAWWATERMARK: {
        const TODAYDRAWWATERMARKINFO* info =
            reinterpret_cast<const TODAYDRAWWATERMARKINFO*>(lParam);
        Requests().push_back({window, message, wParam, info->hwnd, info->rc});
        HBRUSH brush = CreateSolidBrush(colors->watermark);
        FillRect(info->hdc, &info->rc, brush);
        DeleteObject(brush);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A visible top-level test parent, placed by process id so that parallel test programs do
// not cover each other's windows.
inline HWND CreateParent(const HostColors& colors = DefaultColors(), int width = 300,
                         int height = 80) {
    static ATOM atom = 0;
    if (atom == 0) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = L"TollamyTestParent";
        atom = RegisterClassW(&wc);
    }
    const DWORD slot = GetCurrentProcessId() % 48;
    const int x = static_cast<int>(slot / 12) * 310;
    const int y = static_cast<int>(slot % 12) * 84;
    HWND parent = CreateWindowExW(WS_EX_TOOLWINDOW, L"TollamyTestParent", L"test host",
                                  WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&colors));
    UpdateWindow(parent);
    return parent;
}

// Dispatches the messages waiting for this thread.
inline void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A window's client area, read back from its DC while it is visible.
class Capture {
public:
    explicit Capture(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        ScopedGetDC windowDc(window);
        Grab(windowDc.Get());
    }

    // A capture of an existing DC's top-left area.
    Capture(HDC dc, int width, int height) : width_(width), height_(height) {
        pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        Grab(dc);
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const {
        const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // How many pixels inside [x0, x1) x [0, height) have exactly the colour.
    int Count(COLORREF color, int x0 = 0, int x1 = -1) const {
        if (x1 < 0) {
            x1 = width_;
        }
        int n = 0;
        for (int y = 0; y < height_; ++y) {
            for (int x = x0; x < x1; ++x) {
                n += At(x, y) == color ? 1 : 0;
            }
        }
        return n;
    }

private:
    void Grab(HDC source) {
        DibSection dib(width_, height_);
        if (!dib.Valid()) {
            return;
        }
        ScopedMemoryDC memory(source);
        {
            ScopedSelect select(memory.Get(), dib.Get());
            BitBlt(memory.Get(), 0, 0, width_, height_, source, 0, 0, SRCCOPY);
            GdiFlush();
        }
        pixels_.assign(dib.Bits(), dib.Bits() + static_cast<size_t>(width_) * height_);
    }

    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
};

// A 32-bit memory surface for reference drawings.
class Surface {
public:
    Surface(int width, int height)
        : width_(width), height_(height), dib_(width, height), dc_(nullptr),
          select_(dc_.Get(), dib_.Get()) {}

    HDC Dc() const { return dc_.Get(); }
    void Fill(COLORREF color, int x0, int x1) {
        RECT r = {x0, 0, x1, height_};
        ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(color));
        FillRect(dc_.Get(), &r, brush.Get());
    }
    Capture Read() const { return Capture(dc_.Get(), width_, height_); }

private:
    int width_;
    int height_;
    DibSection dib_;
    ScopedMemoryDC dc_;
    ScopedSelect select_;
};

using ::TempFolder;

// Writes text as a UTF-16LE data file with its byte-order mark.
inline void WriteDeck(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const unsigned char mark[2] = {0xFF, 0xFE};
    WriteFile(file, mark, 2, &written, nullptr);
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
}

inline bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using ::ProgramFolder;

} // namespace testhost

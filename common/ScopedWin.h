// Small owners for Win32 handles: each closes or releases what it holds exactly once.
#pragma once

#include <windows.h>

// A kernel handle whose failure value is INVALID_HANDLE_VALUE (files).
class ScopedFile {
public:
    ScopedFile() : h_(INVALID_HANDLE_VALUE) {}
    explicit ScopedFile(HANDLE h) : h_(h) {}
    ~ScopedFile() { Close(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }
    void Close() {
        if (h_ != INVALID_HANDLE_VALUE) {
            CloseHandle(h_);
            h_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE h_;
};

// A kernel handle whose failure value is NULL (events, processes, threads).
class ScopedHandle {
public:
    ScopedHandle() : h_(NULL) {}
    explicit ScopedHandle(HANDLE h) : h_(h) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool Valid() const { return h_ != NULL; }
    HANDLE Get() const { return h_; }
    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }
    void Close() {
        if (h_ != NULL) {
            CloseHandle(h_);
            h_ = NULL;
        }
    }

private:
    HANDLE h_;
};

// An open registry key.
class ScopedKey {
public:
    ScopedKey() : key_(NULL) {}
    ~ScopedKey() { Close(); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    HKEY Get() const { return key_; }
    HKEY* Receive() {
        Close();
        return &key_;
    }
    void Close() {
        if (key_ != NULL) {
            RegCloseKey(key_);
            key_ = NULL;
        }
    }

private:
    HKEY key_;
};

// A GDI object that this code created and must delete.
template <typename T> class ScopedGdiObject {
public:
    ScopedGdiObject() : obj_(NULL) {}
    explicit ScopedGdiObject(T obj) : obj_(obj) {}
    ~ScopedGdiObject() { Reset(NULL); }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

    T Get() const { return obj_; }
    // Deletes the object held so far and takes obj.
    void Reset(T obj) {
        if (obj_ != NULL) {
            DeleteObject(obj_);
        }
        obj_ = obj;
    }

private:
    T obj_;
};

// Selects an object into a DC and selects the previous one back on scope exit.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj != NULL ? SelectObject(dc, obj) : NULL) {}
    ~ScopedSelect() {
        if (old_ != NULL) {
            SelectObject(dc_, old_);
        }
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A DC from GetDC, released with ReleaseDC.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND wnd) : wnd_(wnd), dc_(GetDC(wnd)) {}
    ~ScopedGetDC() {
        if (dc_ != NULL) {
            ReleaseDC(wnd_, dc_);
        }
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND wnd_;
    HDC dc_;
};

// A DC from GetWindowDC (the whole window, frame included), released with ReleaseDC.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND wnd) : wnd_(wnd), dc_(GetWindowDC(wnd)) {}
    ~ScopedWindowDC() {
        if (dc_ != NULL) {
            ReleaseDC(wnd_, dc_);
        }
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND wnd_;
    HDC dc_;
};

// A memory DC from CreateCompatibleDC, deleted with DeleteDC.
class ScopedMemoryDC {
public:
    explicit ScopedMemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~ScopedMemoryDC() {
        if (dc_ != NULL) {
            DeleteDC(dc_);
        }
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// BeginPaint / EndPaint.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND wnd) : wnd_(wnd), dc_(NULL), ps_() { dc_ = BeginPaint(wnd, &ps_); }
    ~ScopedPaint() { EndPaint(wnd_, &ps_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Get() const { return dc_; }
    // The part of the window to paint.
    const RECT& Area() const { return ps_.rcPaint; }

private:
    HWND wnd_;
    HDC dc_;
    PAINTSTRUCT ps_;
};

#include "host/capture.h"

#include <wincodec.h>
#include <vector>
#include "common/ScopedWin.h"
#include "common/dibsection.h"

namespace {

// Releases a COM interface pointer once.
template <typename T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (p_ != nullptr) {
            p_->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* Get() const { return p_; }
    T** Receive() { return &p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

std::wstring HresultText(const wchar_t* step, HRESULT hr) {
    WCHAR code[16];
    wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(hr));
    return std::wstring(step) + L" failed with " + code;
}

// Copies width x height pixels from source into bitmap, through the memory DC.
BOOL CopyInto(HDC memory, HBITMAP bitmap, HDC source, int width, int height) {
    ScopedSelect select(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    return copied;
}

} // namespace

bool WritePng(const std::wstring& path, int width, int height, const BYTE* pixels,
              std::wstring* error) {
    ComRef<IWICImagingFactory> factory;
    HRESULT hr =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Receive()));
    if (FAILED(hr)) {
        *error = HresultText(L"creating the imaging factory", hr);
        return false;
    }
    ComRef<IWICStream> stream;
    hr = factory->CreateStream(stream.Receive());
    if (SUCCEEDED(hr)) {
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    }
    if (FAILED(hr)) {
        *error = HresultText((L"opening " + path).c_str(), hr);
        return false;
    }
    ComRef<IWICBitmapEncoder> encoder;
    hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Receive());
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    }
    ComRef<IWICBitmapFrameEncode> frame;
    ComRef<IPropertyBag2> properties;
    if (SUCCEEDED(hr)) {
        hr = encoder->CreateNewFrame(frame.Receive(), properties.Receive());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(properties.Get());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        hr = E_FAIL;
    }
    if (FAILED(hr)) {
        *error = HresultText(L"setting up the PNG encoder", hr);
        return false;
    }
    const UINT stride = static_cast<UINT>((width * 3 + 3) & ~3);
    std::vector<BYTE> rows(static_cast<size_t>(stride) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const BYTE* from = pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        BYTE* to = rows.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            to[x * 3 + 0] = from[x * 4 + 0];
            to[x * 3 + 1] = from[x * 4 + 1];
            to[x * 3 + 2] = from[x * 4 + 2];
        }
    }
    hr = frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(rows.size()),
                            rows.data());
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    if (FAILED(hr)) {
        *error = HresultText(L"writing the PNG", hr);
        return false;
    }
    return true;
}

bool CaptureWindow(HWND window, bool wholeWindow, const std::wstring& path, int* width, int* height,
                   std::wstring* error) {
    if (!IsWindowVisible(window)) {
        *error = L"the window is not visible";
        return false;
    }
    // Finish every pending WM_PAINT first: the copy reads what is on the screen.
    RedrawWindow(wholeWindow ? window : GetAncestor(window, GA_ROOT), nullptr, nullptr,
                 RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rc;
    if (wholeWindow) {
        GetWindowRect(window, &rc);
        OffsetRect(&rc, -rc.left, -rc.top);
    } else {
        GetClientRect(window, &rc);
    }
    *width = rc.right;
    *height = rc.bottom;
    if (*width <= 0 || *height <= 0) {
        *error = L"the window has no area";
        return false;
    }

    DibSection bitmap(*width, *height);
    ScopedMemoryDC memory(nullptr);
    if (!bitmap.Valid() || memory.Get() == nullptr) {
        *error = L"cannot create a bitmap for the capture";
        return false;
    }
    BOOL copied = FALSE;
    if (wholeWindow) {
        ScopedWindowDC source(window);
        copied = CopyInto(memory.Get(), bitmap.Get(), source.Get(), *width, *height);
    } else {
        ScopedGetDC source(window);
        copied = CopyInto(memory.Get(), bitmap.Get(), source.Get(), *width, *height);
    }
    if (!copied) {
        *error = L"BitBlt from the window failed";
        return false;
    }
    return WritePng(path, *width, *height, reinterpret_cast<const BYTE*>(bitmap.Bits()), error);
}

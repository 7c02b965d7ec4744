// Tollamy.dll as the Today host meets it: loaded from a folder of its own under a name with
// several dots, its ordinal-only exports, the item window it creates, the data file beside it,
// its unloading, and the resources it carries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cardstore/cardstore.h"
#include "common/text.h"
#include "item/display.h"
#include "item/module.h"
#include "item/paint.h"
#include "item/today.h"
#include "support/testhost.h"
#include "resources/resource.h"

namespace {

// The built module, copied into a temporary folder as a.b.dll and loaded from there. It reads
// the settings key, but no check here depends on the values, so the key is left to the
// settings tests.
class LoadedModule : public ::testing::Test {
protected:
    void SetUp() override {
        dllPath_ = folder_.File(L"a.b.dll");
        ASSERT_TRUE(CopyFileW((testhost::ProgramFolder() + L"\\Tollamy.dll").c_str(),
                              dllPath_.c_str(), FALSE));
        module_ = LoadLibraryW(dllPath_.c_str());
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    PFNINITIALIZECUSTOMITEM Initialize() const {
        return reinterpret_cast<PFNINITIALIZECUSTOMITEM>(reinterpret_cast<void*>(
            GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZECUSTOMITEM))));
    }

    const IMAGE_NT_HEADERS* NtHeaders() const {
        const BYTE* base = reinterpret_cast<const BYTE*>(module_);
        const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    }
    const BYTE* At(DWORD rva) const { return reinterpret_cast<const BYTE*>(module_) + rva; }

    testhost::TempFolder folder_;
    std::wstring dllPath_;
    HMODULE module_ = nullptr;
};

TEST_F(LoadedModule, ExportsOnlyOrdinals240And241WithoutNames) {
    EXPECT_NE(nullptr, Initialize());
    EXPECT_NE(nullptr, GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_CUSTOMITEMOPTIONSDLGPROC)));
    EXPECT_EQ(nullptr, GetProcAddress(module_, "InitializeCustomItem"));
    EXPECT_EQ(nullptr, GetProcAddress(module_, "CustomItemOptionsDlgProc"));

    const IMAGE_DATA_DIRECTORY& dir =
        NtHeaders()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(At(dir.VirtualAddress));
    EXPECT_EQ(0u, exports->NumberOfNames);
    EXPECT_EQ(240u, exports->Base);
    EXPECT_EQ(2u, exports->NumberOfFunctions);
}

TEST_F(LoadedModule, ImportsOnlySystemLibraries) {
    const IMAGE_DATA_DIRECTORY& dir =
        NtHeaders()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const char* allowed[] = {"kernel32.dll", "user32.dll",   "gdi32.dll", "advapi32.dll",
                             "shell32.dll",  "comctl32.dll", "msvcrt.dll"};
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(dir.VirtualAddress));
         d->Name != 0; ++d) {
        const char* name = reinterpret_cast<const char*>(At(d->Name));
        bool known = false;
        for (const char* a : allowed) {
            known = known || lstrcmpiA(a, name) == 0;
        }
        EXPECT_TRUE(known) << name;
    }
}

TEST_F(LoadedModule, RegistersItsClassAndCreatesAVisibleChildOfWidth240) {
    WNDCLASSW wc = {};
    ASSERT_TRUE(GetClassInfoW(module_, L"Tollamy", &wc));
    EXPECT_EQ(0u, wc.style);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.hCursor);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), wc.hbrBackground);

    HWND parent = testhost::CreateParent();
    HWND item = Initialize()(nullptr, parent);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(parent, GetParent(item));
    EXPECT_TRUE(IsWindowVisible(item));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD | WS_VISIBLE),
              GetWindowLongPtrW(item, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_POPUP));
    RECT rect;
    GetWindowRect(item, &rect);
    EXPECT_EQ(240, rect.right - rect.left);
    EXPECT_EQ(0, rect.bottom - rect.top);
    WCHAR text[32] = {};
    GetClassNameW(item, text, 32);
    EXPECT_STREQ(L"Tollamy", text);
    GetWindowTextW(item, text, 32);
    EXPECT_STREQ(L"Tollamy", text);
    // The window procedure is the class's.
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(wc.lpfnWndProc), GetWindowLongPtrW(item, GWLP_WNDPROC));

    DestroyWindow(item);
    DestroyWindow(parent);
    const HMODULE unloaded = module_;
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_FALSE(GetClassInfoW(unloaded, L"Tollamy", &wc));
}

TEST_F(LoadedModule, TheFirstLossOfSelectionIndexesTheDataFileBesideTheModuleAndShowsACard) {
    // One card whose two sides read the same, so that the side shown does not matter.
    testhost::WriteDeck(folder_.File(L"a.b.txt"), L"Beside\tBeside\r\n");
    HWND parent = testhost::CreateParent();
    HWND item = Initialize()(nullptr, parent);
    ASSERT_NE(nullptr, item);
    EXPECT_FALSE(testhost::FileExists(folder_.File(L"a.b.idx"))); // nothing read yet
    SetWindowPos(item, nullptr, 0, 0, 240, 36, SWP_NOZORDER | SWP_NOMOVE);

    SendMessageW(item, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    UpdateWindow(item);
    EXPECT_TRUE(testhost::FileExists(folder_.File(L"a.b.idx")));
    EXPECT_FALSE(testhost::FileExists(folder_.File(L"a.txt")));

    // What the item shows, drawn here independently from the same icon and card text.
    testhost::Capture shot(item);
    testhost::Surface expected(240, 36);
    expected.Fill(testhost::DefaultColors().watermark, 0, 240);
    HDC screen = GetDC(nullptr);
    const LONG cx = IconSizeForDpi(GetDeviceCaps(screen, LOGPIXELSX));
    const LONG cy = IconSizeForDpi(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    itemIcon = static_cast<HICON>(
        LoadImageW(module_, MAKEINTRESOURCEW(IDI_TOLLAMY), IMAGE_ICON, cx, cy, 0));
    BoundedCopy(cardStore.card.question, CARD_TEXT_UNITS, L"Beside");
    DisplayState = {0, 0, 0, 0, -1};
    PaintContent(item, expected.Dc());
    DestroyIcon(itemIcon);
    itemIcon = nullptr;
    testhost::Capture reference = expected.Read();
    int differing = 0;
    for (int y = 0; y < 36; ++y) {
        for (int x = 0; x < 240; ++x) {
            differing += shot.At(x, y) != reference.At(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(0, differing);
    EXPECT_GT(shot.Count(testhost::DefaultColors().text, ITEM_TEXT_LEFT), 20);

    DestroyWindow(item);
    DestroyWindow(parent);
}

// The looks of the cards that losses of selection draw in one load of the module, each look
// the item's pixels.
std::vector<std::vector<COLORREF>> DrawnLooks(PFNINITIALIZECUSTOMITEM initialize, int losses) {
    std::vector<std::vector<COLORREF>> looks;
    HWND parent = testhost::CreateParent();
    HWND item = initialize(nullptr, parent);
    if (item == nullptr) {
        DestroyWindow(parent);
        return looks;
    }
    SetWindowPos(item, nullptr, 0, 0, 240, 36, SWP_NOZORDER | SWP_NOMOVE);
    for (int i = 0; i < losses; ++i) {
        SendMessageW(item, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
        UpdateWindow(item);
        testhost::Capture shot(item);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < shot.Height(); ++y) {
            for (int x = 0; x < shot.Width(); ++x) {
                pixels.push_back(shot.At(x, y));
            }
        }
        looks.push_back(pixels);
    }
    DestroyWindow(item);
    DestroyWindow(parent);
    return looks;
}

TEST_F(LoadedModule, TwoLoadsOfTheModuleDoNotDrawTheSameSequenceOfCards) {
    // 1000 cards that all look different: an unseeded generator would draw the same six in
    // both loads; a seeded one repeats them with a chance of one in 10^18.
    std::wstring text;
    for (int i = 0; i < 1000; ++i) {
        text += L"Card " + std::to_wstring(i) + L"\tSide " + std::to_wstring(i) + L"\r\n";
    }
    testhost::WriteDeck(folder_.File(L"a.b.txt"), text);
    const std::vector<std::vector<COLORREF>> first = DrawnLooks(Initialize(), 6);
    ASSERT_EQ(6u, first.size());
    // The looks tell cards apart: six draws from 1000 cards are not all one card.
    bool varied = false;
    for (const std::vector<COLORREF>& look : first) {
        varied = varied || look != first[0];
    }
    ASSERT_TRUE(varied);

    ASSERT_TRUE(FreeLibrary(module_));
    module_ = LoadLibraryW(dllPath_.c_str());
    ASSERT_NE(nullptr, module_);
    const std::vector<std::vector<COLORREF>> second = DrawnLooks(Initialize(), 6);
    ASSERT_EQ(6u, second.size());
    EXPECT_NE(first, second);
}

TEST(ModuleIcon, SizeFollowsTheResolutionRoundedHalfUp) {
    EXPECT_EQ(16, IconSizeForDpi(96));
    EXPECT_EQ(21, IconSizeForDpi(128));
    EXPECT_EQ(22, IconSizeForDpi(131));
    EXPECT_EQ(32, IconSizeForDpi(192));
    EXPECT_EQ(0, IconSizeForDpi(-1));
}

// Reads a standard dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* p) : p_(p) {}
    WORD Word() {
        WORD v;
        memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    DWORD Dword() {
        DWORD v;
        memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or an ordinal written as "#n".
    std::wstring StringOrOrdinal() {
        if (Peek() == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    std::wstring String() {
        std::wstring s;
        for (WORD c = Word(); c != 0; c = Word()) {
            s += static_cast<wchar_t>(c);
        }
        return s;
    }
    void AlignDword() {
        while ((reinterpret_cast<UINT_PTR>(p_) & 3) != 0) {
            ++p_;
        }
    }

private:
    WORD Peek() const {
        WORD v;
        memcpy(&v, p_, 2);
        return v;
    }
    const BYTE* p_;
};

TEST_F(LoadedModule, TheOptionsDialogTemplateIsExactlyAsDesigned) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
    ASSERT_NE(nullptr, found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
    ASSERT_NE(nullptr, data);
    TemplateReader r(data);
    EXPECT_EQ(0x80C800C0u, r.Dword());
    EXPECT_EQ(0u, r.Dword());
    const WORD controls = r.Word();
    ASSERT_EQ(13, controls);
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(148, r.Short());
    EXPECT_EQ(152, r.Short());
    EXPECT_EQ(L"", r.StringOrOrdinal()); // menu
    EXPECT_EQ(L"", r.StringOrOrdinal()); // class
    EXPECT_EQ(L"Dialog", r.String());
    EXPECT_EQ(8, r.Word());
    EXPECT_EQ(L"System", r.String());

    const struct {
        WORD id;
        const wchar_t* cls;
        const wchar_t* text;
        DWORD style;
        short x, y, cx, cy;
    } expected[13] = {
        {0xFFFF, L"#130", L"Hight", 0x50020000, 7, 7, 134, 8},
        {IDC_HEIGHT, L"#129", L"", 0x50812080, 33, 16, 40, 12},
        {IDC_HEIGHT_SPIN, L"msctls_updown32", L"", 0x500000B6, 73, 16, 8, 12},
        {0xFFFF, L"#130", L"Time out for showing 1st answer [ms]", 0x50020000, 7, 34, 134, 8},
        {IDC_TIMEOUT_1ST, L"#129", L"", 0x50812080, 33, 43, 40, 12},
        {IDC_TIMEOUT_1ST_SPIN, L"msctls_updown32", L"", 0x500000B6, 73, 43, 10, 12},
        {IDC_TIMEOUT_LONG, L"#129", L"", 0x50812080, 33, 70, 40, 12},
        {IDC_TIMEOUT_LONG_SPIN, L"msctls_updown32", L"", 0x500000B6, 73, 70, 10, 12},
        {IDC_TIMEOUT_SHORT, L"#129", L"", 0x50812080, 33, 97, 40, 12},
        {IDC_TIMEOUT_SHORT_SPIN, L"msctls_updown32", L"", 0x500000B6, 73, 97, 10, 12},
        {0xFFFF, L"#130", L"Time out for showing question [ms]", 0x50020000, 7, 61, 134, 8},
        {0xFFFF, L"#130", L"Time out for showing answer [ms]", 0x50020000, 7, 88, 134, 8},
        {IDC_EXCHANGE_QA, L"#128", L"Random exchange Q and A", 0x50010003, 8, 117, 110, 10},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        r.AlignDword();
        EXPECT_EQ(e.style, r.Dword());
        EXPECT_EQ(0u, r.Dword());
        EXPECT_EQ(e.x, r.Short());
        EXPECT_EQ(e.y, r.Short());
        EXPECT_EQ(e.cx, r.Short());
        EXPECT_EQ(e.cy, r.Short());
        EXPECT_EQ(e.id, r.Word());
        EXPECT_EQ(std::wstring(e.cls), r.StringOrOrdinal());
        EXPECT_EQ(std::wstring(e.text), r.StringOrOrdinal());
        EXPECT_EQ(0, r.Word()); // no creation data
    }
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST_F(LoadedModule, TheOptionsDialogTemplateBuildsItsControls) {
    HWND dialog =
        CreateDialogParamW(module_, MAKEINTRESOURCEW(IDD_OPTIONS), nullptr, PlainDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    const struct {
        int id;
        const wchar_t* cls;
    } controls[] = {{IDC_HEIGHT, L"Edit"},        {IDC_HEIGHT_SPIN, L"msctls_updown32"},
                    {IDC_TIMEOUT_1ST, L"Edit"},   {IDC_TIMEOUT_1ST_SPIN, L"msctls_updown32"},
                    {IDC_TIMEOUT_LONG, L"Edit"},  {IDC_TIMEOUT_LONG_SPIN, L"msctls_updown32"},
                    {IDC_TIMEOUT_SHORT, L"Edit"}, {IDC_TIMEOUT_SHORT_SPIN, L"msctls_updown32"},
                    {IDC_EXCHANGE_QA, L"Button"}};
    for (const auto& c : controls) {
        HWND control = GetDlgItem(dialog, c.id);
        ASSERT_NE(nullptr, control) << c.id;
        WCHAR cls[64] = {};
        GetClassNameW(control, cls, 64);
        EXPECT_EQ(0, lstrcmpiW(c.cls, cls)) << c.id;
    }
    WCHAR text[64] = {};
    GetWindowTextW(dialog, text, 64);
    EXPECT_STREQ(L"Dialog", text);
    GetDlgItemTextW(dialog, IDC_EXCHANGE_QA, text, 64);
    EXPECT_STREQ(L"Random exchange Q and A", text);
    DestroyWindow(dialog);
}

TEST_F(LoadedModule, CarriesItsClassNameAndOne32By32By8BitIcon) {
    WCHAR name[32] = {};
    EXPECT_EQ(7, LoadStringW(module_, IDS_CLASSNAME, name, 32));
    EXPECT_STREQ(L"Tollamy", name);

    HRSRC group = FindResourceW(module_, MAKEINTRESOURCEW(IDI_TOLLAMY), RT_GROUP_ICON);
    ASSERT_NE(nullptr, group);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module_, group)));
    ASSERT_NE(nullptr, dir);
    WORD header[3];
    memcpy(header, dir, sizeof(header));
    EXPECT_EQ(0, header[0]);
    EXPECT_EQ(1, header[1]);     // icons
    ASSERT_EQ(1, header[2]);     // one image
    const BYTE* entry = dir + 6; // width, height, colours, reserved, planes, bits, bytes, id
    EXPECT_EQ(32, entry[0]);
    EXPECT_EQ(32, entry[1]);
    WORD bits, id;
    memcpy(&bits, entry + 6, 2);
    memcpy(&id, entry + 12, 2);
    EXPECT_EQ(8, bits);

    HRSRC image = FindResourceW(module_, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(nullptr, image);
    BITMAPINFOHEADER bitmap;
    memcpy(&bitmap, LockResource(LoadResource(module_, image)), sizeof(bitmap));
    EXPECT_EQ(32, bitmap.biWidth);
    EXPECT_EQ(64, bitmap.biHeight); // colour and mask
    EXPECT_EQ(8, bitmap.biBitCount);
}

} // namespace

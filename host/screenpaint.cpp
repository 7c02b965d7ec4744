#include "host/screenpaint.h"

#include <string>
#include "common/ScopedWin.h"
#include "item/language.h"

namespace {

// Layout of the parts of the host's rows, in pixels at 96 dpi.
const int ROW_ICON_LEFT = 6;
const int ROW_ICON_SIZE = 14;
const int ROW_TEXT_LEFT = 40;
const int FONT_POINTS = 8;

const COLORREF STRIP_TOP = RGB(16, 56, 140);
const COLORREF STRIP_BOTTOM = RGB(40, 104, 200);
const COLORREF SOFTKEY_TOP = RGB(52, 72, 112);
const COLORREF SOFTKEY_BOTTOM = RGB(22, 34, 64);

void VerticalGradient(HDC dc, const RECT& rc, COLORREF top, COLORREF bottom) {
    TRIVERTEX v[2] = {};
    v[0].x = rc.left;
    v[0].y = rc.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
    v[1].x = rc.right;
    v[1].y = rc.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
    GRADIENT_RECT g = {0, 1};
    GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

bool Meets(const RECT& part, const RECT& paint) {
    RECT common;
    return IntersectRect(&common, &part, &paint) != 0;
}

void FillSolid(HDC dc, const RECT& rc, COLORREF color) {
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(color));
    FillRect(dc, &rc, brush.Get());
}

std::wstring RowText(const TodayScreen& screen, RowKind kind) {
    WCHAR buffer[128] = L"";
    switch (kind) {
    case ROW_DATE:
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, nullptr, nullptr, buffer, 128);
        return buffer;
    case ROW_OWNER:
        return L"Owner: " + screen.owner;
    case ROW_APPOINTMENTS:
        return L"No upcoming appointments";
    case ROW_TASKS:
        return L"No active tasks";
    default:
        return L"";
    }
}

// A small glyph for each built-in row, drawn with plain GDI shapes.
void PaintRowIcon(const TodayScreen& screen, HDC dc, RowKind row, const RECT& rc, bool selected) {
    int size = ScaleToScreen(screen, ROW_ICON_SIZE);
    int left = ScaleToScreen(screen, ROW_ICON_LEFT);
    int top = rc.top + (rc.bottom - rc.top - size) / 2;
    RECT box = {left, top, left + size, top + size};
    COLORREF ink = selected ? HOST_COLOR_HIGHLIGHTEDTEXT : RGB(40, 80, 150);
    ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ink));
    ScopedSelect selectPen(dc, pen.Get());
    ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
    switch (row) {
    case ROW_DATE:
    case ROW_APPOINTMENTS: {
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
        RECT head = {box.left, box.top, box.right, box.top + size / 4 + 1};
        FillSolid(dc, head, row == ROW_DATE ? RGB(200, 40, 40) : ink);
        break;
    }
    case ROW_OWNER:
        Ellipse(dc, box.left + size / 4, box.top, box.right - size / 4, box.top + size / 2);
        Arc(dc, box.left, box.top + size / 2, box.right, box.bottom + size / 2, box.right,
            box.top + size * 3 / 4, box.left, box.top + size * 3 / 4);
        break;
    case ROW_TASKS:
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
        MoveToEx(dc, box.left + size / 4, box.top + size / 2, nullptr);
        LineTo(dc, box.left + size / 2, box.bottom - size / 4);
        LineTo(dc, box.right - size / 5, box.top + size / 5);
        break;
    default:
        break;
    }
}

void PaintRow(const TodayScreen& screen, HDC dc, int row) {
    RECT rc = RowRect(screen, row);
    RowKind kind = screen.rows[row].kind;
    bool selected = screen.selection == row;
    if (selected) {
        FillSolid(dc, rc, HOST_COLOR_HIGHLIGHT);
    }
    PaintRowIcon(screen, dc, kind, rc, selected);
    SetTextColor(dc, selected ? HOST_COLOR_HIGHLIGHTEDTEXT : HOST_COLOR_TEXT);
    ScopedSelect font(dc, kind == ROW_DATE ? screen.boldFont.Get() : screen.rowFont.Get());
    RECT text = rc;
    text.left = ScaleToScreen(screen, ROW_TEXT_LEFT);
    std::wstring label = RowText(screen, kind);
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void PaintStrip(const TodayScreen& screen, HDC dc) {
    RECT rc = StripRect(screen);
    VerticalGradient(dc, rc, STRIP_TOP, STRIP_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 255));
    ScopedSelect font(dc, screen.boldFont.Get());
    WCHAR date[64] = L"";
    WCHAR time[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, time, 64);
    RECT text = rc;
    text.left += ScaleToScreen(screen, 6);
    text.right -= ScaleToScreen(screen, 6);
    DrawTextW(dc, date, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    DrawTextW(dc, time, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
}

void PaintSoftKeys(const TodayScreen& screen, HDC dc) {
    RECT rc = SoftKeyRect(screen);
    VerticalGradient(dc, rc, SOFTKEY_TOP, SOFTKEY_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 255));
    ScopedSelect font(dc, screen.boldFont.Get());
    RECT left = rc;
    left.right = rc.right / 2;
    RECT right = rc;
    right.left = rc.right / 2;
    // The label stands where the key opens a dialog: the selected item's, or the first one's.
    const wchar_t* options = OptionsTarget(screen) >= 0 ? L"Options\x2026" : L"";
    DrawTextW(dc, options, -1, &left, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    DrawTextW(dc, L"Exit", -1, &right, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    RECT divider = {rc.right / 2, rc.top + ScaleToScreen(screen, 5), rc.right / 2 + 1,
                    rc.bottom - ScaleToScreen(screen, 5)};
    FillSolid(dc, divider, RGB(120, 140, 180));
}

} // namespace

void CreateScreenFonts(TodayScreen* screen) {
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
    lf.lfHeight = -MulDiv(FONT_POINTS, screen->dpi, 72);
    lf.lfWidth = 0;
    lf.lfWeight = FW_NORMAL;
    lf.lfQuality = DEFAULT_QUALITY;
    screen->rowFont.Reset(CreateFontIndirectW(&lf));
    // Chinese, Japanese and Korean text stays regular, as in the item: the CJK fonts have no
    // bold faces of their own.
    lf.lfWeight = IsCjkLanguage(ItemLanguage()) ? FW_NORMAL : FW_BOLD;
    screen->boldFont.Reset(CreateFontIndirectW(&lf));
}

void DeleteScreenFonts(TodayScreen* screen) {
    screen->rowFont.Reset(nullptr);
    screen->boldFont.Reset(nullptr);
}

void PaintContent(const TodayScreen& screen, HDC dc, const RECT& paint) {
    screen.background.PaintInto(dc, paint, paint.left, paint.top);
    SetBkMode(dc, TRANSPARENT);
    if (Meets(StripRect(screen), paint)) {
        PaintStrip(screen, dc);
    }
    for (size_t row = 0; row < screen.rows.size(); ++row) {
        if (screen.rows[row].kind != ROW_ITEM &&
            Meets(RowRect(screen, static_cast<int>(row)), paint)) {
            PaintRow(screen, dc, static_cast<int>(row));
        }
    }
    if (Meets(SoftKeyRect(screen), paint)) {
        PaintSoftKeys(screen, dc);
    }
}

SelectionLook CurrentSelectionLook(const TodayScreen& screen) {
    return {screen.selection, OptionsTarget(screen) >= 0};
}

void ShowSelectionChange(const TodayScreen& screen, const SelectionLook& before) {
    const SelectionLook now = CurrentSelectionLook(screen);
    RECT parts[3];
    int count = 0;
    for (int row : {before.row, now.row}) {
        if (row != -1 && (row == before.row) != (row == now.row) &&
            screen.rows[row].kind != ROW_ITEM) {
            parts[count++] = RowRect(screen, row);
        }
    }
    if (now.optionsLabel != before.optionsLabel) {
        parts[count++] = SoftKeyRect(screen);
    }
    if (count == 0) {
        return;
    }
    ScopedGetDC dc(screen.window);
    for (int i = 0; i < count; ++i) {
        const int saved = SaveDC(dc.Get());
        IntersectClipRect(dc.Get(), parts[i].left, parts[i].top, parts[i].right, parts[i].bottom);
        PaintContent(screen, dc.Get(), parts[i]);
        RestoreDC(dc.Get(), saved);
    }
}

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <limits.h>
#include <string>
#include "options/dialog_driver.h"
#include "resources/resource.h"
#include "settings/optionsdlg.h"
#include "settings/settings.h"
#include "settings/test_settings_key.h"

namespace {

const int BOXES[4] = {IDC_HEIGHT, IDC_TIMEOUT_1ST, IDC_TIMEOUT_LONG, IDC_TIMEOUT_SHORT};
const WCHAR* const NAMES[5] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                               L"ExchangeQA"};

void ExpectRecord(const SettingsRecord& want, const SettingsRecord& got) {
    EXPECT_EQ(want.Height, got.Height);
    EXPECT_EQ(want.TimeOut1st, got.TimeOut1st);
    EXPECT_EQ(want.TimeOutLong, got.TimeOutLong);
    EXPECT_EQ(want.TimeOutShort, got.TimeOutShort);
    EXPECT_EQ(want.ExchangeQA, got.ExchangeQA);
}

void ExpectStored(DWORD height, DWORD first, DWORD longer, DWORD shorter, DWORD exchange) {
    const DWORD want[5] = {height, first, longer, shorter, exchange};
    for (int i = 0; i < 5; ++i) {
        DWORD value = 0xBAD;
        EXPECT_TRUE(TestSettingsKey::ReadDword(NAMES[i], &value)) << NAMES[i];
        EXPECT_EQ(want[i], value) << NAMES[i];
    }
}

bool IsChecked(HWND dialog) {
    return SendDlgItemMessageW(dialog, IDC_EXCHANGE_QA, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ClickOk(HWND dialog) {
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureOptionsControls();
        ASSERT_NE(nullptr, TollamyModule());
        ASSERT_NE(nullptr, owner_.Get());
        Settings = SettingsRecord{};
        optionsItem = nullptr;
        item_.grfFlags = 0xF0;
    }

    // Opens the dialog for item_ through the statically linked procedure.
    INT_PTR Run(const DialogScript& script) {
        bool found = false;
        INT_PTR result = RunOptionsDialog(owner_.Get(), CustomItemOptionsDlgProc,
                                          reinterpret_cast<LPARAM>(&item_), script, &found);
        EXPECT_TRUE(found) << "the dialog never came up";
        EXPECT_EQ(nullptr, optionsItem) << "optionsItem must be NULL once the dialog has ended";
        return result;
    }

    // Opens the dialog, types the four texts, and confirms with OK.
    INT_PTR RunWithTexts(const WCHAR* height, const WCHAR* timeOut) {
        return Run([&](HWND dialog) {
            SetControlText(dialog, IDC_HEIGHT, height);
            for (int i = 1; i < 4; ++i) {
                SetControlText(dialog, BOXES[i], timeOut);
            }
            ClickOk(dialog);
        });
    }

    TestSettingsKey key_;
    OwnerWindow owner_{40, 20, 420, 640};
    TODAYLISTITEM item_{};
};

TEST_F(OptionsDialog, NoKeyShowsTheDefaultsAndEndingWithoutOkStoresNothing) {
    Settings = {7, 7, 7, 7, 7};
    INT_PTR result = Run([&](HWND dialog) {
        EXPECT_EQ(&item_, optionsItem);
        EXPECT_EQ(L"32", ControlText(dialog, IDC_HEIGHT));
        EXPECT_EQ(L"5000", ControlText(dialog, IDC_TIMEOUT_1ST));
        EXPECT_EQ(L"2000", ControlText(dialog, IDC_TIMEOUT_LONG));
        EXPECT_EQ(L"100", ControlText(dialog, IDC_TIMEOUT_SHORT));
        EXPECT_FALSE(IsChecked(dialog));
        INT lower = 0, upper = 0;
        SendDlgItemMessageW(dialog, IDC_HEIGHT_SPIN, UDM_GETRANGE32, (WPARAM)&lower,
                            (LPARAM)&upper);
        EXPECT_EQ(1, lower);
        EXPECT_EQ(256, upper);
        for (int spin : {IDC_TIMEOUT_1ST_SPIN, IDC_TIMEOUT_LONG_SPIN, IDC_TIMEOUT_SHORT_SPIN}) {
            SendDlgItemMessageW(dialog, spin, UDM_GETRANGE32, (WPARAM)&lower, (LPARAM)&upper);
            EXPECT_EQ(1, lower);
            EXPECT_EQ(10000, upper);
        }
        SetControlText(dialog, IDC_HEIGHT, L"99");
        EndDialog(dialog, IDCANCEL); // the host ends it some other way than OK
    });
    EXPECT_EQ(IDCANCEL, result);
    ExpectRecord({32, 5000, 2000, 100, 0}, Settings); // what the opening read
    EXPECT_EQ(0xF0u, item_.grfFlags);
    EXPECT_FALSE(TestSettingsKey::Exists());
}

TEST_F(OptionsDialog, OkStoresTheBoxesMarksTheItemAndKeepsItsOtherFlags) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(50, 3000, 1000, 200, 0);
    INT_PTR result = Run([&](HWND dialog) {
        EXPECT_EQ(L"50", ControlText(dialog, IDC_HEIGHT));
        EXPECT_EQ(L"3000", ControlText(dialog, IDC_TIMEOUT_1ST));
        SetControlText(dialog, IDC_HEIGHT, L"120");
        SetControlText(dialog, IDC_TIMEOUT_1ST, L"4000");
        SetControlText(dialog, IDC_TIMEOUT_LONG, L"2500");
        SetControlText(dialog, IDC_TIMEOUT_SHORT, L"150");
        // The notification code in the high word plays no part.
        EXPECT_EQ(TRUE, CustomItemOptionsDlgProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0x1234), 0));
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(0xF1u, item_.grfFlags);
    ExpectRecord({120, 4000, 2500, 150, 0}, Settings);
    ExpectStored(120, 4000, 2500, 150, 0);
}

TEST_F(OptionsDialog, EmptyBoxesGiveZeroHeightAndOneMillisecond) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(50, 3000, 1000, 200, 1);
    EXPECT_EQ(IDOK, RunWithTexts(L"", L""));
    ExpectRecord({0, 1, 1, 1, 1}, Settings);
    ExpectStored(0, 1, 1, 1, 1);
}

TEST_F(OptionsDialog, BoxTextsConvertLikeWtolAndClampToTheLimits) {
    struct Case {
        const WCHAR* text;
        LONG height;
        LONG timeOut;
    };
    const Case cases[] = {
        {L"300", 256, 300},
        {L"0", 0, 1},
        {L"10001", 256, 10000},
        {L"2147483647", 256, 10000},
        // Numbers past 32 bits saturate instead of wrapping to something small or negative.
        {L"4294967296", 256, 10000},
        {L"99999999999999999999", 256, 10000},
        {L"-99999999999", 0, 1},
        {L"-5", 0, 1},
        {L" \t+42x7", 42, 42},
        {L"abc", 0, 1},
        // 41 characters: only the first 39 are read, "0...042".
        {L"0000000000000000000000000000000000000"
         L"42"
         L"99",
         42, 42},
    };
    ASSERT_TRUE(TestSettingsKey::Create());
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "box text \"" << std::wstring(c.text).c_str() << "\"");
        item_.grfFlags = 0;
        EXPECT_EQ(IDOK, RunWithTexts(c.text, c.text));
        ExpectRecord({c.height, c.timeOut, c.timeOut, c.timeOut, 0}, Settings);
        ExpectStored(c.height, c.timeOut, c.timeOut, c.timeOut, 0);
        EXPECT_EQ(1u, item_.grfFlags);
    }
}

TEST_F(OptionsDialog, CheckBoxGivesOneOrZeroWhateverWasStored) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(32, 5000, 2000, 100, 7);
    Run([&](HWND dialog) {
        EXPECT_TRUE(IsChecked(dialog)); // any non-zero value shows as ticked
        ClickOk(dialog);
    });
    EXPECT_EQ(1u, Settings.ExchangeQA);
    ExpectStored(32, 5000, 2000, 100, 1);

    TestSettingsKey::SetDword(L"ExchangeQA", 7);
    Run([&](HWND dialog) {
        SendDlgItemMessageW(dialog, IDC_EXCHANGE_QA, BM_CLICK, 0, 0); // untick
        EXPECT_FALSE(IsChecked(dialog));
        ClickOk(dialog);
    });
    EXPECT_EQ(0u, Settings.ExchangeQA);
    ExpectStored(32, 5000, 2000, 100, 0);

    Run([&](HWND dialog) {
        EXPECT_FALSE(IsChecked(dialog));
        SendDlgItemMessageW(dialog, IDC_EXCHANGE_QA, BM_CLICK, 0, 0); // tick
        ClickOk(dialog);
    });
    EXPECT_EQ(1u, Settings.ExchangeQA);
    ExpectStored(32, 5000, 2000, 100, 1);
}

TEST_F(OptionsDialog, OkWithoutTheKeyChangesMemoryAndMarksTheItemButStoresNothing) {
    EXPECT_EQ(IDOK, RunWithTexts(L"64", L"700"));
    ExpectRecord({64, 700, 700, 700, 0}, Settings);
    EXPECT_EQ(0xF1u, item_.grfFlags);
    EXPECT_FALSE(TestSettingsKey::Exists());

    Run([&](HWND dialog) {
        EXPECT_EQ(L"32", ControlText(dialog, IDC_HEIGHT));
        EXPECT_EQ(L"5000", ControlText(dialog, IDC_TIMEOUT_1ST));
        EXPECT_EQ(L"2000", ControlText(dialog, IDC_TIMEOUT_LONG));
        EXPECT_EQ(L"100", ControlText(dialog, IDC_TIMEOUT_SHORT));
    });
    ExpectRecord({32, 5000, 2000, 100, 0}, Settings);
}

TEST_F(OptionsDialog, OkWithoutAnItemStillStores) {
    ASSERT_TRUE(TestSettingsKey::Create());
    bool found = false;
    INT_PTR result = RunOptionsDialog(
        owner_.Get(), CustomItemOptionsDlgProc, 0,
        [&](HWND dialog) {
            EXPECT_EQ(nullptr, optionsItem);
            SetControlText(dialog, IDC_HEIGHT, L"80");
            ClickOk(dialog);
        },
        &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(IDOK, result);
    ExpectStored(80, 1, 1, 1, 0); // the empty key gave 0, 1, 1, 1, 0
}

TEST_F(OptionsDialog, CancelEscapeAndTheCloseBoxChangeNothing) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(50, 3000, 1000, 200, 1);
    INT_PTR result = Run([&](HWND dialog) {
        SetControlText(dialog, IDC_HEIGHT, L"10");
        SetControlText(dialog, IDC_TIMEOUT_1ST, L"20");
        EXPECT_EQ(FALSE, CustomItemOptionsDlgProc(dialog, WM_COMMAND, IDCANCEL, 0));
        EXPECT_EQ(FALSE, CustomItemOptionsDlgProc(dialog, WM_COMMAND, IDC_HEIGHT, 0));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(dialog, WM_CLOSE, 0, 0); // the caption's close box
        PostMessageW(GetDlgItem(dialog, IDC_HEIGHT), WM_KEYDOWN, VK_ESCAPE, 0);
        PumpDialogMessages(dialog);
        EXPECT_EQ(&item_, optionsItem);
    });
    EXPECT_EQ(DIALOG_LEFT_OPEN, result); // nothing but the driver ended it
    ExpectRecord({50, 3000, 1000, 200, 1}, Settings);
    ExpectStored(50, 3000, 1000, 200, 1);
    EXPECT_EQ(0xF0u, item_.grfFlags);
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT both;
    return IntersectRect(&both, &a, &b) != FALSE;
}

TEST_F(OptionsDialog, OkButtonIsTheDefaultBelowTheControlsAndEndsTheDialog) {
    ASSERT_TRUE(TestSettingsKey::Create());
    INT_PTR result = Run([&](HWND dialog) {
        HWND ok = GetDlgItem(dialog, IDOK);
        ASSERT_NE(nullptr, ok);
        EXPECT_TRUE(GetWindowLongW(ok, GWL_STYLE) & WS_VISIBLE);
        EXPECT_EQ((LONG)BS_DEFPUSHBUTTON, GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK);
        EXPECT_EQ(L"OK", ControlText(dialog, IDOK));
        EXPECT_EQ(MAKELONG(IDOK, DC_HASDEFID), (LONG)SendMessageW(dialog, DM_GETDEFID, 0, 0));
        RECT client, okRect;
        GetClientRect(dialog, &client);
        GetWindowRect(ok, &okRect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okRect), 2);
        EXPECT_GE(okRect.left, client.left);
        EXPECT_GE(okRect.top, client.top);
        EXPECT_LE(okRect.right, client.right);
        EXPECT_LE(okRect.bottom, client.bottom);
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (child == ok) {
                continue;
            }
            RECT rc;
            GetWindowRect(child, &rc);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
            EXPECT_FALSE(Overlap(rc, okRect)) << "control " << GetDlgCtrlID(child);
        }
        SetControlText(dialog, IDC_TIMEOUT_SHORT, L"333");
        ClickOk(dialog);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(333, Settings.TimeOutShort);
    EXPECT_EQ(0xF1u, item_.grfFlags);
}

TEST_F(OptionsDialog, DialogCoversItsOwnerOrTheWorkArea) {
    Run([&](HWND dialog) {
        RECT dialogRect, ownerRect;
        GetWindowRect(dialog, &dialogRect);
        GetWindowRect(owner_.Get(), &ownerRect);
        EXPECT_TRUE(EqualRect(&dialogRect, &ownerRect))
            << dialogRect.left << "," << dialogRect.top << "," << dialogRect.right << ","
            << dialogRect.bottom;
    });

    bool found = false;
    RunOptionsDialog(
        nullptr, CustomItemOptionsDlgProc, reinterpret_cast<LPARAM>(&item_),
        [&](HWND dialog) {
            RECT dialogRect, work;
            GetWindowRect(dialog, &dialogRect);
            ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
            EXPECT_TRUE(EqualRect(&dialogRect, &work));
        },
        &found);
    EXPECT_TRUE(found);
}

TEST_F(OptionsDialog, ExportedProcedureStoresAndMarksTheItem) {
    DLGPROC exported = reinterpret_cast<DLGPROC>(reinterpret_cast<void*>(
        GetProcAddress(TollamyModule(), MAKEINTRESOURCEA(ORDINAL_CUSTOMITEMOPTIONSDLGPROC))));
    ASSERT_NE(nullptr, exported);
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(300, 0, 20000, 100, 0); // shown clamped
    bool found = false;
    INT_PTR result = RunOptionsDialog(
        owner_.Get(), exported, reinterpret_cast<LPARAM>(&item_),
        [&](HWND dialog) {
            EXPECT_EQ(L"256", ControlText(dialog, IDC_HEIGHT));
            EXPECT_EQ(L"1", ControlText(dialog, IDC_TIMEOUT_1ST));
            EXPECT_EQ(L"10000", ControlText(dialog, IDC_TIMEOUT_LONG));
            EXPECT_EQ(FALSE, exported(dialog, WM_COMMAND, IDCANCEL, 0));
            SetControlText(dialog, IDC_TIMEOUT_1ST, L"12345");
            SendDlgItemMessageW(dialog, IDC_EXCHANGE_QA, BM_CLICK, 0, 0);
            ClickOk(dialog);
        },
        &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(0xF1u, item_.grfFlags);
    ExpectStored(256, 10000, 10000, 100, 1);
}

TEST(SaturatingTextToLong, FollowsWtolButSaturates) {
    EXPECT_EQ(0, SaturatingTextToLong(L""));
    EXPECT_EQ(0, SaturatingTextToLong(L"-"));
    EXPECT_EQ(0, SaturatingTextToLong(L"x1"));
    EXPECT_EQ(0, SaturatingTextToLong(L"+ 1")); // no space after the sign
    EXPECT_EQ(17, SaturatingTextToLong(L"\r\n\v\f\t 17 3"));
    EXPECT_EQ(-17, SaturatingTextToLong(L"-0017"));
    EXPECT_EQ(LONG_MAX, SaturatingTextToLong(L"2147483647"));
    EXPECT_EQ(LONG_MAX, SaturatingTextToLong(L"2147483648"));
    EXPECT_EQ(LONG_MIN, SaturatingTextToLong(L"-2147483648"));
    EXPECT_EQ(LONG_MIN, SaturatingTextToLong(L"-2147483649"));
    EXPECT_EQ(LONG_MAX, SaturatingTextToLong(L"000000000000000000000000000000000099999999999"));
    EXPECT_EQ(5, SaturatingTextToLong(L"0000000000000000000000000000000000000000005"));
}

} // namespace

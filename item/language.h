// The language rule of the item's script: Chinese, Japanese and Korean text is drawn regular,
// every other language bold. The host follows the same rule for its own bold text, so it is
// stated here once for both.
#pragma once

#include <windows.h>

// True for Chinese, Japanese and Korean.
inline bool IsCjkLanguage(LANGID language) {
    switch (PRIMARYLANGID(language)) {
    case LANG_CHINESE:
    case LANG_JAPANESE:
    case LANG_KOREAN:
        return true;
    default:
        return false;
    }
}

// The language that decides the item's script: the user's default language.
inline LANGID ItemLanguage() {
    return GetUserDefaultLangID();
}

// iconv for the Windows build of the deck tool: glibc's declarations, served by the deck's own
// converter (deck/charset/charset.h), which decodes as glibc does. deck_charset puts this
// folder on the include path on Windows only.
#pragma once

#include "deck/charset/charset.h"

typedef void* iconv_t;

#define iconv_open tollamy_iconv_open
#define iconv tollamy_iconv
#define iconv_close tollamy_iconv_close

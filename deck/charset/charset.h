// An iconv that converts to UTF-8 only, and decodes every encoding that it knows byte for byte
// as glibc's iconv does (its tables are made from glibc's own charmaps), so that the Windows
// tool reads a file as the Linux one reads it. The functions behave as glibc's iconv_open,
// iconv and iconv_close; iconv/iconv.h gives them those names on Windows.
//
// tollamy_iconv_open(tocode, fromcode): tocode names UTF-8 as glibc names it ("UTF-8",
// "utf8", "UTF-8//TRANSLIT"; //IGNORE is refused); fromcode is looked up as glibc looks it up,
// among the same aliases. The encodings are those of maketables.py: Unicode's, the ISO-8859,
// Windows, DOS, KOI8 and Mac single-byte ones, CP1255 and CP1258 with glibc's compositions,
// and the Japanese, Korean and Chinese ones that uchardet names (EUC, Shift_JIS, UHC, Big5,
// GBK, GB18030, ISO-2022-JP/KR/CN). Any other name gives (void*)-1 with EINVAL: those glibc
// does not know (HZ-GB-2312, ISO-8859-8-I), and those it knows that are left out here (CP932,
// EUC-JP-MS, BIG5-HKSCS, JOHAB, ISO-2022-JP-2, ISO-2022-CN-EXT, UTF-7, TCVN, EBCDIC, ... and
// "", glibc's name for the locale's encoding).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* tollamy_iconv_open(const char* tocode, const char* fromcode);
size_t tollamy_iconv(void* cd, char** inbuf, size_t* inbytesleft, char** outbuf,
                     size_t* outbytesleft);
int tollamy_iconv_close(void* cd);

#ifdef __cplusplus
}
#endif

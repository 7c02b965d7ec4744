// An iconv that converts to UTF-8 only, and decodes every encoding that it knows byte for byte
// as glibc's iconv does (its tables are made from glibc's own charmaps), so that the Windows
// tool reads a file as the Linux one reads it. The functions behave as glibc's iconv_open,
// iconv and iconv_close; iconv/iconv.h gives them those names on Windows.
//
// tollamy_iconv_open(tocode, fromcode): tocode names UTF-8 as glibc names it ("UTF-8",
// "utf8", "UTF-8//TRANSLIT"; //IGNORE is refused); fromcode is looked up as glibc looks it up,
// among the same aliases. An encoding that it does not know gives (void*)-1 with EINVAL.
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

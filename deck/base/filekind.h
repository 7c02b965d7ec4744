// What the first bytes of a file say it is, when it is not text: an archive, an image, a
// database, a program, UTF-16 without a byte-order mark, or some other binary file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string_view>

namespace deck {

// The first bytes of a file that is not text name what it looks like ("a ZIP archive"); null
// for text. Used by import and by check.
const char* NotTextKind(const uint8_t* bytes, size_t size);

// The first bytes of an SQLite database ("SQLite format 3" and a NUL).
bool IsSqliteHead(std::string_view head);
// The first bytes of a ZIP archive: a local file header, or an empty archive's end record.
bool IsZipHead(std::string_view head);
// The bytes the two checks above need.
constexpr size_t kHeadBytes = 16;

} // namespace deck

// What the tool needs of its process besides files: the environment, output caught in memory,
// the local time zone, and on Windows the console. process_posix.cpp and process_windows.cpp
// hold each system's; every text here is UTF-8.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <string>

namespace deck {

// The environment variable `name`; false when it is unset (an empty value is returned as it
// is).
bool GetEnv(const char* name, std::string* value);
// Sets it (a test's or the tool's own children see it), or unsets it with `value` null.
void SetEnv(const char* name, const char* value);

// The offset of local time from UTC at `when` (Unix seconds), in seconds east: by TZ when it is
// set, else by the system's own zone.
long UtcOffsetAt(int64_t when);
// `when` (Unix seconds) as UTC calendar parts, for strftime; false where it cannot be told.
bool UtcParts(int64_t when, struct tm* parts);

// What is written to a FILE*, caught: File() takes the writes and Text() gives them back. Where
// it cannot be had, File() is stderr and Text() is empty.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    FILE* File() { return file_ != nullptr ? file_ : stderr; }
    // Everything written so far.
    std::string Text();

private:
    FILE* file_ = nullptr;
    char* text_ = nullptr; // open_memstream's buffer, on POSIX
    size_t size_ = 0;
};

} // namespace deck

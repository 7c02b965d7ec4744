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

// `text` as one word of a command line in the system's shell: in single quotes for a POSIX
// shell unless it needs none; on Windows in double quotes for cmd.exe and PowerShell when it
// holds a space or one of their special characters.
std::string ShellWord(const std::string& text);

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

// Readies the process for main(). A write to a pipe whose reader has gone fails with EPIPE,
// and one past the file size limit (ulimit -f) with EFBIG, instead of ending the program
// (SIGPIPE and SIGXFSZ are ignored; programs that it starts get them back), so that the tool
// removes its temporary files as after any failed write. An end through std::terminate removes
// the registered ones (RemovedOnSignal) before it aborts.
void PrepareProcess();

// The status that tells main() that the reader of standard output has gone (a cut pipe, as
// `tollamy-deck import big.csv -o - | head` makes): the status of a program that SIGPIPE ends.
constexpr int kCutPipe = 128 + 13;
// True when a write to standard output `out` failed because its reader has gone; flushes it.
bool OutputCut(FILE* out);
// main()'s end with `status`: kCutPipe ends the program by SIGPIPE, as a cut pipe ends `cat`
// (on Windows, which has no such signal, status 1).
int EndProcess(int status);

// Standard output and standard error as the tool writes them, for main(): bytes as they are
// when they go to a file or a pipe (UTF-8 text, or a deck's bytes for -o -). On Windows a stream
// that is a console gets its UTF-8 as UTF-16 through WriteConsoleW instead, so that cmd.exe and
// PowerShell show every character, and the other streams are binary: no CR before each LF.
class StandardStreams {
public:
    StandardStreams();
    // Everything written has reached the console when it returns.
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;
    FILE* Out() const { return out_; }
    FILE* Err() const { return err_; }

private:
    FILE* out_ = stdout;
    FILE* err_ = stderr;
    void* relay_ = nullptr; // Windows: the thread that writes to the console
};

} // namespace deck

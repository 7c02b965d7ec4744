// Diagnostics for one file: `FILE:LINE: warning|error: text` on stderr, counted.
#pragma once

#include <stdio.h>

#include <new>
#include <string>

namespace deck {

// Counts and prints diagnostics for one file.
class Report {
public:
    explicit Report(std::string file, FILE* out = stderr) : file_(std::move(file)), out_(out) {}

    // `line` 0 leaves the line number out. With strict, warnings count as errors.
    void Warning(long line, const std::string& text);
    void Error(long line, const std::string& text);
    // A message about another file than the report's own (the output, for example).
    void ErrorAbout(const std::string& file, const std::string& text);
    // A usage error: the options cannot work together, or with this input. Prints it as every
    // usage error ends, and returns the exit status 2.
    int Usage(const std::string& text);

    long Warnings() const { return warnings_; }
    long Errors() const { return errors_; }
    const std::string& File() const { return file_; }
    void SetStrict(bool strict) { strict_ = strict; }
    // Nothing is printed, only counted (the fuzzer and the benchmark use this).
    void SetQuiet(bool quiet) { quiet_ = quiet; }

private:
    void Print(const std::string& file, long line, const char* kind, const std::string& text);

    std::string file_;
    FILE* out_;
    long warnings_ = 0;
    long errors_ = 0;
    bool strict_ = false;
    bool quiet_ = false;
};

// The program's name in its messages.
constexpr char kProgram[] = "tollamy-deck";
// What SQLite reports as memory that ran out while it read a collection (SQLITE_NOMEM),
// thrown as the tool's own: a damaged collection can ask for more than there is.
class SqliteOutOfMemory : public std::bad_alloc {};

// The error about an input when memory ran out (std::bad_alloc) while it was read: "too large
// to read: the tool ran out of memory", or SQLite's own words for a SqliteOutOfMemory.
const char* OutOfMemoryText(const std::bad_alloc& failure);

// Prints a usage error to err as every usage error ends: "tollamy-deck: error: TEXT" and a
// line that points to --help. Returns the exit status 2.
int PrintUsage(FILE* err, const std::string& text);

} // namespace deck

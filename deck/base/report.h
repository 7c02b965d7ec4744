// Diagnostics for one file: `FILE:LINE: warning|error: text` on stderr, counted.
#pragma once

#include <stdio.h>

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

    long Warnings() const { return warnings_; }
    long Errors() const { return errors_; }
    const std::string& File() const { return file_; }
    void SetStrict(bool strict) { strict_ = strict; }
    // Warnings are not printed, only counted (the fuzzer and the benchmark use this).
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

} // namespace deck

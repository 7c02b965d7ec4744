// The diagnostics of one file.
#include "deck/base/report.h"

namespace deck {

void Report::Print(const std::string& file, long line, const char* kind, const std::string& text) {
    if (out_ == nullptr) {
        return;
    }
    if (line > 0) {
        fprintf(out_, "%s:%ld: %s: %s\n", file.c_str(), line, kind, text.c_str());
    } else {
        fprintf(out_, "%s: %s: %s\n", file.c_str(), kind, text.c_str());
    }
}

void Report::Warning(long line, const std::string& text) {
    if (strict_) {
        Error(line, text);
        return;
    }
    ++warnings_;
    if (!quiet_) {
        Print(file_, line, "warning", text);
    }
}

void Report::Error(long line, const std::string& text) {
    ++errors_;
    if (!quiet_) {
        Print(file_, line, "error", text);
    }
}

void Report::ErrorAbout(const std::string& file, const std::string& text) {
    ++errors_;
    if (!quiet_) {
        Print(file, 0, "error", text);
    }
}

int Report::Usage(const std::string& text) {
    ++errors_;
    return PrintUsage(quiet_ ? nullptr : out_, text);
}

int PrintUsage(FILE* err, const std::string& text) {
    if (err != nullptr) {
        fprintf(err, "%s: error: %s\nTry '%s --help'.\n", kProgram, text.c_str(), kProgram);
    }
    return 2;
}

const char* OutOfMemoryText(const std::bad_alloc& failure) {
    return dynamic_cast<const SqliteOutOfMemory*>(&failure) != nullptr
               ? "too large to read: SQLite ran out of memory reading it (the memory is "
                 "too small, or a damaged collection claims more than there is)"
               : "too large to read: the tool ran out of memory";
}

} // namespace deck

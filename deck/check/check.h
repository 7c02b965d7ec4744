// tollamy-deck check and export: a UTF-16 deck read exactly as the item reads it.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

namespace deck::check {

struct CheckOptions {
    std::string deck;
    bool strict = false; // warnings count as errors
};

struct ExportOptions {
    std::string deck;
    std::string output;
    bool force = false;
};

// Runs `check`: diagnostics on err, the closing line "N cards, W warnings, E errors" on out.
// Returns 0 without errors, 1 with errors.
int RunCheck(const CheckOptions& options, FILE* out, FILE* err, bool quiet = false);

// Runs `export`: the item's cards as UTF-8 TSV for Anki (#separator:tab, #html:false). Returns
// 0 written, 1 on failure (nothing written).
int RunExport(const ExportOptions& options, FILE* err, bool quiet = false);

// The question and answer that the item shows, as UTF-8: the text up to the first NUL; an
// unpaired surrogate becomes U+FFFD (and *replaced is set).
std::string ShownText(const uint16_t* units, bool* replaced);

} // namespace deck::check

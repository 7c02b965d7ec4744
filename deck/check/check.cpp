// check and export: the commands over one pass of a deck (scan.cpp), and the UTF-8 TSV
// lines that export writes.
#include "deck/check/check.h"

#include "deck/closingline.h"
#include "deck/deckwriter.h"
#include "deck/check/scan.h"
#include "deck/base/files.h"
#include "deck/base/utf.h"

#include <errno.h>
#include <string.h>

namespace deck::check {

namespace {

// A field for Anki's CSV reader: quoted when it holds a quote or could read as a comment.
std::string Field(const uint16_t* units, bool first, bool* replaced) {
    std::string text = ShownText(units, replaced);
    if (text.find('"') == std::string::npos && !(first && !text.empty() && text[0] == '#')) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

} // namespace

std::string ShownText(const uint16_t* units, bool* replaced) {
    std::string out;
    for (size_t i = 0; units[i] != 0; ++i) {
        uint32_t c = units[i];
        if (IsHighSurrogate(units[i]) && IsLowSurrogate(units[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
            c = 0xFFFD;
            *replaced = true;
        }
        AppendUtf8(out, c);
    }
    return out;
}

int RunCheck(const CheckOptions& options, FILE* out, FILE* err, bool quiet) {
    Report report(options.deck, err);
    report.SetStrict(options.strict);
    report.SetQuiet(quiet);
    long cards = 0;
    ScanDeck(options.deck, report, true, nullptr, &cards);
    if (out != nullptr) {
        fprintf(out, "%s, %s, %s\n", Counted(cards, "card").c_str(),
                Counted(report.Warnings(), "warning").c_str(),
                Counted(report.Errors(), "error").c_str());
    }
    return report.Errors() == 0 ? 0 : 1;
}

int RunExport(const ExportOptions& options, FILE* err, bool quiet) {
    Report report(options.deck, err);
    report.SetQuiet(quiet);
    // Refuse a missing or unusable deck before the output is touched.
    int fd = OpenRead(options.deck);
    if (fd < 0) {
        report.Error(0, "cannot be opened: " + OpenErrorText(errno));
        return 1;
    }
    CloseFile(fd);
    DeckWriter writer;
    std::string why;
    if (!writer.Open(options.output, options.deck, options.force, &why, false)) {
        report.ErrorAbout(writer.Output(), why);
        return 1;
    }
    writer.WriteBytes("#separator:tab\n#html:false\n");
    // Each card as one line of UTF-8 TSV.
    auto line = [&](const uint16_t* question, const uint16_t* answer, long card, long first) {
        bool replaced = false;
        std::string text = Field(question, true, &replaced);
        text += '\t';
        text += Field(answer, false, &replaced);
        text += '\n';
        if (replaced) {
            report.Warning(first, "an unpaired surrogate in card " + std::to_string(card) +
                                      " became U+FFFD");
        }
        writer.WriteBytes(text);
    };
    long cards = 0;
    if (!ScanDeck(options.deck, report, false, line, &cards) ||
        !CommitUnlessErrors(writer, report)) {
        return 1;
    }
    if (err != nullptr) {
        fprintf(err, "exported %s from %s to %s; %s\n", Counted(cards, "card").c_str(),
                options.deck.c_str(), options.output.c_str(),
                Counted(report.Warnings(), "warning").c_str());
    }
    return 0;
}

} // namespace deck::check

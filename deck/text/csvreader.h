// tollamy-deck: the records of a CSV file, read the way people's files need.
//
// RFC 4180, with the rules that Anki's importer and Python's csv module follow where a file
// breaks it:
// - A field that begins with a quote is quoted: it may hold separators, doubled quotes and
//   line breaks, and it ends at the first quote that is not doubled.
// - Text after that closing quote, up to the next separator, belongs to the same field:
//   `"I wish", hopefully` with `;` between fields is the field `I wish, hopefully`.
// - A quote inside a field that does not begin with one is an ordinary character.
// - LF, CR LF and a lone CR each end a line; outside a quoted field a line end ends the
//   record. Empty and white-space lines are no records.
// - With comments on, a line that begins with `#` outside a quoted field is a comment, at
//   any place in the file (Anki's rule).
// A quoted field that runs on over a line that could itself be a record (one with at least
// as many fields as the record that swallows it) is warned about at the line where its quote
// opened: a stray or a missing quote has most likely swallowed those lines.
//
// Memory stays bounded: a record is read up to kMaxPieceBytes. A quoted field that runs on
// past that is an error (its closing quote is missing); any other record is cut there with
// a warning. Only the first kMaxStoredFields fields of a record are kept.
#pragma once

#include "deck/cards.h"
#include "deck/text/input.h"

#include <string>
#include <vector>

namespace deck::text {

// More columns than any card can name (--question and --answer go up to 1000).
constexpr size_t kMaxStoredFields = 1024;

class CsvReader {
public:
    CsvReader(TextInput& in, Report& report, char separator, bool comments);
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Reads the next record into record (its strings are reused) and the line it begins on
    // into *line. False at the end of the text, and after an error, which is in the report.
    bool Next(Record& record, long* line);

    // Lines skipped as comments so far.
    long CommentLines() const { return comments_; }
    bool Failed() const { return failed_; }

private:
    enum State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted, kComment };
    // A quoted field that crossed a line end: where it opened and closed, and the most
    // separators found on one of its lines after the first.
    struct RunOn {
        long open;
        long close;
        long separators;
    };

    // Processes text up to the end of a record; returns the bytes used and sets *ended.
    size_t Scan(const char* text, size_t size, bool* ended);
    void EndField();
    // Ends the physical line inside a quoted field.
    void QuotedLineEnd();
    // Ends the quoted field at its closing quote on line `close`.
    void CloseQuote(long close);
    // Finishes the record: stores the last field and warns about the fields that ran on.
    void EndRecord();
    // Resets the counts of a record that begins at the current line.
    void StartRecord();
    // True when the record so far is nothing but white space outside quotes.
    bool BlankSoFar() const;
    // The bytes the record may still grow by.
    size_t Room() const;
    // The record has grown past kMaxPieceBytes: an error inside a quoted field, else the
    // record is cut there (at a character's start). False after an error.
    bool Overflow();

    TextInput& in_;
    Report& report_;
    char separator_;
    bool commentsOn_;
    State state_ = kFieldStart;
    bool afterCr_ = false;    // the last character was a CR: an LF right after it is its pair
    bool atLineStart_ = true; // nothing of the current line was read yet
    bool quotedSeen_ = false;
    bool failed_ = false;
    long line_;           // the line of the next character
    long recordLine_ = 0; // the line the record begins on
    long quoteLine_ = 0;  // the line the open quoted field began on
    long lineSeparators_ = 0;
    long innerSeparators_ = 0;
    long comments_ = 0;
    Record* out_ = nullptr;
    size_t used_ = 0;   // fields stored in *out_
    size_t fields_ = 0; // fields of the record, stored or not
    size_t recordBytes_ = 0;
    std::string field_;
    std::vector<RunOn> runOns_;
    bool stopUnquoted_[256] = {}; // the separator and the line ends
    bool stopQuoted_[256] = {};   // those and the quote
};

} // namespace deck::text

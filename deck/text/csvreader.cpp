// The records of a CSV file: a state machine over the decoded text, one buffer at a time.
#include "deck/text/csvreader.h"

#include <algorithm>

namespace deck::text {

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The bytes at the end of text that begin a UTF-8 sequence without completing it.
size_t IncompleteTail(const std::string& text) {
    size_t back = 0;
    while (back < 3 && back < text.size() && IsContinuation(text[text.size() - 1 - back])) {
        ++back;
    }
    if (back == text.size()) {
        return 0;
    }
    unsigned char lead = static_cast<unsigned char>(text[text.size() - 1 - back]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return back + 1 < length ? back + 1 : 0;
}

} // namespace

CsvReader::CsvReader(TextInput& in, Report& report, char separator, bool comments)
    : in_(in), report_(report), separator_(separator), commentsOn_(comments), line_(in.Line()) {
    for (unsigned char c : {static_cast<unsigned char>(separator), static_cast<unsigned char>('\r'),
                            static_cast<unsigned char>('\n')}) {
        stopUnquoted_[c] = true;
        stopQuoted_[c] = true;
    }
    stopQuoted_[static_cast<unsigned char>('"')] = true;
    StartRecord();
}

void CsvReader::StartRecord() {
    used_ = 0;
    fields_ = 0;
    recordBytes_ = 0;
    quotedSeen_ = false;
    runOns_.clear();
    recordLine_ = line_;
}

bool CsvReader::Next(Record& record, long* line) {
    out_ = &record;
    while (!failed_) {
        std::string_view text = in_.Peek(1);
        if (text.empty()) {
            // The end of the text ends the record, and a quoted field still open.
            if (state_ == kComment) {
                ++comments_;
                state_ = kFieldStart;
            }
            if (BlankSoFar()) {
                return false;
            }
            if (state_ == kQuoted || state_ == kQuoteInQuoted) {
                CloseQuote(atLineStart_ && state_ == kQuoted ? line_ - 1 : line_);
            }
            EndRecord();
            *line = recordLine_;
            state_ = kFieldStart;
            StartRecord();
            return true;
        }
        bool ended = false;
        in_.Skip(Scan(text.data(), text.size(), &ended));
        if (ended) {
            *line = recordLine_;
            StartRecord();
            return true;
        }
    }
    return false;
}

size_t CsvReader::Scan(const char* text, size_t size, bool* ended) {
    size_t i = 0;
    while (i < size) {
        char c = text[i];
        if (afterCr_) {
            afterCr_ = false;
            if (c == '\n') { // the LF of a CR LF: the line has ended already
                if (state_ == kQuoted) {
                    field_ += c;
                }
                ++i;
                continue;
            }
        }
        atLineStart_ = false;
        switch (state_) {
        case kComment:
            while (i < size && text[i] != '\n' && text[i] != '\r') {
                ++i;
            }
            if (i == size) {
                return i;
            }
            afterCr_ = text[i++] == '\r';
            ++line_;
            atLineStart_ = true;
            ++comments_;
            state_ = kFieldStart;
            recordLine_ = line_;
            break;
        case kFieldStart:
            if (c == '"') {
                state_ = kQuoted;
                quotedSeen_ = true;
                quoteLine_ = line_;
                lineSeparators_ = 0;
                innerSeparators_ = 0;
                ++i;
                break;
            }
            if (c == '#' && commentsOn_ && fields_ == 0 && field_.empty()) {
                state_ = kComment;
                ++i;
                break;
            }
            state_ = kUnquoted;
            break;
        case kUnquoted: {
            // A quote here is an ordinary character.
            size_t from = i, end = std::min(size, i + Room() + 1);
            while (i < end && !stopUnquoted_[static_cast<unsigned char>(text[i])]) {
                ++i;
            }
            field_.append(text + from, i - from);
            if (recordBytes_ + field_.size() > kMaxPieceBytes) {
                if (Overflow()) {
                    *ended = true;
                }
                return i;
            }
            if (i == size) {
                return i;
            }
            c = text[i++];
            if (c == separator_) {
                EndField();
                state_ = kFieldStart;
                break;
            }
            afterCr_ = c == '\r';
            ++line_;
            atLineStart_ = true;
            state_ = kFieldStart;
            if (BlankSoFar()) { // an empty or white-space line is no record
                field_.clear();
                recordLine_ = line_;
                break;
            }
            EndRecord();
            *ended = true;
            return i;
        }
        case kQuoted: {
            size_t from = i, end = std::min(size, i + Room() + 1);
            while (i < end && !stopQuoted_[static_cast<unsigned char>(text[i])]) {
                ++i;
            }
            field_.append(text + from, i - from);
            if (recordBytes_ + field_.size() > kMaxPieceBytes) {
                Overflow();
                return i;
            }
            if (i == size) {
                return i;
            }
            c = text[i++];
            if (c == '"') {
                state_ = kQuoteInQuoted;
            } else if (c == separator_) {
                field_ += c;
                ++lineSeparators_;
            } else { // a line break inside the field
                field_ += c;
                afterCr_ = c == '\r';
                QuotedLineEnd();
            }
            break;
        }
        case kQuoteInQuoted:
            if (c == '"') { // a doubled quote
                field_ += c;
                state_ = kQuoted;
                ++i;
                break;
            }
            // The field's closing quote; what follows it up to the separator is unquoted.
            CloseQuote(line_);
            state_ = kUnquoted;
            break;
        }
    }
    return i;
}

void CsvReader::QuotedLineEnd() {
    if (line_ > quoteLine_) {
        innerSeparators_ = std::max(innerSeparators_, lineSeparators_);
    }
    lineSeparators_ = 0;
    ++line_;
    atLineStart_ = true;
}

void CsvReader::CloseQuote(long close) {
    if (close > quoteLine_) {
        if (close == line_) { // the closing line up to the quote
            innerSeparators_ = std::max(innerSeparators_, lineSeparators_);
        }
        runOns_.push_back({quoteLine_, close, innerSeparators_});
    }
}

void CsvReader::EndField() {
    recordBytes_ += field_.size();
    if (used_ < kMaxStoredFields) {
        if (used_ == out_->size()) {
            out_->emplace_back();
        }
        (*out_)[used_].swap(field_);
        ++used_;
    }
    field_.clear();
    ++fields_;
}

void CsvReader::EndRecord() {
    EndField();
    out_->resize(used_);
    for (const RunOn& r : runOns_) {
        // A line inside the field with as many fields as the record: most likely records
        // that a stray or missing quote swallowed.
        if (r.separators > 0 && static_cast<size_t>(r.separators) + 1 >= fields_) {
            report_.Warning(r.open, "a quoted field runs on to line " + std::to_string(r.close) +
                                        " (" + std::to_string(r.close - r.open + 1) +
                                        " lines); check the quotes");
        }
    }
}

bool CsvReader::BlankSoFar() const {
    return fields_ == 0 && !quotedSeen_ && state_ != kQuoted &&
           field_.find_first_not_of(" \t") == std::string::npos;
}

size_t CsvReader::Room() const {
    size_t size = recordBytes_ + field_.size();
    return size >= kMaxPieceBytes ? 0 : kMaxPieceBytes - size;
}

bool CsvReader::Overflow() {
    if (state_ == kQuoted || state_ == kQuoteInQuoted) {
        report_.Error(quoteLine_, "a quoted field that starts here runs on for more than " +
                                      std::to_string(kMaxPieceBytes >> 20) +
                                      " MiB: is its closing quote missing?");
        failed_ = true;
        return false;
    }
    report_.Warning(line_, "no line end in " + std::to_string(kMaxPieceBytes >> 20) +
                               " MiB: the line is cut there");
    // The cut falls between characters; the rest of the line is read as the next record.
    size_t tail = IncompleteTail(field_);
    std::string rest = field_.substr(field_.size() - tail);
    field_.resize(field_.size() - tail);
    EndRecord();
    field_ = rest;
    state_ = kUnquoted;
    return true;
}

} // namespace deck::text

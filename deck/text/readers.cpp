// The readers of CSV, of separated text and of UTF-16 decks.
#include "deck/text/readers.h"

#include "deck/text/csvreader.h"

#include <algorithm>

namespace deck::text {

namespace {

bool Blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

} // namespace

long ReadCsv(TextInput& in, CardSink& sink, Report& report, const TextFlags& flags,
             char separator) {
    CsvReader reader(in, report, separator, true);
    Record record;
    long line = 0;
    while (reader.Next(record, &line)) {
        sink.Add(record, line, flags);
    }
    return reader.CommentLines();
}

void ReadSeparated(TextInput& in, CardSink& sink, const TextFlags& flags,
                   const std::string& fieldSeparator, const std::string& cardSeparator) {
    std::string piece;
    Record record;
    for (;;) {
        long line = in.Line();
        if (!in.ReadUntil(cardSeparator, piece)) {
            break;
        }
        if (cardSeparator == "\n" && !piece.empty() && piece.back() == '\r') {
            piece.pop_back();
        }
        if (Blank(piece)) {
            continue;
        }
        // Split in place, reusing the record's strings.
        size_t used = 0, from = 0;
        for (;;) {
            size_t at = piece.find(fieldSeparator, from);
            if (used == record.size()) {
                record.emplace_back();
            }
            size_t end = at == std::string::npos ? piece.size() : at;
            record[used++].assign(piece, from, end - from);
            if (at == std::string::npos) {
                break;
            }
            from = at + fieldSeparator.size();
        }
        record.resize(used);
        sink.Add(record, line, flags);
    }
}

void ReadDeck(TextInput& in, CardSink& sink) {
    std::string line;
    Record record(2);
    TextFlags flags;
    for (;;) {
        long number = in.Line();
        if (!in.ReadLine(line)) {
            break;
        }
        size_t from = 0;
        for (;;) {
            size_t cr = line.find('\r', from);
            size_t end = cr == std::string::npos ? line.size() : cr;
            // The question up to the first TAB, the answer after the TAB run up to the next.
            size_t tab = line.find('\t', from);
            if (tab == std::string::npos || tab > end) {
                record[0].assign(line, from, end - from);
                record[1].clear();
            } else {
                record[0].assign(line, from, tab - from);
                size_t a = line.find_first_not_of('\t', tab);
                if (a == std::string::npos || a > end) {
                    a = end;
                }
                size_t aEnd = std::min(line.find('\t', a), end);
                record[1].assign(line, a, aEnd - a);
            }
            sink.Add(record, number, flags);
            if (cr == std::string::npos) {
                break;
            }
            from = cr + 1;
        }
    }
}

} // namespace deck::text

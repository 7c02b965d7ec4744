// tollamy-deck import: the format readers.
#include "deck/import.h"

#include <csv.h>
#include <string.h>

#include <algorithm>

namespace deck {

namespace {

constexpr size_t kSampleBytes = 8 * 1024;

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    return s.size() >= n && Lower(s.substr(s.size() - n)) == tail;
}

// The next line of the text without consuming it (LF and a CR before it removed).
std::string PeekLine(TextInput& in) {
    size_t want = 256;
    for (;;) {
        std::string_view view = in.Peek(want);
        size_t lf = view.find('\n');
        if (lf != std::string_view::npos || view.size() < want) {
            std::string line(view.substr(0, lf));
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        want *= 2;
    }
}

int ColumnNumber(const std::string& value) {
    std::string v = Trim(value);
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return atoi(v.c_str());
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        size_t at = text.find(separator, from);
        if (at == std::string::npos) {
            out.push_back(text.substr(from));
            return out;
        }
        out.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
}

bool Blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// CSV records through libcsv, fed one line at a time so that every record knows its line.
class CsvReader {
public:
    CsvReader(TextInput& in, CardSink& sink, const TextFlags& flags, char separator, bool comments)
        : in_(in), sink_(sink), flags_(flags), comments_(comments) {
        csv_init(&parser_, 0);
        csv_set_delim(&parser_, static_cast<unsigned char>(separator));
        // Spaces belong to the field (RFC 4180); libcsv would trim them.
        csv_set_space_func(&parser_, [](unsigned char) { return 0; });
    }
    ~CsvReader() { csv_free(&parser_); }

    void Run() {
        std::string line;
        bool atStart = true;
        while (true) {
            long number = in_.Line();
            if (!in_.ReadUntil("\n", line)) {
                break;
            }
            if (atStart && comments_ && !line.empty() && line[0] == '#') {
                continue; // a comment
            }
            if (atStart) {
                recordLine_ = number;
            }
            line += '\n';
            ended_ = false;
            csv_parse(&parser_, line.data(), line.size(), Field, EndRecord, this);
            if (ended_) {
                atStart = true;
            } else if (!Blank(line) || !atStart) {
                atStart = false;
            }
        }
        csv_fini(&parser_, Field, EndRecord, this);
    }

private:
    static void Field(void* data, size_t size, void* self) {
        auto* r = static_cast<CsvReader*>(self);
        if (r->used_ == r->record_.size()) {
            r->record_.emplace_back();
        }
        r->record_[r->used_++].assign(static_cast<const char*>(data), data ? size : 0);
    }
    static void EndRecord(int, void* self) {
        auto* r = static_cast<CsvReader*>(self);
        r->record_.resize(r->used_);
        r->sink_.Add(r->record_, r->recordLine_, r->flags_);
        r->used_ = 0;
        r->ended_ = true;
    }

    TextInput& in_;
    CardSink& sink_;
    TextFlags flags_;
    bool comments_;
    csv_parser parser_{};
    Record record_;
    size_t used_ = 0;
    long recordLine_ = 1;
    bool ended_ = false;
};

// Records split at a separator text, without quoting (TSV, Quizlet's custom separators).
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

// A UTF-16 deck: the item's line with TABs, but every LF, CR LF or lone CR ends a line, so
// that lines the item would hide or join become cards of their own.
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

} // namespace

std::string SeparatorFromName(const std::string& name) {
    std::string n = Lower(name);
    if (n == "tab" || n == "\\t") {
        return "\t";
    }
    if (n == "comma") {
        return ",";
    }
    if (n == "semicolon") {
        return ";";
    }
    if (n == "space") {
        return " ";
    }
    if (n == "pipe") {
        return "|";
    }
    if (n == "colon") {
        return ":";
    }
    if (n == "newline" || n == "\\n" || n == "new line") {
        return "\n";
    }
    if (n == "\\r") {
        return "\r";
    }
    if (n == "\\\\") {
        return "\\";
    }
    return name;
}

TextLayout ReadAnkiHeader(TextInput& in) {
    TextLayout layout;
    std::string line = PeekLine(in);
    std::string scratch;
    if (Lower(line).rfind("tags:", 0) == 0) {
        layout.header = true;
        in.ReadLine(scratch);
        line = PeekLine(in);
    }
    std::vector<std::string> columns;
    while (!line.empty() && line[0] == '#') {
        in.ReadLine(scratch);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string key = Lower(Trim(line.substr(1, colon - 1)));
            std::string value = line.substr(colon + 1);
            if (key == "separator") {
                std::string s = SeparatorFromName(Trim(value));
                if (s.empty() && !value.empty()) {
                    s = value.substr(0, 1); // "#separator: " is a space
                }
                if (s.size() == 1) {
                    layout.separator = s[0];
                }
                layout.header = true;
            } else if (key == "html") {
                layout.html = Lower(Trim(value)) == "true" ? 1 : 0;
                layout.header = true;
            } else if (key == "columns") {
                columns.push_back(value);
                layout.header = true;
            } else if (key == "guid column" || key == "notetype column" || key == "deck column" ||
                       key == "tags column") {
                layout.notText.push_back(ColumnNumber(value));
                layout.header = true;
            } else if (key == "tags" || key == "deck" || key == "notetype" ||
                       key == "match scope" || key == "if matches") {
                layout.header = true;
            }
        }
        line = PeekLine(in);
    }
    // Columns named like Anki's own guid, note type, deck and tags columns are not card text.
    if (!columns.empty()) {
        std::string sep(1, layout.separator != 0 ? layout.separator : '\t');
        std::vector<std::string> names = Split(columns.back(), sep);
        for (size_t i = 0; i < names.size(); ++i) {
            std::string n = Lower(Trim(names[i]));
            if (n == "guid" || n == "notetype" || n == "note type" || n == "deck" || n == "tags") {
                layout.notText.push_back(static_cast<int>(i + 1));
            }
        }
    }
    return layout;
}

char DetectSeparator(std::string_view sample) {
    static const char kOrder[] = {'\t', '|', ';', ':', ',', ' '};
    // Only complete lines count for "on every line".
    size_t lastLf = sample.rfind('\n');
    std::string_view lines = lastLf == std::string_view::npos ? sample : sample.substr(0, lastLf);
    for (char c : kOrder) {
        bool everyLine = true, any = false;
        size_t from = 0;
        while (from <= lines.size()) {
            size_t lf = lines.find('\n', from);
            std::string_view line = lines.substr(
                from, lf == std::string_view::npos ? std::string_view::npos : lf - from);
            if (line.find_first_not_of(" \t\r") != std::string_view::npos && line.front() != '#') {
                any = true;
                if (line.find(c) == std::string_view::npos) {
                    everyLine = false;
                    break;
                }
            }
            if (lf == std::string_view::npos) {
                break;
            }
            from = lf + 1;
        }
        if (any && everyLine) {
            return c;
        }
    }
    for (char c : kOrder) {
        if (sample.find(c) != std::string_view::npos) {
            return c;
        }
    }
    return ' ';
}

int RunImport(const ImportOptions& options, FILE* err, bool quiet) {
    Report report(options.input, err);
    report.SetQuiet(quiet);
    static const char* kFormats[] = {"auto", "anki", "csv", "tsv", "text", "deck"};
    if (std::find_if(std::begin(kFormats), std::end(kFormats),
                     [&](const char* f) { return options.format == f; }) == std::end(kFormats)) {
        report.ErrorAbout("tollamy-deck",
                          "unknown format '" + options.format + "' (auto, anki, csv, tsv, text)");
        return 2;
    }
    if (options.output.empty()) {
        report.ErrorAbout("tollamy-deck", "import needs -o OUTPUT");
        return 2;
    }
    if (!options.encoding.empty()) {
        iconv_t cd = iconv_open("UTF-8", options.encoding.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            report.ErrorAbout("tollamy-deck", "unknown encoding '" + options.encoding +
                                                  "' (iconv --list names the known ones)");
            return 2;
        }
        iconv_close(cd);
    }
    TextInput in;
    if (!in.Open(options.input, options.encoding, report)) {
        return 1;
    }
    DeckWriter writer;
    if (!writer.Open(options.output, options.input, options.force, report)) {
        return 1;
    }
    CardSink sink(options, writer, report);

    std::string format = options.format;
    bool custom = !options.fieldSeparator.empty() || !options.cardSeparator.empty();
    TextLayout layout;
    if (format == "auto") {
        if (in.Utf16() && !custom) {
            format = "deck";
        } else if (custom) {
            format = "text";
        } else {
            layout = ReadAnkiHeader(in);
            if (layout.header) {
                format = "anki";
            } else if (EndsWith(options.input, ".csv")) {
                format = "csv";
            } else if (EndsWith(options.input, ".tsv") || EndsWith(options.input, ".tab")) {
                format = "tsv";
            } else {
                format = "anki"; // Anki's rules for a text file without a header
            }
        }
    } else if (format == "anki" || format == "csv") {
        layout = ReadAnkiHeader(in);
    }

    TextFlags flags;
    flags.cloze = format != "deck";
    if (format != "deck") {
        std::string_view sample = in.Peek(kSampleBytes).substr(0, kSampleBytes);
        flags.html =
            layout.html >= 0 ? layout.html == 1 : LooksLikeHtml(sample.data(), sample.size());
        if (format == "anki" || format == "csv") {
            char separator = layout.separator != 0 ? layout.separator : DetectSeparator(sample);
            for (int c : layout.notText) {
                sink.ExcludeColumn(c);
            }
            CsvReader(in, sink, flags, separator, format == "anki").Run();
        } else if (format == "tsv") {
            ReadSeparated(in, sink, flags, "\t", "\n");
        } else {
            std::string field = SeparatorFromName(options.fieldSeparator);
            std::string card = SeparatorFromName(options.cardSeparator);
            ReadSeparated(in, sink, flags, field.empty() ? "\t" : field,
                          card.empty() ? "\n" : card);
        }
    } else {
        ReadDeck(in, sink);
    }

    if (report.Errors() != 0 || !writer.Commit(report)) {
        return 1;
    }
    if (err != nullptr) {
        fprintf(err, "imported %ld cards from %s (%s, %s) to %s; %ld warnings\n", sink.Cards(),
                options.input.c_str(), in.Encoding().c_str(), format.c_str(),
                options.output.c_str(), report.Warnings());
    }
    return 0;
}

} // namespace deck

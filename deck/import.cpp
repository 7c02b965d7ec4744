// tollamy-deck import: the format readers.
#include "deck/import.h"

#include "deck/apkg_import.h"
#include "deck/cardtext.h"
#include "deck/closingline.h"
#include "deck/csvreader.h"

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

// The line of the text that begins `at` bytes ahead, without consuming anything (LF and a CR
// before it removed), and in *next the offset after it. False at the end of the text and for
// a line over 64 KiB, which is no header line.
bool LineAt(TextInput& in, size_t at, std::string* line, size_t* next) {
    size_t want = at + 256;
    for (;;) {
        std::string_view view = in.Peek(want);
        if (view.size() <= at) {
            return false;
        }
        size_t lf = view.find('\n', at);
        if (lf == std::string_view::npos && view.size() >= want) {
            if (want - at >= (64u << 10)) {
                return false;
            }
            want = at + 2 * (want - at);
            continue;
        }
        size_t end = lf == std::string_view::npos ? view.size() : lf;
        line->assign(view.substr(at, end - at));
        if (!line->empty() && line->back() == '\r') {
            line->pop_back();
        }
        *next = lf == std::string_view::npos ? view.size() : lf + 1;
        return true;
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

// Records of CSV (and of Anki's text files) through the CSV reader; returns the comment
// lines it skipped.
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

// The format of `--format auto`: custom separators ask for text; Anki's header makes the
// file Anki's, whatever its name; then the name decides. A file with a UTF-16 mark that is
// neither is a deck; any other text is read by Anki's rules.
std::string ChooseFormat(const ImportOptions& options, bool utf16, const TextLayout& layout) {
    if (!options.fieldSeparator.empty() || !options.cardSeparator.empty()) {
        return "text";
    }
    // A deck's first card may well begin with "tags:"; only `#` options make it Anki's.
    if (utf16 ? layout.options : layout.header) {
        return "anki";
    }
    if (EndsWith(options.input, ".csv")) {
        return "csv";
    }
    if (EndsWith(options.input, ".tsv") || EndsWith(options.input, ".tab")) {
        return "tsv";
    }
    return utf16 ? "deck" : "anki";
}

// The message for an option that the format has no use for (an error, never ignored), or
// nothing.
std::string OptionNotApplying(const ImportOptions& options, const std::string& format) {
    if (format == "deck") {
        const char* name = options.question != 0 ? "--question"
                           : options.answer != 0 ? "--answer"
                           : options.header      ? "--header"
                                                 : nullptr;
        if (name != nullptr) {
            return std::string(name) + " does not apply to a deck: " + options.input +
                   " is read as one" +
                   (options.format == "auto" ? " (UTF-16 with a byte-order mark, not named .csv, "
                                               ".tsv or .tab)"
                                             : "") +
                   ", its cards as they are; --format csv, tsv, anki or text reads it as a table";
        }
    }
    if (format != "text" && (!options.fieldSeparator.empty() || !options.cardSeparator.empty())) {
        return std::string(options.fieldSeparator.empty() ? "--card-sep" : "--field-sep") +
               " applies to --format text only, not to " + format +
               (format == "csv" || format == "anki" ? " (which finds its separator in the file)"
                : format == "tsv"                   ? " (TAB between fields, one record per line)"
                                                    : "");
    }
    return std::string();
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

TextLayout PeekAnkiHeader(TextInput& in) {
    constexpr size_t kMostHeaderBytes = 1u << 20;
    TextLayout layout;
    std::string line;
    size_t at = 0, next = 0;
    if (LineAt(in, at, &line, &next) && Lower(line).rfind("tags:", 0) == 0) {
        layout.tagsLine = true;
        layout.lines = 1;
        at = next;
    }
    std::vector<std::string> columns;
    while (at < kMostHeaderBytes && LineAt(in, at, &line, &next) && !line.empty() &&
           line[0] == '#') {
        ++layout.lines;
        at = next;
        size_t colon = line.find(':');
        std::string key = colon == std::string::npos ? "" : Lower(Trim(line.substr(1, colon - 1)));
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (key == "separator") {
            std::string s = SeparatorFromName(Trim(value));
            if (s.empty() && !value.empty()) {
                s = value.substr(0, 1); // "#separator: " is a space
            }
            if (s.size() == 1) {
                layout.separator = s[0];
            }
        } else if (key == "html") {
            layout.html = Lower(Trim(value)) == "true" ? 1 : 0;
        } else if (key == "columns") {
            columns.push_back(value);
        } else if (key == "guid column" || key == "notetype column" || key == "deck column" ||
                   key == "tags column") {
            layout.notText.push_back(ColumnNumber(value));
        } else if (key != "tags" && key != "deck" && key != "notetype" && key != "match scope" &&
                   key != "if matches") {
            ++layout.comments; // an unknown key, or no key at all
            continue;
        }
        layout.options = true;
    }
    layout.header = layout.tagsLine || layout.options;
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
    static const char* kFormats[] = {"auto", "anki", "csv", "tsv", "text", "deck", "apkg"};
    if (std::find_if(std::begin(kFormats), std::end(kFormats),
                     [&](const char* f) { return options.format == f; }) == std::end(kFormats)) {
        report.ErrorAbout("tollamy-deck", "unknown format '" + options.format +
                                              "' (auto, anki, csv, tsv, text, apkg)");
        return 2;
    }
    if (ImportsPackage(options)) {
        return RunPackageImport(options, err, quiet);
    }
    if (!options.ankiDeck.empty()) {
        report.ErrorAbout("tollamy-deck", "--deck applies to Anki packages (.apkg) only");
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
    std::string format = options.format;
    TextLayout layout;
    if (format == "auto" || format == "anki" || format == "csv") {
        layout = PeekAnkiHeader(in);
    }
    if (format == "auto") {
        format = ChooseFormat(options, in.Utf16(), layout);
    }
    std::string problem = OptionNotApplying(options, format);
    if (!problem.empty()) {
        report.ErrorAbout("tollamy-deck", problem);
        return 2;
    }
    DeckWriter writer;
    if (!writer.Open(options.output, options.input, options.force, report)) {
        return 1;
    }
    CardSink sink(options, writer, report);

    long comments = 0;
    TextFlags flags;
    flags.cloze = format != "deck";
    if (format == "anki" || format == "csv") {
        std::string scratch;
        for (long i = 0; i < layout.lines; ++i) {
            in.ReadLine(scratch);
        }
        comments = layout.comments;
    }
    if (format != "deck") {
        std::string_view sample = in.Peek(kSampleBytes).substr(0, kSampleBytes);
        flags.html =
            layout.html >= 0 ? layout.html == 1 : LooksLikeHtml(sample.data(), sample.size());
        if (format == "anki" || format == "csv") {
            char separator = layout.separator != 0 ? layout.separator : DetectSeparator(sample);
            for (int c : layout.notText) {
                sink.ExcludeColumn(c);
            }
            comments += ReadCsv(in, sink, report, flags, separator);
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
        // The format really used: Anki's rules without Anki's header are those of a text file.
        std::string used = format == "anki" && !layout.header ? "text (Anki's rules)" : format;
        bool titles = format != "deck" && !options.header && sink.FirstLooksLikeTitles();
        fprintf(err, "imported %s from %s (%s, %s) to %s; %s\n",
                Counted(sink.Cards(), "card").c_str(), options.input.c_str(), in.Encoding().c_str(),
                used.c_str(), options.output.c_str(),
                ImportTail(comments, report.Warnings(), titles).c_str());
    }
    return 0;
}

} // namespace deck

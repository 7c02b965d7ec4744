// tollamy-deck import of a text file: its format, the options that apply to it, and the run
// from the input through its reader and the CardSink to the deck.
#include "deck/text/import.h"

#include "deck/base/strings.h"
#include "deck/cardtext.h"
#include "deck/closingline.h"
#include "deck/text/layout.h"
#include "deck/text/readers.h"

#include <iconv.h>

namespace deck::text {

namespace {

constexpr size_t kSampleBytes = 8 * 1024;

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
    if (EndsWithNoCase(options.input, ".csv")) {
        return "csv";
    }
    if (EndsWithNoCase(options.input, ".tsv") || EndsWithNoCase(options.input, ".tab")) {
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

int RunTextImport(const ImportOptions& options, FILE* err, bool quiet) {
    Report report(options.input, err);
    report.SetQuiet(quiet);
    if (!options.ankiDeck.empty()) {
        return report.Usage("--deck applies to Anki packages (.apkg) only");
    }
    if (!options.encoding.empty()) {
        iconv_t cd = iconv_open("UTF-8", options.encoding.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            return report.Usage("unknown encoding '" + options.encoding +
                                "' (iconv --list names the known ones)");
        }
        iconv_close(cd);
    }
    TextInput in;
    std::string why;
    if (!in.Open(options.input, options.encoding, report, &why)) {
        report.Error(0, why);
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
        return report.Usage(problem);
    }
    DeckWriter writer;
    if (!writer.Open(options.output, options.input, options.force, &why)) {
        report.ErrorAbout(writer.Output(), why);
        return 1;
    }
    CardSink sink(ColumnsOf(options), writer, report);

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

    if (!CommitUnlessErrors(writer, report)) {
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

} // namespace deck::text

// tollamy-deck import of Anki packages: notes from the package reader, cards through the
// same CardSink as the text formats (Anki keeps its fields as HTML, and cloze notes follow
// the text import's cloze rule).
#include "deck/anki/packageimport.h"

#include "deck/anki/archive.h"
#include "deck/anki/collection.h"
#include "deck/anki/package.h"
#include "deck/anki/source.h"
#include "deck/base/strings.h"
#include "deck/closingline.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

namespace deck::anki {

bool ImportsPackage(const ImportOptions& options) {
    return !options.ankiProfile.empty() || options.format == "apkg" ||
           (options.format == "auto" && LooksLikeAnki(options.input));
}

int CountMediaReferences(const std::string& field) {
    int count = 0;
    for (size_t at = field.find("[sound:"); at != std::string::npos;
         at = field.find("[sound:", at + 1)) {
        if (field.find(']', at) != std::string::npos) {
            ++count;
        }
    }
    static const char* const kTags[] = {"<img", "<audio", "<video"};
    for (size_t at = field.find('<'); at != std::string::npos; at = field.find('<', at + 1)) {
        for (const char* tag : kTags) {
            size_t end = at + strlen(tag);
            if (HasAtNoCase(field, at, tag) &&
                (end == field.size() || strchr(" \t\r\n/>", field[end]) != nullptr)) {
                ++count;
            }
        }
    }
    return count;
}

int RunPackageImport(const ImportOptions& options, FILE* err, bool quiet) {
    const std::string& path = options.input;
    Report report(path, err);
    report.SetQuiet(quiet);
    if (!options.fieldSeparator.empty() || !options.cardSeparator.empty() ||
        !options.encoding.empty()) {
        return report.Usage("--field-sep, --card-sep and --encoding do not apply to an Anki "
                            "package");
    }
    // A file that cannot be read fails before the output is touched.
    InputKind kind = InputKind::kOther;
    std::string message;
    if (!ProbeInput(path, &kind, &message)) {
        report.Error(0, message);
        return 1;
    }
    DeckWriter writer;
    std::string why;
    if (!writer.Open(options.output, path, options.force, &why)) {
        report.ErrorAbout(writer.Output(), why);
        return 1;
    }
    CardSink sink(ColumnsOf(options), writer, report);

    // The fields each card is made of: those asked for, else the note type's first two.
    const int q = options.question != 0 ? options.question : (options.answer == 1 ? 2 : 1);
    const int a = options.answer != 0 ? options.answer : (q == 1 ? 2 : 1);
    const size_t needed = static_cast<size_t>(std::max(q, a));
    long fewer = 0;
    long media = 0;
    TextFlags flags;
    flags.html = true; // Anki stores every field as HTML
    flags.cloze = true;
    ReadOptions read;
    read.deck = options.ankiDeck;
    const bool collection = kind == InputKind::kSqlite;
    read.kind = collection ? "collection" : "package";
    ReadInfo info;
    Record record;
    NoteSink notes = [&](const Note& note) {
        if (note.fields.size() < needed) {
            ++fewer;
            std::string type = note.type_name.empty() ? "" : " (" + note.type_name + ")";
            std::string field = std::to_string(needed);
            if (needed <= note.field_names.size()) {
                field += " (\"" + note.field_names[needed - 1] + "\")";
            }
            report.Warning(0, "note " + std::to_string(note.id) + type + " skipped: it has " +
                                  Counted(static_cast<long>(note.fields.size()), "field") +
                                  ", field " + field + " was asked for");
            return;
        }
        media += CountMediaReferences(note.fields[q - 1]);
        media += CountMediaReferences(note.fields[a - 1]);
        record.assign(note.fields.begin(), note.fields.end());
        // The cloze rule: the cloze field shows its gaps as the question and its text
        // as the answer. Notes of other types only follow it when their text has clozes.
        sink.Add(record, 0, flags);
    };
    if (!WithAnkiCollection(
            path, read.max_bytes, report,
            [&](const std::string& copy, const std::string& entry, std::string* why) {
                return ReadNotes(copy, entry, read, notes, &info, why);
            },
            &message)) {
        if (options.format == "auto" && !collection && !IsPackage(path)) {
            // Found by its first bytes only: it may be any ZIP archive.
            message = "is not a text file (it looks like a ZIP archive), and not an Anki "
                      "package: " +
                      message;
        }
        report.Error(0, message);
        return 1;
    }
    for (const std::string& warning : info.warnings) {
        report.Warning(0, warning);
    }
    if (report.Errors() != 0) {
        return 1;
    }
    if (!writer.Commit(&why)) {
        report.ErrorAbout(writer.Output(), why);
        return 1;
    }
    if (err != nullptr) {
        std::string tail =
            ImportTail(0, report.Warnings(), !options.header && sink.FirstLooksLikeTitles());
        fprintf(err,
                "imported %s from %s (%s, %s) to %s; %s read, %ld skipped as empty, %ld with "
                "too few fields, %s dropped; %s\n",
                Counted(sink.Cards(), "card").c_str(), path.c_str(), info.entry.c_str(),
                collection ? "collection" : "apkg", options.output.c_str(),
                Counted(static_cast<long>(info.notes_read), "note").c_str(), sink.Skipped(), fewer,
                Counted(media, "media reference").c_str(), tail.c_str());
    }
    return 0;
}

} // namespace deck::anki

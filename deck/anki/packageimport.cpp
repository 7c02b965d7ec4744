// tollamy-deck import of Anki packages: notes from the package reader, cards through the
// same CardSink as the text formats (Anki keeps its fields as HTML, and cloze notes follow
// the text import's cloze rule).
#include "deck/apkg_import.h"

#include "deck/anki_snapshot.h"
#include "deck/anki_source.h"
#include "deck/apkg.h"
#include "deck/apkg_collection.h"
#include "deck/closingline.h"

#include <string.h>
#include <sys/stat.h>

#include <algorithm>

namespace deck {

namespace {

bool StartsWithNoCase(const std::string& text, size_t at, const char* word) {
    size_t n = strlen(word);
    if (text.size() - at < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (tolower(static_cast<unsigned char>(text[at + i])) != word[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

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
            if (StartsWithNoCase(field, at, tag) &&
                (end == field.size() || strchr(" \t\r\n/>", field[end]) != nullptr)) {
                ++count;
            }
        }
    }
    return count;
}

int RunPackageImport(const ImportOptions& options, FILE* err, bool quiet) {
    std::string path;
    if (int status = StartAnkiImport(options, err, quiet, &path)) {
        return status;
    }
    Report report(path, err);
    report.SetQuiet(quiet);
    if (!options.fieldSeparator.empty() || !options.cardSeparator.empty() ||
        !options.encoding.empty()) {
        report.ErrorAbout("tollamy-deck", "--field-sep, --card-sep and --encoding do not apply "
                                          "to an Anki package");
        return 2;
    }
    struct stat in {};
    if (stat(path.c_str(), &in) != 0) {
        report.Error(0, std::string("cannot be read: ") + strerror(errno));
        return 1;
    }
    DeckWriter writer;
    if (!writer.Open(options.output, path, options.force, report)) {
        return 1;
    }
    CardSink sink(options, writer, report);

    // The fields each card is made of: those asked for, else the note type's first two.
    const int q = options.question != 0 ? options.question : (options.answer == 1 ? 2 : 1);
    const int a = options.answer != 0 ? options.answer : (q == 1 ? 2 : 1);
    const size_t needed = static_cast<size_t>(std::max(q, a));
    long fewer = 0;
    long media = 0;
    TextFlags flags;
    flags.html = true; // Anki stores every field as HTML
    flags.cloze = true;
    apkg::ReadOptions read;
    read.deck = options.ankiDeck;
    const bool collection = LooksLikeSqlite(path);
    read.kind = collection ? "collection" : "package";
    apkg::ReadInfo info;
    std::string message;
    Record record;
    apkg::NoteSink notes = [&](const apkg::Note& note) {
        if (note.fields.size() < needed) {
            ++fewer;
            std::string type = note.type_name.empty() ? "" : " (" + note.type_name + ")";
            std::string field = std::to_string(needed);
            if (needed <= note.field_names.size()) {
                field += " (\"" + note.field_names[needed - 1] + "\")";
            }
            report.Warning(0, "note " + std::to_string(note.id) + type + " skipped: it has " +
                                  std::to_string(note.fields.size()) + " field" +
                                  (note.fields.size() == 1 ? "" : "s") + ", field " + field +
                                  " was asked for");
            return 0;
        }
        media += CountMediaReferences(note.fields[q - 1]);
        media += CountMediaReferences(note.fields[a - 1]);
        record.assign(note.fields.begin(), note.fields.end());
        // The cloze rule: the cloze field shows its gaps as the question and its text
        // as the answer. Notes of other types only follow it when their text has clozes.
        sink.Add(record, 0, flags);
        return 0;
    };
    int result = WithAnkiCollection(
        path, read.max_bytes, report,
        [&](const std::string& copy, const std::string& entry) {
            return apkg::ReadCollectionFile(copy, entry, read, notes, &info, &message);
        },
        &message);
    if (result != apkg::kOk) {
        if (options.format == "auto" &&
            (result == apkg::kNotZip || result == apkg::kNoCollection)) {
            // Found by its first bytes only: it may be any ZIP archive.
            message = "is not a text file (it looks like a ZIP archive), and not an Anki "
                      "package: " +
                      message;
        }
        report.Error(0, message);
        return 1;
    }
    if (report.Errors() != 0 || !writer.Commit(report)) {
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

} // namespace deck

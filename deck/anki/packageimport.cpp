// tollamy-deck import of Anki packages and collections without --due: notes from the package
// reader, each note's first card rendered from its template (cardsides.h).
#include "deck/anki/packageimport.h"

#include "deck/anki/archive.h"
#include "deck/anki/cardpool.h"
#include "deck/anki/cardsides.h"
#include "deck/anki/collection.h"
#include "deck/anki/package.h"
#include "deck/anki/source.h"
#include "deck/base/strings.h"
#include "deck/closingline.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>

namespace deck::anki {

bool ImportsPackage(const ImportOptions& options) {
    return !options.ankiProfile.empty() || options.format == "apkg" ||
           (options.format == "auto" && LooksLikeAnki(options.input));
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
    // Each note gives its first card, rendered from its template as import --due renders it,
    // on as many threads as the machine has cores, in the notes' order.
    // `info` keeps the note types that the cards point to: it outlives the pool's workers.
    ReadInfo info;
    CardPool pool({options.question, options.answer}, std::thread::hardware_concurrency());
    long without_cards = 0;
    bool first = true, titles = false;
    ReadOptions read;
    read.deck = options.ankiDeck;
    const bool collection = kind == InputKind::kSqlite;
    read.kind = collection ? "collection" : "package";
    const CardPool::Take write = [&](PooledCard& card) {
        switch (card.shown) {
        case Shown::kCard:
            if (options.swap) {
                card.question.swap(card.answer);
            }
            writer.Write(card.question, card.answer);
            break;
        case Shown::kTooFewFields: {
            const size_t needed = static_cast<size_t>(std::max(options.question, options.answer));
            std::string type = card.input.type == nullptr ? "" : " (" + card.input.type->name + ")";
            std::string field = std::to_string(needed);
            if (card.input.type != nullptr && needed <= card.input.type->field_names.size()) {
                field += " (\"" + card.input.type->field_names[needed - 1] + "\")";
            }
            report.Warning(0, "note " + std::to_string(card.note) + type + " skipped: it has " +
                                  Counted(static_cast<long>(card.fields.size()), "field") +
                                  ", field " + field + " was asked for");
            break;
        }
        case Shown::kOverLimit: {
            std::string type = card.input.type == nullptr ? "" : " (" + card.input.type->name + ")";
            report.Warning(0, "note " + std::to_string(card.note) + type +
                                  " left out: " + card.over_limit);
            break;
        }
        default:
            break;
        }
    };
    NoteSink notes = [&](Note& note) {
        if (first) {
            first = false;
            titles = LooksLikeColumnTitles(note.fields);
            if (options.header) {
                return; // the first note holds the column titles
            }
        }
        if (note.card_ord < 0) {
            ++without_cards;
            return;
        }
        PooledCard& card = pool.Next();
        card.note = note.id;
        card.input.type = note.type;
        card.fields.swap(note.fields); // not copied: a field may be 64 MiB
        card.input.ord = note.card_ord;
        card.input.tags = note.tags;
        card.input.deck = note.card_deck;
        card.input.flags = note.card_flags;
        pool.Add(write);
    };
    if (!WithAnkiCollection(
            path, kind, read.max_bytes, report,
            [&](const std::string& copy, const std::string& entry, std::string* why) {
                return ReadNotes(copy, entry, read, notes, &info, why);
            },
            &message)) {
        if (options.format == "auto" && kind == InputKind::kZip && !IsPackage(path)) {
            // Found by its first bytes only: it may be any ZIP archive.
            message = "is not a text file (it looks like a ZIP archive), and not an Anki "
                      "package: " +
                      message;
        }
        report.Error(0, message);
        return 1;
    }
    // The last cards; their note types stay loaded in `info`.
    pool.Finish(write);
    for (const std::string& warning : info.warnings) {
        report.Warning(0, warning);
    }
    pool.ReportProblems(report);
    if (!CommitUnlessErrors(writer, report)) {
        return 1;
    }
    if (err != nullptr) {
        const CardTally tally = pool.Tally();
        std::string read_part = Counted(static_cast<long>(info.notes_read), "note") + " read";
        if (without_cards > 0) {
            read_part += ", " + std::to_string(without_cards) + " without cards";
        }
        if (tally.too_few_fields > 0) {
            read_part += ", " + std::to_string(tally.too_few_fields) + " with too few fields";
        }
        fprintf(err, "imported %s from %s (%s, %s) to %s; %s%s%s; %s\n",
                Counted(writer.Cards(), "card").c_str(), path.c_str(), info.entry.c_str(),
                collection ? "collection" : "apkg", options.output.c_str(), read_part.c_str(),
                LeftOutText(tally, "card").c_str(), CutText(tally).c_str(),
                ImportTail(0, report.Warnings(), !options.header && titles).c_str());
    }
    return 0;
}

} // namespace deck::anki

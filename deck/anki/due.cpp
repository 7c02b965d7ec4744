// `import --due`: today's cards of an Anki collection, read through a private copy.
//
// The cards table is read once; each card is taken as it stands in its home deck and sorted
// into due now, new, due later or not shown. Only the notes of the cards written are read.
// Due cards come first (learning cards by their time, then the others by their day), then the
// new cards of --new N in Anki's order for new cards: deck by deck (a deck before its
// subdecks), by position, gathered cards then sorted by template ("card type, then order
// gathered", the deck options' default).
#include "deck/anki/due.h"

#include "deck/anki/collection.h"
#include "deck/anki/render.h"
#include "deck/anki/source.h"
#include "deck/anki/sqlite.h"
#include "deck/base/strings.h"
#include "deck/cardtext.h"
#include "deck/closingline.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_map>

#include <sqlite3.h>

namespace deck::anki {

namespace {

// A card to write and how it sorts.
struct Pick {
    int64_t id, note, ord;
    int64_t first, second, third; // the sort key
};

struct Due {
    std::vector<Pick> due, fresh;
    Timing timing;
    std::string deck; // the deck named in messages
    long later = 0;   // cards on the next day with due cards
    int64_t later_day = 0, later_time = 0;
    int64_t next_learning = INT64_MAX; // the earliest learning card not due yet
    int64_t next_change = 0;           // when the due cards change without a review
};

struct NoteData {
    int64_t type = 0;
    std::vector<std::string> fields;
};

// Sorts the cards of the decks asked for; the rows of other decks are passed over.
bool Gather(LoadedCollection& c, const ImportOptions& options, int64_t now, Due* out,
            std::string* err) {
    std::set<int64_t> decks;
    const bool filter = !options.ankiDeck.empty();
    out->deck = "any deck";
    if (filter) {
        decks = DeckIds(c.schema, options.ankiDeck);
        if (decks.empty()) {
            *err = "the collection has no deck \"" + options.ankiDeck +
                   "\" (its decks: " + DeckList(c.schema) + ")";
            return false;
        }
        // The deck's own spelling: the shortest name among it and its subdecks.
        out->deck.clear();
        for (int64_t id : decks) {
            const std::string& name = c.schema.decks[id].name;
            if (out->deck.empty() || name.size() < out->deck.size()) {
                out->deck = name;
            }
        }
    }
    // Decks in the order of Anki's deck tree, for the new cards.
    std::vector<std::pair<std::string, int64_t>> order;
    for (const auto& [id, deck] : c.schema.decks) {
        order.emplace_back(DeckSortKey(deck.name), id);
    }
    std::sort(order.begin(), order.end());
    std::unordered_map<int64_t, int64_t> rank;
    for (size_t i = 0; i < order.size(); ++i) {
        rank[order[i].second] = static_cast<int64_t>(i);
    }
    out->timing = TimingAt(c.config, now);
    int rc = ForEachCard(c.db.get(), [&](const CardRow& card) {
        if (filter && !decks.count(card.deck)) {
            return;
        }
        int64_t day = 0;
        switch (Classify(card, c.config, out->timing, &day)) {
        case kDueNow: {
            const bool learning = card.queue == 1 || card.queue == 4;
            out->due.push_back({card.id, card.note, card.ord, learning ? 0 : 1,
                                learning ? card.due : day, card.id});
            break;
        }
        case kNew:
            if (options.newCards > 0) {
                auto r = rank.find(card.deck);
                out->fresh.push_back({card.id, card.note, card.ord, card.ord,
                                      r != rank.end() ? r->second : INT64_MAX, card.due});
            }
            break;
        case kDueLater: {
            const bool learning = card.queue == 1 || card.queue == 4;
            if (learning) {
                out->next_learning = std::min(out->next_learning, card.due);
            }
            if (out->later == 0 || day < out->later_day) {
                out->later = 0;
                out->later_day = day;
                out->later_time = INT64_MAX;
            }
            if (day == out->later_day) {
                ++out->later;
                if (learning) {
                    out->later_time = std::min(out->later_time, card.due);
                }
            }
            break;
        }
        case kNotShown:
            break;
        }
    });
    if (rc != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    out->next_change = NextChange(c.config, out->timing, out->next_learning);
    auto key = [](const Pick& a, const Pick& b) {
        return std::tie(a.first, a.second, a.third, a.id) <
               std::tie(b.first, b.second, b.third, b.id);
    };
    std::sort(out->due.begin(), out->due.end(), key);
    // Gathered by deck and position, then sorted by template: by (template, deck, position).
    size_t keep = std::min(out->fresh.size(), static_cast<size_t>(options.newCards));
    std::partial_sort(out->fresh.begin(), out->fresh.begin() + static_cast<long>(keep),
                      out->fresh.end(), key);
    out->fresh.resize(keep);
    return true;
}

// Reads the notes of the picked cards and writes the cards.
bool Write(LoadedCollection& c, const Due& due, const ImportOptions& options, Report& report,
           CardSink& sink, std::string* err) {
    std::vector<int64_t> ids;
    for (const auto* list : {&due.due, &due.fresh}) {
        for (const Pick& pick : *list) {
            ids.push_back(pick.note);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::unordered_map<int64_t, NoteData> notes;
    StmtPtr stmt;
    if (Prepare(c.db.get(), "SELECT mid, flds FROM notes WHERE id = ?1", &stmt) != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    for (int64_t id : ids) {
        sqlite3_reset(stmt.get());
        sqlite3_bind_int64(stmt.get(), 1, id);
        int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_ROW) {
            NoteData& note = notes[id];
            note.type = sqlite3_column_int64(stmt.get(), 0);
            note.fields = SplitAnkiFields(ColumnView(stmt.get(), 1));
        } else if (rc != SQLITE_DONE) {
            return CollectionError(c.db.get(), "the collection", err);
        }
    }
    TextFlags flags;
    flags.html = true; // Anki keeps its fields as HTML; the clozes are already applied
    const FieldChoice choice{options.question, options.answer};
    Record record(2);
    CardSides sides;
    for (const auto* list : {&due.due, &due.fresh}) {
        for (const Pick& pick : *list) {
            auto note = notes.find(pick.note);
            if (note == notes.end()) {
                report.Warning(0, "card " + std::to_string(pick.id) + " skipped: its note " +
                                      std::to_string(pick.note) + " is missing");
                continue;
            }
            auto type = c.schema.types.find(note->second.type);
            const NoteType* known = type != c.schema.types.end() ? &type->second : nullptr;
            int needed = 0;
            if (!RenderCard(known, note->second.fields, pick.ord, choice, &sides, &needed)) {
                const long have = static_cast<long>(note->second.fields.size());
                report.Warning(0, "card " + std::to_string(pick.id) + " of note " +
                                      std::to_string(pick.note) + " skipped: the note has " +
                                      Counted(have, "field") + ", field " + std::to_string(needed) +
                                      " was asked for");
                continue;
            }
            record[0] = sides.question;
            record[1] = sides.answer;
            sink.Add(record, 0, flags);
        }
    }
    return true;
}

} // namespace

int RunDueImport(const ImportOptions& options, FILE* err, bool quiet) {
    const std::string& path = options.input;
    Report report(path, err);
    report.SetQuiet(quiet);
    std::string message;
    int64_t now = 0;
    if (!ClockNow(&now, &message)) {
        return report.Usage(message);
    }
    DeckWriter writer;
    if (!writer.Open(options.output, path, options.force, &message)) {
        report.ErrorAbout(writer.Output(), message);
        return 1;
    }
    writer.KeepWhenUnchanged();
    DeckWriter changeWriter; // --next-change: committed after the deck, and only when it was
    if (!options.nextChange.empty() &&
        !changeWriter.Open(options.nextChange, path, true, &message, /*deckMark=*/false)) {
        report.ErrorAbout(changeWriter.Output(), message);
        return 1;
    }
    // The sides come out of the cards as question and answer; --swap still exchanges them.
    CardColumns sides;
    sides.swap = options.swap;
    CardSink sink(sides, writer, report);
    Due due;
    std::string entry;
    if (!WithAnkiCollection(
            path, kMaxCollectionBytes, report,
            [&](const std::string& copy, const std::string& name, std::string* why) {
                entry = name;
                LoadedCollection c;
                return LoadCollection(copy, name, &c, why) && Gather(c, options, now, &due, why) &&
                       Write(c, due, options, report, sink, why);
            },
            &message)) {
        report.Error(0, message);
        return 1;
    }
    const long dueCount = static_cast<long>(due.due.size());
    const std::string next = NextDueText(due.timing, due.later_day, due.later, due.later_time);
    if (writer.Cards() == 0) {
        // A state for the Today screen rather than an empty item.
        writer.Write(CleanWhiteSpace("Nothing due in " + due.deck), "Next: " + next);
    }
    if (report.Errors() != 0) {
        return 1;
    }
    if (!writer.Commit(&message)) {
        report.ErrorAbout(writer.Output(), message);
        return 1;
    }
    if (!options.nextChange.empty()) {
        changeWriter.WriteBytes(std::to_string(due.next_change) + " " +
                                std::to_string(due.timing.next_day_at) + " " + path + "\n");
        if (!changeWriter.Commit(&message)) {
            report.ErrorAbout(changeWriter.Output(), message);
            return 1;
        }
    }
    if (err != nullptr) {
        std::string line = "imported " + Counted(writer.Cards(), "card") + " from " + path + " (" +
                           entry + ", due) to " + options.output +
                           (writer.Unchanged() ? " (unchanged)" : "") + "; " +
                           Counted(dueCount, "card") + (dueCount == 1 ? " is" : " are") +
                           " due today (" + DayName(due.timing, due.timing.today) + ")";
        if (options.newCards > 0) {
            line += ", " + std::to_string(due.fresh.size()) + " new";
        }
        if (dueCount == 0) {
            line += "; next: " + next;
        }
        fprintf(err, "%s; %s\n", line.c_str(), Counted(report.Warnings(), "warning").c_str());
    }
    return 0;
}

} // namespace deck::anki

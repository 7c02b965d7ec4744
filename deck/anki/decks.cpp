// The decks listing: one pass over the cards table, counting each card for its home deck and
// the decks above it (a card whose note is missing nowhere, with a warning); then the due
// cards are rendered, to count those the item cannot show.
#include "deck/anki/decks.h"

#include "deck/anki/cardsides.h"
#include "deck/anki/collection.h"
#include "deck/anki/source.h"
#include "deck/closingline.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

#include <sqlite3.h>
#include <unistd.h>

namespace deck::anki {

namespace {

struct DeckCounts {
    std::string name;
    long notes = 0, cards = 0, due = 0, fresh = 0;
};

// The due cards that the item leaves out, by why and by their home deck.
using Hidden = std::map<Shown, std::map<std::string, long>>;

// Renders the due cards as import --due does and counts those it would leave out.
bool CountHidden(LoadedCollection& c, const std::vector<CardRow>& due, Hidden* hidden,
                 std::string* err) {
    std::vector<int64_t> ids;
    for (const CardRow& card : due) {
        ids.push_back(card.note);
    }
    std::unordered_map<int64_t, NoteRow> notes;
    if (ReadNoteRows(c.db.get(), std::move(ids), &notes) != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    CardRenderer renderer({});
    std::string question, answer;
    for (const CardRow& row : due) {
        auto note = notes.find(row.note);
        if (note == notes.end()) {
            continue;
        }
        auto type = c.schema.types.find(note->second.type);
        const std::string& deck = c.schema.decks[row.deck].name;
        CardInput card;
        card.type = type != c.schema.types.end() ? &type->second : nullptr;
        card.fields = &note->second.fields;
        card.ord = row.ord;
        card.tags = note->second.tags;
        card.deck = deck;
        card.flags = row.flags;
        Shown shown = renderer.Render(card, &question, &answer);
        if (shown != Shown::kCard) {
            ++(*hidden)[shown][deck];
        }
    }
    return true;
}

// The ids of the notes, sorted.
int NoteIds(sqlite3* db, std::vector<int64_t>* ids) {
    StmtPtr rows;
    int rc = Prepare(db, "SELECT id FROM notes ORDER BY id", &rows);
    while (rc == SQLITE_OK && (rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ids->push_back(sqlite3_column_int64(rows.get(), 0));
        rc = SQLITE_OK;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Says in `report` which cards were not counted because their notes are missing.
void ReportOrphans(long orphans, const CardRow& first, Report& report) {
    const std::string card = "card " + std::to_string(first.id);
    const std::string note = "note " + std::to_string(first.note);
    if (orphans == 1) {
        report.Warning(0, card + " is not counted: its " + note + " is missing");
    } else if (orphans > 1) {
        report.Warning(0, std::to_string(orphans) +
                              " cards are not counted: their notes are missing (the first, " +
                              card + ", of " + note + ")");
    }
}

bool Count(LoadedCollection& c, int64_t now, std::vector<DeckCounts>* rows, Hidden* hidden,
           Report& report, std::string* err) {
    // The listed decks in deck-tree order, and for each deck the rows it counts in: its own and
    // its parents'.
    std::vector<std::pair<std::string, int64_t>> order;
    for (const auto& [id, deck] : c.schema.decks) {
        if (!deck.filtered) {
            order.emplace_back(DeckSortKey(deck.name), id);
        }
    }
    std::sort(order.begin(), order.end());
    std::map<std::string, size_t> by_key;
    // Decks of one key are one deck for Anki, and one row (names cut to the limits meet too).
    for (const auto& [key, id] : order) {
        if (by_key.emplace(key, rows->size()).second) {
            rows->push_back({c.schema.decks[id].name});
        }
    }
    std::unordered_map<int64_t, std::vector<size_t>> counted_in;
    for (const auto& [key, id] : order) {
        std::vector<size_t>& in = counted_in[id];
        in.push_back(by_key[key]);
        for (const std::string& parent : ParentDecks(c.schema.decks[id].name)) {
            auto row = by_key.find(DeckSortKey(parent));
            if (row != by_key.end()) {
                in.push_back(row->second);
            }
        }
    }
    const Timing timing = TimingAt(c.config, now);
    std::vector<std::pair<size_t, int64_t>> notes; // (row, note), counted once each below
    std::vector<CardRow> due;
    // A card whose note is missing shows nothing: import leaves it out, and so does the count.
    std::vector<int64_t> note_ids;
    long orphans = 0;
    CardRow first_orphan;
    int rc = NoteIds(c.db.get(), &note_ids);
    if (rc != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    rc = ForEachCard(c.db.get(), [&](const CardRow& card) {
        auto in = counted_in.find(card.deck);
        if (in == counted_in.end()) {
            return;
        }
        if (!std::binary_search(note_ids.begin(), note_ids.end(), card.note)) {
            if (orphans++ == 0) {
                first_orphan = card;
            }
            return;
        }
        int64_t day = 0;
        CardState state = Classify(card, c.config, timing, &day);
        if (state == kDueNow) {
            due.push_back(card);
        }
        for (size_t row : in->second) {
            DeckCounts& counts = (*rows)[row];
            ++counts.cards;
            counts.due += state == kDueNow;
            counts.fresh += state == kNew;
            notes.emplace_back(row, card.note);
        }
    });
    if (rc != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    ReportOrphans(orphans, first_orphan, report);
    if (!CountHidden(c, due, hidden, err)) {
        return false;
    }
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    for (const auto& [row, note] : notes) {
        ++(*rows)[row].notes;
    }
    // Anki hides its Default deck when it is empty and there are other decks.
    auto standard = c.schema.decks.find(1);
    if (rows->size() > 1 && standard != c.schema.decks.end()) {
        rows->erase(std::remove_if(rows->begin(), rows->end(),
                                   [&](const DeckCounts& row) {
                                       return row.name == standard->second.name && row.cards == 0;
                                   }),
                    rows->end());
    }
    return true;
}

// A line below the table for each reason why due cards are left out of the item:
// "3 due cards show only pictures or sounds: the item leaves them out (Maths 2, Physics 1)".
void PrintHidden(const Hidden& hidden, FILE* out) {
    for (const auto& [shown, decks] : hidden) {
        long count = 0;
        std::vector<std::pair<std::string, std::string>> order; // (sort key, "Deck N")
        for (const auto& [deck, n] : decks) {
            count += n;
            order.emplace_back(DeckSortKey(deck), deck + " " + std::to_string(n));
        }
        std::sort(order.begin(), order.end());
        std::string where;
        for (const auto& entry : order) {
            where += (where.empty() ? "" : ", ") + entry.second;
        }
        const bool one = count == 1;
        const char* why = shown == Shown::kOnlyMedia ? (one ? "shows only pictures or sounds"
                                                            : "show only pictures or sounds")
                          : shown == Shown::kBlank
                              ? (one ? "shows nothing on its front" : "show nothing on their front")
                              : "cannot be rendered";
        fprintf(out, "%s %s: the item leaves %s out (%s)\n", Counted(count, "due card").c_str(),
                why, one ? "it" : "them", where.c_str());
    }
}

void Print(const std::vector<DeckCounts>& rows, FILE* out) {
    const char* const kHeads[] = {"Notes", "Cards", "Due", "New"};
    size_t name_width = 4; // "Deck"
    size_t widths[4];
    for (size_t i = 0; i < 4; ++i) {
        widths[i] = strlen(kHeads[i]);
    }
    for (const DeckCounts& row : rows) {
        // Column widths in characters: UTF-8 continuation bytes take no room.
        size_t chars = 0;
        for (unsigned char c : row.name) {
            chars += (c & 0xC0) != 0x80;
        }
        name_width = std::max(name_width, chars);
        long values[] = {row.notes, row.cards, row.due, row.fresh};
        for (size_t i = 0; i < 4; ++i) {
            widths[i] = std::max(widths[i], std::to_string(values[i]).size());
        }
    }
    fprintf(out, "%-*s", static_cast<int>(name_width), "Deck");
    for (size_t i = 0; i < 4; ++i) {
        fprintf(out, "  %*s", static_cast<int>(widths[i]), kHeads[i]);
    }
    fputc('\n', out);
    for (const DeckCounts& row : rows) {
        size_t chars = 0;
        for (unsigned char c : row.name) {
            chars += (c & 0xC0) != 0x80;
        }
        fprintf(out, "%s%*s", row.name.c_str(), static_cast<int>(name_width - chars), "");
        long values[] = {row.notes, row.cards, row.due, row.fresh};
        for (size_t i = 0; i < 4; ++i) {
            fprintf(out, "  %*ld", static_cast<int>(widths[i]), values[i]);
        }
        fputc('\n', out);
    }
}

} // namespace

int RunDecks(const std::string& path, FILE* out, FILE* err) {
    Report report(path, err);
    std::string message;
    int64_t now = 0;
    if (!ClockNow(&now, &message)) {
        return report.Usage(message);
    }
    InputKind kind = InputKind::kOther;
    if (!ProbeInput(path, &kind, &message)) {
        report.Error(0, message);
        return 1;
    }
    if (kind == InputKind::kOther) {
        report.Error(0, "is not an Anki package (.apkg), backup (.colpkg) or collection");
        return 1;
    }
    std::vector<DeckCounts> rows;
    Hidden hidden;
    if (!WithAnkiCollection(
            path, kind, kMaxCollectionBytes, report,
            [&](const std::string& copy, const std::string& entry, std::string* why) {
                LoadedCollection c;
                Needs needs;
                needs.deck_names = needs.schedule = true;
                return LoadCollection(copy, entry, &c, why) && CheckDamage(c, needs, report, why) &&
                       Count(c, now, &rows, &hidden, report, why);
            },
            &message)) {
        report.Error(0, message);
        return 1;
    }
    Print(rows, out);
    PrintHidden(hidden, out);
    return 0;
}

} // namespace deck::anki

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
#include "deck/anki/cardsides.h"
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

// True when two output names are one file: the same file where both exist (a hard or symbolic
// link too), else the same name in the same folder once links are followed.
bool SameOutput(const std::string& a, const std::string& b) {
    FileInfo fa, fb;
    if (StatPath(a, &fa) && StatPath(b, &fb)) {
        return SameFile(fa, fb);
    }
    auto where = [](const std::string& path) {
        std::string folder = ParentFolder(path);
        std::string real = ResolvePath(folder.empty() ? "." : folder);
        return JoinPath(real.empty() ? folder : real, BaseName(path));
    };
    return a == b || where(a) == where(b);
}

// A card to write and how it sorts.
struct Pick {
    int64_t id, note, ord, deck;
    int flags;
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
            out->due.push_back({card.id, card.note, card.ord, card.deck, card.flags,
                                learning ? 0 : 1, learning ? card.due : day, card.id});
            break;
        }
        case kNew:
            if (options.newCards > 0) {
                auto r = rank.find(card.deck);
                out->fresh.push_back({card.id, card.note, card.ord, card.deck, card.flags, card.ord,
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

// Reads the notes of the picked cards and writes the cards, each rendered from its template.
// *due_tally is what became of the due cards; the renderer's tally counts the new ones too.
bool Write(LoadedCollection& c, const Due& due, const ImportOptions& options, Report& report,
           DeckWriter& writer, CardRenderer& renderer, CardTally* due_tally, std::string* err) {
    std::vector<int64_t> ids;
    for (const auto* list : {&due.due, &due.fresh}) {
        for (const Pick& pick : *list) {
            ids.push_back(pick.note);
        }
    }
    std::unordered_map<int64_t, NoteRow> notes;
    if (ReadNoteRows(c.db.get(), std::move(ids), &notes) != SQLITE_OK) {
        return CollectionError(c.db.get(), "the collection", err);
    }
    std::string question, answer;
    for (const auto* list : {&due.due, &due.fresh}) {
        for (const Pick& pick : *list) {
            auto note = notes.find(pick.note);
            if (note == notes.end()) {
                report.Warning(0, "card " + std::to_string(pick.id) + " skipped: its note " +
                                      std::to_string(pick.note) + " is missing");
                continue;
            }
            auto type = c.schema.types.find(note->second.type);
            auto deck = c.schema.decks.find(pick.deck);
            CardInput card;
            card.type = type != c.schema.types.end() ? &type->second : nullptr;
            card.fields = &note->second.fields;
            card.ord = pick.ord;
            card.tags = note->second.tags;
            card.deck = deck != c.schema.decks.end() ? deck->second.name : std::string();
            card.flags = pick.flags;
            switch (renderer.Render(card, &question, &answer)) {
            case Shown::kCard:
                if (options.swap) {
                    question.swap(answer);
                }
                writer.Write(question, answer);
                break;
            case Shown::kTooFewFields: {
                const long have = static_cast<long>(note->second.fields.size());
                const int needed = std::max(options.question, options.answer);
                report.Warning(0, "card " + std::to_string(pick.id) + " of note " +
                                      std::to_string(pick.note) + " skipped: the note has " +
                                      Counted(have, "field") + ", field " + std::to_string(needed) +
                                      " was asked for");
                break;
            }
            case Shown::kOverLimit:
                report.Warning(0, "card " + std::to_string(pick.id) + " of note " +
                                      std::to_string(pick.note) +
                                      " left out: " + renderer.OverLimit());
                break;
            default:
                break;
            }
        }
        if (list == &due.due) {
            *due_tally = renderer.Tally();
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
    // A file that cannot be read fails before the output is touched.
    InputKind kind = InputKind::kOther;
    if (!ProbeInput(path, &kind, &message)) {
        report.Error(0, message);
        return 1;
    }
    DeckWriter writer;
    if (!writer.Open(options.output, path, options.force, &message)) {
        report.ErrorAbout(writer.Output(), message);
        return 1;
    }
    writer.KeepWhenUnchanged();
    // --next-change is an output as -o is: an existing file needs --force, and it is never the
    // input (DeckWriter refuses that) nor the deck being written. Committed after the deck, and
    // only when it was.
    DeckWriter changeWriter;
    if (!options.nextChange.empty()) {
        if (SameOutput(options.nextChange, options.output)) {
            report.ErrorAbout(options.nextChange, "is the deck being written (-o); give "
                                                  "--next-change a file of its own");
            return 1;
        }
        if (!changeWriter.Open(options.nextChange, path, options.force, &message,
                               /*deckMark=*/false)) {
            report.ErrorAbout(changeWriter.Output(), message);
            return 1;
        }
    }
    // The sides come out of the cards as question and answer; --swap still exchanges them.
    CardRenderer renderer({options.question, options.answer});
    CardTally due_tally;
    Due due;
    std::string entry;
    if (!WithAnkiCollection(
            path, kind, kMaxCollectionBytes, report,
            [&](const std::string& copy, const std::string& name, std::string* why) {
                entry = name;
                LoadedCollection c;
                Needs needs;
                needs.deck_names = !options.ankiDeck.empty();
                needs.note_types = needs.schedule = true;
                return LoadCollection(copy, name, &c, why) && CheckDamage(c, needs, report, why) &&
                       Gather(c, options, now, &due, why) &&
                       Write(c, due, options, report, writer, renderer, &due_tally, why);
            },
            &message)) {
        report.Error(0, message);
        return 1;
    }
    renderer.ReportProblems(report);
    const long dueCount = static_cast<long>(due.due.size());
    const std::string next = NextDueText(due.timing, due.later_day, due.later, due.later_time);
    // The new cards' share of the tally.
    CardTally fresh = renderer.Tally();
    fresh.only_media -= due_tally.only_media;
    fresh.blank -= due_tally.blank;
    fresh.cannot_render -= due_tally.cannot_render;
    // The due cards not written: those the item cannot show, those whose notes are missing or
    // lack the field asked for.
    const long hidden = dueCount - due_tally.cards;
    const long imported = writer.Cards();
    std::string stand_in; // the one card that says what the deck holds instead
    if (imported == 0) {
        // A state for the Today screen rather than an empty item.
        if (hidden > 0) {
            stand_in = CleanWhiteSpace("Due in " + due.deck + ": " + Counted(hidden, "card") +
                                       " the item cannot show");
            writer.Write(stand_in, "Review them in Anki");
        } else {
            stand_in = CleanWhiteSpace("Nothing due in " + due.deck);
            writer.Write(stand_in, "Next: " + next);
        }
    }
    if (!CommitUnlessErrors(writer, report)) {
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
        std::string line = "imported " + Counted(imported, "card") + " from " + path + " (" +
                           entry + ", due) to " + options.output +
                           (stand_in.empty() ? "" : ", which holds \"" + stand_in + "\" instead") +
                           (writer.Unchanged() ? " (unchanged)" : "") + "; " +
                           Counted(dueCount, "card") + (dueCount == 1 ? " is" : " are") +
                           " due today (" + DayName(due.timing, due.timing.today) + ")";
        if (options.newCards > 0) {
            line += ", " + std::to_string(due.fresh.size()) + " new";
        }
        if (dueCount == 0) {
            line += "; next: " + next;
        }
        line += LeftOutText(due_tally, "due card") + LeftOutText(fresh, "new card") +
                CutText(renderer.Tally());
        fprintf(err, "%s; %s\n", line.c_str(), Counted(report.Warnings(), "warning").c_str());
    }
    return 0;
}

} // namespace deck::anki

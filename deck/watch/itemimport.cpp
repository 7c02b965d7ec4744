// One import of an Anki item, run in this process, and the watch's messages.
#include "deck/watch/itemimport.h"

#include "deck/anki/due.h"
#include "deck/anki/profile.h"
#include "deck/anki/schedule.h"
#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/report.h"

#include <time.h>

#include <new>
#include <sstream>

namespace deck::watch {

namespace {

// What a function writes to a FILE*, as text without its last line ends.
std::string Lines(Capture& captured) {
    std::string text = captured.Text();
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// The first error of a command's messages, without its "FILE: error: ".
std::string FirstError(const std::string& messages) {
    const std::string mark = ": error: ";
    size_t at = messages.find(mark);
    if (at == std::string::npos) {
        return messages.substr(0, messages.find('\n'));
    }
    at += mark.size();
    return messages.substr(at, messages.find('\n', at) - at);
}

} // namespace

Seconds Now() {
    return static_cast<Seconds>(time(nullptr));
}

bool ReadNext(const std::string& path, Seconds* change, Seconds* rollover, Seconds* at) {
    std::string text;
    FileInfo st;
    if (!ReadWholeFile(path, &text) || !StatPath(path, &st)) {
        return false;
    }
    std::istringstream in(text);
    long long c = 0, r = 0;
    if (!(in >> c >> r)) {
        return false;
    }
    *change = c;
    *rollover = r;
    *at = static_cast<Seconds>(WholeSeconds(st.mtimeNs));
    return true;
}

Seconds ToolClock(Seconds now) {
    int64_t clock = now;
    std::string ignored;
    return anki::ClockNow(&clock, &ignored) ? clock : now;
}

std::string ProfileFolder(const std::string& profile) {
    return anki::AnkiBaseFolder() + kPathSeparator + profile;
}

// Imports the item's due cards into its deck, with --next-change beside it.
Imported ImportItem(const std::string& folder, const Item& item) {
    Imported got;
    ImportOptions options;
    std::string why;
    if (!anki::ProfileCollection(item.profile, &options.input, &why)) {
        got.why = why;
        got.messages = std::string(kProgram) + ": error: " + why;
        return got;
    }
    options.due = true;
    options.ankiDeck = item.deck;
    options.output = DeckFile(folder, item.name);
    options.force = true;
    options.nextChange = NextFile(folder, item.name);
    const Seconds now = Now();
    const Seconds clock = ToolClock(now);
    Capture messages;
    // Memory that runs out leaves this item out, not the watch.
    try {
        got.ok = anki::RunDueImport(options, messages.File()) == 0;
    } catch (const std::bad_alloc& failure) {
        fprintf(messages.File(), "%s: error: %s\n", options.input.c_str(),
                OutOfMemoryText(failure));
    }
    got.messages = Lines(messages);
    if (!got.ok) {
        got.why = FirstError(got.messages);
        return got;
    }
    got.changed = got.messages.find("(unchanged)") == std::string::npos;
    Seconds change = kNever, rollover = kNever, at = 0;
    got.outcome.ok = true;
    if (ReadNext(options.nextChange, &change, &rollover, &at)) {
        got.outcome.change = now + (change - clock);
        got.outcome.rollover = now + (rollover - clock);
    }
    return got;
}

void Say(FILE* err, const std::string& text) {
    fprintf(err, "%s: %s\n", kProgram, text.c_str());
    fflush(err);
}

void SayLines(FILE* err, const std::string& text) {
    if (!text.empty()) {
        fprintf(err, "%s\n", text.c_str());
        fflush(err);
    }
}

} // namespace deck::watch

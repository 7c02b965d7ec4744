// Writing a deck: UTF-16LE with FF FE, CR LF line ends, one card per line, question TAB
// answer; into a temporary file in OUTPUT's folder that Commit renames into place, so that
// nothing is written on failure.
#pragma once

#include "deck/base/files.h"
#include "deck/base/report.h"

#include <stdint.h>

#include <string>
#include <vector>

namespace deck {

// A deck is smaller than this: the item's card offsets are 32-bit.
constexpr uint64_t kMaxDeckBytes = 1ull << 32;

// Writes a deck through a temporary file beside OUTPUT.
class DeckWriter {
public:
    DeckWriter() = default;
    DeckWriter(const DeckWriter&) = delete;
    DeckWriter& operator=(const DeckWriter&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~DeckWriter();

    // Refuses an OUTPUT that exists (unless force), that is the input itself, or whose folder
    // cannot be written; otherwise creates the temporary file and writes FF FE. False with *err
    // set (about Output()). With deckMark false the file starts empty (export writes UTF-8).
    bool Open(const std::string& output, const std::string& input, bool force, std::string* err,
              bool deckMark = true);
    // One card: question TAB answer CR LF. The texts are valid UTF-8 without TAB, CR or LF. A
    // card that would take the deck to kMaxDeckBytes is not written, nor any after it, which
    // are only counted: Commit then refuses the deck, with the number of cards that fit.
    void Write(const std::string& question, const std::string& answer);
    // Bytes as they are (export).
    void WriteBytes(const std::string& bytes);
    // Flushes, syncs and renames the temporary file to OUTPUT. False with *err set (about
    // Output()), the temporary file removed and OUTPUT as it was.
    bool Commit(std::string* err);
    // Commit leaves an OUTPUT that holds exactly the new bytes as it is, with its time stamp
    // (so that the item keeps its index), and removes the temporary file instead.
    void KeepWhenUnchanged() { keepUnchanged_ = true; }
    bool Unchanged() const { return unchanged_; }

    long Cards() const { return cards_; }
    // The file the messages are about: OUTPUT, or the file that a link OUTPUT names.
    const std::string& Output() const { return output_; }

    // Lowers the deck's limit from kMaxDeckBytes, for a test of the refusal that need not
    // write 4 GiB; 0 restores it.
    static void LimitForTest(uint64_t bytes);

private:
    void Flush();

    std::string output_;
    std::string temp_;
    std::string folder_; // temp_'s, for the messages
    int fd_ = -1;
    int error_ = 0; // errno of the first failed write
    bool failed_ = false;
    bool mark_ = true;
    bool committed_ = false;
    bool keepUnchanged_ = false;
    bool unchanged_ = false;
    long cards_ = 0;
    uint64_t bytes_ = 0; // the deck's size so far, written and buffered
    long fits_ = -1;     // once a card did not fit: the cards before it
    std::vector<uint8_t> buffer_;
    RemovedOnSignal onSignal_;
};

// The end of a command that writes a deck: false when `report` holds errors (then nothing is
// written), else the deck committed; false with the reason in `report` when that fails.
bool CommitUnlessErrors(DeckWriter& writer, Report& report);

} // namespace deck

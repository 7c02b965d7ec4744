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
    // One card: question TAB answer CR LF. The texts are valid UTF-8 without TAB, CR or LF.
    void Write(const std::string& question, const std::string& answer);
    // Bytes as they are (export).
    void WriteBytes(const std::string& bytes);
    // Flushes, syncs and renames the temporary file to OUTPUT. False with *err set (about
    // Output()).
    bool Commit(std::string* err);
    // Commit leaves an OUTPUT that holds exactly the new bytes as it is, with its time stamp
    // (so that the item keeps its index), and removes the temporary file instead.
    void KeepWhenUnchanged() { keepUnchanged_ = true; }
    bool Unchanged() const { return unchanged_; }

    long Cards() const { return cards_; }
    // The file the messages are about: OUTPUT, or the file that a link OUTPUT names.
    const std::string& Output() const { return output_; }

private:
    void Flush();

    std::string output_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
    bool mark_ = true;
    bool committed_ = false;
    bool keepUnchanged_ = false;
    bool unchanged_ = false;
    long cards_ = 0;
    std::vector<uint8_t> buffer_;
    RemovedOnSignal onSignal_;
};

// The end of a command that writes a deck: false when `report` holds errors (then nothing is
// written), else the deck committed; false with the reason in `report` when that fails.
bool CommitUnlessErrors(DeckWriter& writer, Report& report);

} // namespace deck

// Helpers of the deck tool's tests: a temporary folder, files as bytes, and the tool's command
// line run in the test process with its output captured.
#pragma once

#include <string>
#include <vector>

namespace decktest {

// A fresh folder in the system's temporary folder ($TMPDIR, else /tmp; on Windows the user's),
// removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }
    // The names in the folder, sorted.
    std::vector<std::string> Names() const;
    static std::vector<std::string> NamesIn(const std::string& folder);

private:
    std::string path_;
};

// `text` as one word of a shell command line, in single quotes.
std::string Quote(const std::string& text);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// Makes the folder and those above it.
void MakeFolder(const std::string& path);
// Modification time in nanoseconds since 1970, or -1 (deck_support_posix.cpp,
// deck_support_windows.cpp).
long long MTimeNs(const std::string& path);

// Points the tool's temporary folder at `folder` while it lives ($TMPDIR; on Windows TMP and
// TEMP, which GetTempPath reads), and then back.
class TempFolderAt {
public:
    explicit TempFolderAt(const std::string& folder);
    ~TempFolderAt();
    TempFolderAt(const TempFolderAt&) = delete;
    TempFolderAt& operator=(const TempFolderAt&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> old_; // "" name: was unset
    std::vector<std::string> names_;
};

// `text` `times` over.
std::string Repeat(const std::string& text, size_t times);
// UTF-16LE bytes of UTF-8 text (no mark).
std::string Utf16(const std::string& utf8);
// A deck as the tool writes it: FF FE, then "q TAB a CR LF" per card.
std::string Deck(const std::vector<std::pair<std::string, std::string>>& cards);

struct Run {
    int status;
    std::string out;
    std::string err;
};
// Runs `tollamy-deck ARGS...` in this process.
Run Tool(const std::vector<std::string>& args);
// Writes `bytes` to `input` and runs `import INPUT -o OUTPUT --force OPTIONS...`.
Run ImportBytes(const std::string& input, const std::string& bytes, const std::string& output,
                const std::vector<std::string>& options);

} // namespace decktest

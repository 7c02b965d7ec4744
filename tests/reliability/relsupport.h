// What the reliability tests share: a host that runs while the test acts on its files, a
// holder process, the deck's bytes and the index read back, and the control captures that
// tell which card the item shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/hostrun.h"

namespace rel {

// today-host.exe running a script in the background; its stdout is read while it runs.
class LiveHost {
public:
    LiveHost() = default;
    ~LiveHost();
    LiveHost(const LiveHost&) = delete;
    LiveHost& operator=(const LiveHost&) = delete;

    bool Start(const std::wstring& arguments);
    // The complete lines printed so far.
    std::vector<std::string> Lines() const;
    // Waits until at least count lines have been printed; false on time-out or exit first.
    bool WaitForLines(size_t count, DWORD timeoutMs, DWORD pollMs = 5) const;
    // Waits for the process to end; false on time-out.
    bool Wait(DWORD timeoutMs, DWORD* status);
    void Kill();
    HANDLE Process() const { return process_; }
    std::string Describe() const;

private:
    hostrun::TempFolder streams_;
    HANDLE process_ = nullptr;
};

// rel_holder.exe holding a file open with share mode 0 until Release().
class Holder {
public:
    Holder() = default;
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    // True once the holder has the file open.
    bool Hold(const std::wstring& path, bool create);
    // Tells the holder to close the file, and waits for it to end.
    bool Release();

private:
    HANDLE process_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE output_ = nullptr;
};

std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// A UTF-16LE deck with its mark and CR LF endings, as bytes.
std::string DeckBytes(const std::vector<std::wstring>& lines);
FILETIME LastWriteTime(const std::wstring& path);
void SetLastWriteTime(const std::wstring& path, const FILETIME& time);

// The card offsets of a deck, computed from its bytes by the line rule: card 0 at 2, and a
// card at every code unit that follows an LF (that unit is not tested for LF itself).
std::vector<LONG> ReferenceOffsets(const std::string& deck);

struct Index {
    DWORD stampLow = 0;
    DWORD stampHigh = 0;
    LONG count = 0;
    std::vector<LONG> offsets;
    size_t size = 0;
};
bool ReadIndex(const std::wstring& path, Index* index);
// Empty when the index matches the deck (stamp = the deck's last-write time, count and
// offsets = ReferenceOffsets, size exact); otherwise what differs.
std::string CheckIndex(const std::wstring& indexPath, const std::wstring& deckPath);

// The names in a folder, sorted, with sizes: "name size" per entry ("name <dir>").
std::vector<std::string> ListFolder(const std::wstring& folder);

// The item's two looks for one card: after a leave (question side) and after a select
// (answer side, highlighted). Made by a host run on a deck holding only that card.
struct Looks {
    hostrun::Image question;
    hostrun::Image answer;
    bool ok = false;
};
// Copies the module into a fresh folder beside a one-card deck and captures both looks.
// The same script shape is used by the fault runs: "select leave capture-item, select
// capture-item".
Looks ControlLooks(const std::wstring& question, const std::wstring& answer);
bool SameImage(const hostrun::Image& a, const hostrun::Image& b);

// Copies Tollamy.dll into folder; returns its path.
std::wstring InstallModule(const hostrun::TempFolder& folder);
std::wstring HostArguments(const std::wstring& module, const std::wstring& script,
                           const std::wstring& captureDir);
std::string Narrow(const std::wstring& text);

} // namespace rel

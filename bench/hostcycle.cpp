#include "bench/hostcycle.h"

#include "bench/deckfiles.h"

#include <stdio.h>
#include <algorithm>
#include <vector>

#include "common/ScopedWin.h"

namespace {

// The shortest stretch between two samples that gives one figure.
const long kStretchCycles = 50;
// How often the host's output is sampled.
const DWORD kSampleMs = 10;

HANDLE OpenExclusive(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool ReadExactly(HANDLE file, void* buffer, DWORD bytes) {
    DWORD got = 0;
    return ReadFile(file, buffer, bytes, &got, nullptr) && got == bytes;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

bool WriteText(const std::wstring& path, const std::string& text) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() &&
           WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

HANDLE InheritableOutput(const std::wstring& path) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Counts the line ends that have arrived in `file` since the last call.
long CountNewLines(HANDLE file) {
    char buffer[4096];
    long lines = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got != 0) {
        lines += static_cast<long>(std::count(buffer, buffer + got, '\n'));
    }
    return lines;
}

struct Sample {
    double time;
    long lines;
};

// The cost per cycle of each stretch of at least kStretchCycles cycles, from the first sample
// that shows a finished cycle to the last one before the final cycle ended.
std::vector<double> StretchCosts(const std::vector<Sample>& samples, long cycles) {
    std::vector<double> costs;
    const Sample* anchor = nullptr;
    for (const Sample& sample : samples) {
        const long done = sample.lines / 2;
        if (done >= cycles) {
            break;
        }
        if (anchor == nullptr) {
            if (done > 0) {
                anchor = &sample;
            }
            continue;
        }
        const long stretch = done - anchor->lines / 2;
        if (stretch >= kStretchCycles) {
            costs.push_back((sample.time - anchor->time) * 1e6 / static_cast<double>(stretch));
            anchor = &sample;
        }
    }
    return costs;
}

} // namespace

bool DrawFileWork(const std::wstring& indexPath, const std::wstring& deckPath, LONG n) {
    BYTE header[12];
    FILETIME stamp;
    {
        // GetCardCount: the index's header, then the deck's last-write time.
        ScopedFile index(OpenExclusive(indexPath));
        if (!index.Valid() || !ReadExactly(index.Get(), header, 8) ||
            !ReadExactly(index.Get(), header + 8, 4)) {
            return false;
        }
    }
    {
        ScopedFile deck(OpenExclusive(deckPath));
        if (!deck.Valid()) {
            return false;
        }
        GetFileTime(deck.Get(), nullptr, nullptr, &stamp);
    }
    // LoadCard: the index and the deck open together; the header, the card's offset, and one
    // read of the card through the same open of the deck.
    ScopedFile index(OpenExclusive(indexPath));
    ScopedFile deck(OpenExclusive(deckPath));
    if (!index.Valid() || !deck.Valid()) {
        return false;
    }
    GetFileTime(deck.Get(), nullptr, nullptr, &stamp);
    BYTE entry[4];
    if (!ReadExactly(index.Get(), header, 8) || !ReadExactly(index.Get(), header + 8, 4) ||
        SetFilePointer(index.Get(), (n + 3) * 4, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadExactly(index.Get(), entry, 4)) {
        return false;
    }
    index.Close();
    const DWORD offset = static_cast<DWORD>(entry[0]) | static_cast<DWORD>(entry[1]) << 8 |
                         static_cast<DWORD>(entry[2]) << 16 | static_cast<DWORD>(entry[3]) << 24;
    BYTE card[4096];
    DWORD got = 0;
    SetFilePointer(deck.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    return ReadFile(deck.Get(), card, sizeof(card), &got, nullptr) && got > 0;
}

double HostCycleMedianUs(const std::wstring& deckPath, int cycles) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring programs = FolderOf(self);
    const std::wstring folder = FolderOf(deckPath);
    // A module reads the deck of its own name: big.dll reads big.txt.
    const std::wstring module = deckPath.substr(0, deckPath.size() - 4) + L".dll";
    const std::wstring script = folder + L"\\cycles.script";
    const std::wstring output = folder + L"\\host.out";
    std::string text;
    for (int i = 0; i < cycles; ++i) {
        text += "select\nleave\n";
    }
    text += "quit\n";
    if (!CopyFileW((programs + L"\\Tollamy.dll").c_str(), module.c_str(), FALSE) ||
        !WriteText(script, text)) {
        fprintf(stderr, "cannot install the module and the script beside the deck\n");
        return -1;
    }

    HANDLE out = InheritableOutput(output);
    ScopedFile reader(CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + programs + L"\\today-host.exe\" --module \"" + module +
                           L"\" --script \"" + script + L"\" --capture-dir \"" + folder + L"\"";
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(out);
    if (!started || !reader.Valid()) {
        fprintf(stderr, "today-host.exe could not be started\n");
        return -1;
    }
    ScopedHandle host(process.hProcess);
    CloseHandle(process.hThread);

    std::vector<Sample> samples;
    samples.reserve(static_cast<size_t>(cycles));
    long lines = 0;
    const double deadline = Now() + 600;
    while (WaitForSingleObject(host.Get(), kSampleMs) == WAIT_TIMEOUT && Now() < deadline) {
        lines += CountNewLines(reader.Get());
        samples.push_back({Now(), lines});
    }
    DWORD status = 1;
    if (WaitForSingleObject(host.Get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(host.Get(), 1);
    }
    GetExitCodeProcess(host.Get(), &status);
    lines += CountNewLines(reader.Get());
    reader.Close();
    DeleteFileW(module.c_str());
    DeleteFileW(script.c_str());
    DeleteFileW(output.c_str());
    if (status != 0 || lines != 2L * cycles + 1) {
        fprintf(stderr, "today-host.exe ended with status %lu after %ld of %d lines\n", status,
                lines, 2 * cycles + 1);
        return -1;
    }
    std::vector<double> costs = StretchCosts(samples, cycles);
    if (costs.empty()) {
        fprintf(stderr, "the host's cycles left no stretch to measure\n");
        return -1;
    }
    std::sort(costs.begin(), costs.end());
    return costs[costs.size() / 2];
}

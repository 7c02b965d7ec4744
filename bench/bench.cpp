// Figures of the card store on a generated deck of 1,048,576 cards, one "name value" line each:
//   tollamy-bench                    the whole benchmark, ending with a "summary" line
//   tollamy-bench --write-decks DIR  writes DIR\cards.txt (UTF-16) and DIR\cards (fortune format)
//   tollamy-bench --build DECK       best of 3 index builds of DECK: build_s
//   tollamy-bench --memory-probe SMALL BIG   (started by the benchmark itself)
#include <windows.h>
#include <psapi.h>
#include <stdint.h>
#include <stdio.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench/deckfiles.h"
#include "bench/hostcycle.h"
#include "cardstore/cardstore.h"
#include "common/ScopedWin.h"
#include "cardstore_reference.h"

namespace {

const int kCards = 1048576;
const int kDraws = 10000;
// select/leave cycles of today-host.exe on the same deck.
const int kHostCycles = 3000;

struct Memory {
    long long peakPrivate, peakWorkingSet, workingSet;
};

Memory MemoryNow() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return {static_cast<long long>(counters.PeakPagefileUsage),
            static_cast<long long>(counters.PeakWorkingSetSize),
            static_cast<long long>(counters.WorkingSetSize)};
}

// In a fresh process: the peak private memory after indexing the big deck, over that after
// indexing the small one.
int MemoryProbe(const std::wstring& small, const std::wstring& big) {
    LONG count = 0;
    if (BestBuild(small, 1, &count) < 0) {
        return 1;
    }
    // Wine derives the private figures from the current data size, so its "peak" can fall
    // again, and pages of fixed buffers that were reserved at load show in neither peak. So the
    // probe takes the largest growth among peak private bytes, peak working set and the
    // working set itself (which keeps every page the build touched).
    Memory before = MemoryNow();
    if (BestBuild(big, 1, &count) < 0) {
        return 1;
    }
    Memory after = MemoryNow();
    long long grown = std::max({after.peakPrivate - before.peakPrivate,
                                after.peakWorkingSet - before.peakWorkingSet,
                                after.workingSet - before.workingSet});
    printf("%lld\n", grown / 1024);
    return 0;
}

// Starts this program with `args` and returns the number it prints, or -1.
long long RunChild(const std::wstring& args) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + args;
    BOOL started =
        CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    std::string out;
    char chunk[256];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        out.append(chunk, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code == 0 && !out.empty() ? atoll(out.c_str()) : -1;
}

std::wstring MakeTempFolder() {
    WCHAR base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    WCHAR name[64];
    wsprintfW(name, L"tollamy-bench-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    std::wstring dir = std::wstring(base) + name;
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void RemoveFolder(const std::wstring& dir) {
    const wchar_t* names[] = {L"big.txt",   L"big.idx",   L"big.tmp", L"small.txt",
                              L"small.idx", L"small.tmp", L"unit.txt"};
    for (const wchar_t* n : names) {
        DeleteFileW((dir + L"\\" + n).c_str());
    }
    RemoveDirectoryW(dir.c_str());
}

int Bench() {
    std::wstring dir = MakeTempFolder();
    std::wstring big = dir + L"\\big.txt", small = dir + L"\\small.txt", unit = dir + L"\\unit.txt";
    uint64_t deckBytes = 0;
    if (!WriteDeck(big, kCards, false, &deckBytes) || !WriteDeckOfSize(small, 1024 - 84) ||
        !WriteDeckOfSize(unit, 2 << 20)) {
        fprintf(stderr, "cannot write the decks\n");
        RemoveFolder(dir);
        return 1;
    }
    printf("cards %d\n", kCards);
    printf("deck_bytes %llu\n", static_cast<unsigned long long>(deckBytes));

    uint64_t readBytes = 0;
    double read = BestRead(big, 3, &readBytes);
    double readMbS = static_cast<double>(readBytes) / read / 1e6;
    printf("read_mb_s %.1f\n", readMbS);

    // The floor and the build in turns, best of 3 each, so that on a shared machine both see
    // the same load; a build comes last and leaves the index that the draws read.
    double floor = 1e9;
    double build = 1e9;
    LONG count = 0;
    for (int run = 0; run < 3; ++run) {
        const double floorRun = BestIoFloor(big, 1, kCards);
        if (floorRun < 0) {
            fprintf(stderr, "the file work of the floor failed\n");
            RemoveFolder(dir);
            return 1;
        }
        const double buildRun = BestBuild(big, 1, &count);
        if (buildRun < 0 || count != kCards) {
            fprintf(stderr, "the index holds %ld cards, not %d\n", count, kCards);
            RemoveFolder(dir);
            return 1;
        }
        floor = std::min(floor, floorRun);
        build = std::min(build, buildRun);
    }
    double buildMbS = static_cast<double>(deckBytes) / build / 1e6;
    printf("build_mb_s %.1f\n", buildMbS);
    printf("build_ratio %.2f\n", buildMbS / readMbS);
    printf("io_floor_ms %.1f\n", floor * 1e3);
    printf("build_ms %.1f\n", build * 1e3);
    printf("build_vs_floor %.2f\n", floor / build);

    // The draws, each beside the file work that it must do (taken in turns, so that both see
    // the same load), in two halves around the host's cycles, which draw from the same deck.
    CardStore store;
    store.SetPaths(big.c_str());
    std::mt19937 rng(1);
    std::vector<double> draws;
    std::vector<double> floors;
    draws.reserve(kDraws);
    floors.reserve(kDraws);
    double cycle = -1;
    for (int i = 0; i < kDraws; ++i) {
        if (i == kDraws / 2) {
            cycle = HostCycleMedianUs(big, kHostCycles);
            if (cycle < 0) {
                RemoveFolder(dir);
                return 1;
            }
        }
        const LONG card = static_cast<LONG>(rng() % static_cast<uint32_t>(kCards));
        for (int turn = 0; turn < 2; ++turn) {
            const bool floorTurn = (turn == 0) == (i % 2 == 0);
            double t0 = Now();
            if (floorTurn) {
                if (!DrawFileWork(store.indexPath, store.dataPath, card)) {
                    fprintf(stderr, "the file work of draw %d failed\n", i);
                    RemoveFolder(dir);
                    return 1;
                }
                floors.push_back((Now() - t0) * 1e6);
                continue;
            }
            LONG n = store.GetCardCount();
            store.LoadCard(card);
            draws.push_back((Now() - t0) * 1e6);
            if (n != kCards || store.card.question[0] == 0 ||
                lstrcmpW(store.card.question, L"error") == 0) {
                fwprintf(stderr, L"draw %d failed: %ls\n", i, store.card.answer);
                RemoveFolder(dir);
                return 1;
            }
        }
    }
    std::sort(draws.begin(), draws.end());
    std::sort(floors.begin(), floors.end());
    const double p50 = draws[kDraws / 2], p99 = draws[kDraws * 99 / 100];
    const double floorP50 = floors[kDraws / 2];
    printf("draw_p50_us %.1f\n", p50);
    printf("draw_p99_us %.1f\n", p99);
    printf("draw_floor_us %.1f\n", floorP50);
    printf("draw_vs_floor %.2f\n", floorP50 / p50);
    printf("host_cycle_us %.1f\n", cycle);
    printf("host_overhead %.2f\n", cycle / p50);

    long long memory = RunChild(L"--memory-probe \"" + small + L"\" \"" + big + L"\"");
    printf("memory_delta_kib %lld\n", memory);

    double t0 = Now();
    std::vector<uint32_t> offsets;
    reference::ScanOffsets(unit.c_str(), &offsets);
    double unitRead = Now() - t0;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    GetFileAttributesExW(unit.c_str(), GetFileExInfoStandard, &info);
    printf("unit_read_mb_s %.2f\n", static_cast<double>(info.nFileSizeLow) / unitRead / 1e6);

    printf("summary build_ratio=%.2f build_vs_floor=%.2f draw_p50_us=%.1f draw_vs_floor=%.2f "
           "host_overhead=%.2f memory_delta_kib=%lld\n",
           buildMbS / readMbS, floor / build, p50, floorP50 / p50, cycle / p50, memory);
    RemoveFolder(dir);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && lstrcmpW(argv[1], L"--memory-probe") == 0) {
        return MemoryProbe(argv[2], argv[3]);
    }
    if (argc == 3 && lstrcmpW(argv[1], L"--write-decks") == 0) {
        std::wstring dir = argv[2];
        uint64_t deck = 0, fortune = 0;
        if (!WriteDeck(dir + L"\\cards.txt", kCards, false, &deck) ||
            !WriteDeck(dir + L"\\cards", kCards, true, &fortune)) {
            return 1;
        }
        printf("cards %d\ndeck_bytes %llu\nfortune_bytes %llu\n", kCards,
               static_cast<unsigned long long>(deck), static_cast<unsigned long long>(fortune));
        return 0;
    }
    if (argc == 3 && lstrcmpW(argv[1], L"--build") == 0) {
        LONG count = 0;
        double build = BestBuild(argv[2], 3, &count);
        if (build < 0) {
            return 1;
        }
        printf("build_cards %ld\nbuild_s %.3f\n", count, build);
        return 0;
    }
    if (argc != 1) {
        fprintf(stderr, "usage: tollamy-bench [--write-decks DIR | --build DECK]\n");
        return 2;
    }
    return Bench();
}

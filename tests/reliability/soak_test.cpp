// Long runs: the host killed in the middle of the first index build of a 100 MB deck, and
// selection cycles with zero time-outs on a 10,000-card deck: 20,000 in the whole suite, the
// full 100,000 under scripts/test -L soak (TOLLAMY_SOAK_CYCLES, at least 20,000).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "relsupport.h"

namespace {

// FNV-1a over the whole file, with its size.
std::string Fingerprint(const std::string& bytes) {
    unsigned long long hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return std::to_string(bytes.size()) + ":" + std::to_string(hash);
}

void SetTimeOut(const wchar_t* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vessick\\Tollamy", 0,
                                           KEY_SET_VALUE, &key));
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

TEST(KillDuringBuild, ANewHostRebuildsAValidIndexAndTheDeckIsUntouched) {
    hostrun::TempFolder folder;
    hostrun::InstalledSettings settings;
    const std::wstring module = rel::InstallModule(folder);
    const std::wstring deck = folder.File(L"Tollamy.txt");
    const std::wstring index = folder.File(L"Tollamy.idx");
    const std::wstring temp = folder.File(L"Tollamy.tmp");

    // About 100 MB: one card, repeated, whose lines differ in length through text after a
    // second TAB (which ends the answer), so the offsets are irregular.
    std::wstring text = L"\xFEFF";
    text.reserve(50u * 1000 * 1000 + 100);
    unsigned int seed = 12345;
    while (text.size() < 50u * 1000 * 1000) {
        text += L"Capital of France?\tParis\t";
        seed = seed * 1103515245u + 12345u;
        text.append((seed >> 16) % 40, L'x');
        text += L"\r\n";
    }
    rel::WriteBytes(deck, std::string(reinterpret_cast<const char*>(text.data()),
                                      text.size() * sizeof(wchar_t)));
    text.clear();
    text.shrink_to_fit();
    const std::string before = Fingerprint(rel::ReadBytes(deck));
    const FILETIME written = rel::LastWriteTime(deck);
    const rel::Looks looks = rel::ControlLooks(L"Capital of France?", L"Paris");
    ASSERT_TRUE(looks.ok);

    const std::wstring script = folder.File(L"run.script");
    hostrun::WriteScript(script, "select\nleave\nquit\n");
    {
        rel::LiveHost host;
        ASSERT_TRUE(host.Start(rel::HostArguments(module, script, folder.Path())));
        const DWORD begin = GetTickCount();
        while (!hostrun::FileExists(temp) && WaitForSingleObject(host.Process(), 0) != 0 &&
               GetTickCount() - begin < 60000) {
            // Spin: the whole build takes a fraction of a second.
        }
        ASSERT_TRUE(hostrun::FileExists(temp)) << "the build was not seen\n" << host.Describe();
        ASSERT_TRUE(TerminateProcess(host.Process(), 255));
        WaitForSingleObject(host.Process(), 10000);
        // The kill hit the build: its temporary file is left, and no finished index.
        ASSERT_TRUE(hostrun::FileExists(temp)) << "the build had ended before the kill\n"
                                               << host.Describe();
        ASSERT_NE("", rel::CheckIndex(index, deck));
    }

    hostrun::WriteScript(script, "select\nleave\ncapture-item q\nselect\ncapture-item a\nquit\n");
    const DWORD begin = GetTickCount();
    hostrun::HostResult result =
        hostrun::RunHost(rel::HostArguments(module, script, folder.Path()), 300000);
    printf("rebuild after the kill: %lu ms\n", GetTickCount() - begin);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.status) << result.errors;
    hostrun::Image question;
    hostrun::Image answer;
    ASSERT_TRUE(hostrun::ReadPng(folder.File(L"q.png"), &question));
    ASSERT_TRUE(hostrun::ReadPng(folder.File(L"a.png"), &answer));
    EXPECT_TRUE(rel::SameImage(looks.question, question)) << "the deck's card should show";
    EXPECT_TRUE(rel::SameImage(looks.answer, answer)) << "the deck's card should show";
    EXPECT_EQ("", rel::CheckIndex(index, deck));
    EXPECT_FALSE(hostrun::FileExists(temp));
    EXPECT_EQ(before, Fingerprint(rel::ReadBytes(deck))) << "the deck's bytes changed";
    const FILETIME after = rel::LastWriteTime(deck);
    EXPECT_EQ(written.dwLowDateTime, after.dwLowDateTime);
    EXPECT_EQ(written.dwHighDateTime, after.dwHighDateTime);
}

// The soak's cycles: TOLLAMY_SOAK_CYCLES, and never fewer than 20,000.
int SoakCycles() {
    const int least = 20000;
    WCHAR value[16];
    const DWORD length = GetEnvironmentVariableW(L"TOLLAMY_SOAK_CYCLES", value, 16);
    const int cycles = length > 0 && length < 16 ? _wtoi(value) : 0;
    return cycles > least ? cycles : least;
}

bool ParseStats(const std::string& line, int* handles, int* gdi) {
    return sscanf(line.c_str(), "stats handles %d gdi %d", handles, gdi) == 2;
}

TEST(Soak, SelectionCyclesLeakNothingAndEveryCommandAnswers) {
    const int CYCLES = SoakCycles();
    hostrun::TempFolder folder;
    hostrun::InstalledSettings settings;
    SetTimeOut(L"TimeOut1st", 0);
    SetTimeOut(L"TimeOutLong", 0);
    SetTimeOut(L"TimeOutShort", 0);
    const std::wstring module = rel::InstallModule(folder);
    const std::wstring deck = folder.File(L"Tollamy.txt");
    const std::wstring index = folder.File(L"Tollamy.idx");
    std::vector<std::wstring> cards;
    for (int i = 0; i < 10000; ++i) {
        cards.push_back(L"Question " + std::to_wstring(i) + L"\tAnswer " + std::to_wstring(i));
    }
    const std::string deckBytes = rel::DeckBytes(cards);
    rel::WriteBytes(deck, deckBytes);

    // The first cycle builds the index, so the first stats come after it.
    std::string script = "select\nleave\nstats\n";
    for (int i = 1; i <= CYCLES; ++i) {
        script += "select\nleave\n";
        if (i % 100 == 0) {
            script += "refresh\n";
        }
    }
    script += "stats\nwait 3000\nquit\n";
    const size_t expectedLines = 3 + 2 * CYCLES + CYCLES / 100 + 3;
    const std::wstring scriptPath = folder.File(L"soak.script");
    hostrun::WriteScript(scriptPath, script);

    rel::LiveHost host;
    const DWORD begin = GetTickCount();
    ASSERT_TRUE(host.Start(rel::HostArguments(module, scriptPath, folder.Path())));
    // Right after the last stats, while the host is still running, the deck and the index
    // open exclusively: the item holds neither.
    ASSERT_TRUE(host.WaitForLines(expectedLines - 2, 900000, 200)) << host.Lines().size();
    const DWORD elapsed = GetTickCount() - begin;
    for (const std::wstring& path : {deck, index}) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file) << rel::Narrow(path) << " is still held open";
        CloseHandle(file);
    }
    DWORD status = 99;
    ASSERT_TRUE(host.Wait(30000, &status));
    EXPECT_EQ(0u, status);

    const std::vector<std::string> lines = host.Lines();
    ASSERT_EQ(expectedLines, lines.size());
    size_t selects = 0;
    size_t leaves = 0;
    size_t refreshes = 0;
    std::vector<std::string> stats;
    for (const std::string& line : lines) {
        if (line == "select 1") {
            ++selects;
        } else if (line == "leave 0") {
            ++leaves;
        } else if (line.compare(0, 8, "refresh ") == 0) {
            ++refreshes;
        } else if (line.compare(0, 6, "stats ") == 0) {
            stats.push_back(line);
        }
    }
    EXPECT_EQ(static_cast<size_t>(CYCLES + 1), selects);
    EXPECT_EQ(static_cast<size_t>(CYCLES + 1), leaves);
    EXPECT_EQ(static_cast<size_t>(CYCLES / 100), refreshes);
    ASSERT_EQ(2u, stats.size());
    int handles[2] = {};
    int gdi[2] = {};
    ASSERT_TRUE(ParseStats(stats[0], &handles[0], &gdi[0])) << stats[0];
    ASSERT_TRUE(ParseStats(stats[1], &handles[1], &gdi[1])) << stats[1];
    printf("soak: %d cycles in %lu ms; before: %s; after: %s\n", CYCLES, elapsed, stats[0].c_str(),
           stats[1].c_str());
    EXPECT_GT(handles[0], 0);
    EXPECT_GT(gdi[0], 0);
    EXPECT_LE(handles[1], handles[0] + 2) << stats[0] << " / " << stats[1];
    EXPECT_LE(gdi[1], gdi[0] + 2) << stats[0] << " / " << stats[1];
    EXPECT_EQ("", rel::CheckIndex(index, deck));
    EXPECT_TRUE(rel::ReadBytes(deck) == deckBytes) << "the deck's bytes changed";
}

} // namespace

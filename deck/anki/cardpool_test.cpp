// The card pool's workers leave SIGINT, SIGTERM and SIGHUP to the thread that made the pool,
// as the kernel shows each thread's mask in /proc/self/task/*/status.
#include "deck/anki/cardpool.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

// Each thread of this process by its id, with the signals it holds back ("SigBlk", hex).
std::map<long, unsigned long long> HeldByThread() {
    std::map<long, unsigned long long> held;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0) {
                held[std::stol(task.path().filename().string())] =
                    std::stoull(line.substr(7), nullptr, 16);
            }
        }
    }
    return held;
}

unsigned long long Bit(int signal) {
    return 1ULL << (signal - 1);
}

TEST(CardPool, OnlyTheCallingThreadTakesTheSignalsThatEndTheProgram) {
    const long caller = syscall(SYS_gettid);
    const unsigned long long ending = Bit(SIGINT) | Bit(SIGTERM) | Bit(SIGHUP);
    const auto before = HeldByThread();
    deck::anki::CardPool pool({1, 2}, 3);
    const auto during = HeldByThread();
    EXPECT_EQ(during.size(), before.size() + 3);
    for (const auto& [thread, held] : during) {
        if (thread == caller) {
            EXPECT_EQ(held & ending, 0u) << "the calling thread takes them";
        } else if (before.count(thread) == 0) {
            EXPECT_EQ(held & ending, ending) << "worker " << thread << " holds them back";
        }
    }
}

} // namespace

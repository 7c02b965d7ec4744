// The watch that looks: each folder's names, sizes and time stamps, compared with what it saw
// the time before. For a system without a notification of its own, or one that refuses it.
#include "deck/watch/system.h"

#include "deck/base/files.h"

#include <chrono>
#include <map>
#include <thread>

namespace deck::watch {

namespace {

struct Stamp {
    int64_t size = 0;
    int64_t time = 0;
    bool operator!=(const Stamp& o) const { return size != o.size || time != o.time; }
};

// A folder's files as last seen; `there` false when the folder was missing.
struct Look {
    bool there = false;
    std::map<std::string, Stamp> files;
};

Look LookAt(const std::string& folder) {
    Look look;
    std::vector<FolderEntry> entries;
    look.there = ListFolder(folder, &entries);
    for (const FolderEntry& e : entries) {
        Stamp stamp;
        stamp.time = e.info.mtimeNs;
        stamp.size = e.info.kind == PathKind::kFile ? e.info.size : 0;
        look.files[e.name] = stamp;
    }
    return look;
}

class LookingWatch : public FolderWatch {
public:
    explicit LookingWatch(int seconds) : seconds_(seconds) {}

    bool Follow(const std::vector<std::string>& folders, std::string*) override {
        std::map<std::string, Look> next;
        for (const std::string& folder : folders) {
            auto it = looks_.find(folder);
            next[folder] = it != looks_.end() ? it->second : LookAt(folder);
        }
        looks_.swap(next);
        return true;
    }

    bool Wait(long milliseconds, std::vector<Seen>* seen, std::string*) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        for (auto& [folder, before] : looks_) {
            Look now = LookAt(folder);
            if (now.there != before.there) {
                seen->push_back({folder, ""});
            }
            for (const auto& [name, stamp] : now.files) {
                auto was = before.files.find(name);
                if (was == before.files.end() || was->second != stamp) {
                    seen->push_back({folder, name});
                }
            }
            for (const auto& [name, stamp] : before.files) {
                if (now.files.count(name) == 0) {
                    seen->push_back({folder, name});
                }
            }
            before = std::move(now);
        }
        return true;
    }

    int PollSeconds() const override { return seconds_; }

private:
    int seconds_;
    std::map<std::string, Look> looks_;
};

} // namespace

std::unique_ptr<FolderWatch> PollingWatch(int seconds) {
    return std::make_unique<LookingWatch>(seconds);
}

} // namespace deck::watch

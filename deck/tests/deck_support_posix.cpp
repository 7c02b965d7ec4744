// The test helpers that differ by system, on POSIX: a file's time stamp, and $TMPDIR.
#include "deck/tests/deck_support.h"

#include "deck/base/process.h"

#include <sys/stat.h>

namespace decktest {

long long MTimeNs(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

TempFolderAt::TempFolderAt(const std::string& folder) : names_{"TMPDIR"} {
    for (const std::string& name : names_) {
        std::string value;
        const bool had = deck::GetEnv(name.c_str(), &value);
        old_.push_back({had ? name : "", value});
        deck::SetEnv(name.c_str(), folder.c_str());
    }
}

TempFolderAt::~TempFolderAt() {
    for (size_t i = 0; i < names_.size(); ++i) {
        deck::SetEnv(names_[i].c_str(), old_[i].first.empty() ? nullptr : old_[i].second.c_str());
    }
}

} // namespace decktest

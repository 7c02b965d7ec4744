// The test helpers that differ by system, on Windows: a file's time stamp, and TMP and TEMP,
// which GetTempPath reads.
#include "deck/tests/deck_support.h"

#include "deck/base/process.h"
#include "deck/base/win32.h"

namespace decktest {

long long MTimeNs(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(deck::win32::WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    const long long ticks = static_cast<long long>(
        static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32 |
        data.ftLastWriteTime.dwLowDateTime);
    return (ticks - 116444736000000000LL) * 100;
}

TempFolderAt::TempFolderAt(const std::string& folder) : names_{"TMP", "TEMP"} {
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

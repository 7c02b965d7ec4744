// The limits' words (limits.h).
#include "deck/base/limits.h"

#include <cstdio>

namespace deck {

std::string SizeText(uint64_t bytes) {
    char text[64];
    static const char* const kUnits[] = {"GiB", "MiB", "KiB"};
    for (int i = 0; i < 3; ++i) {
        const int shift = 30 - 10 * i;
        const uint64_t unit = uint64_t{1} << shift;
        if (bytes >= unit && bytes % unit == 0) {
            snprintf(text, sizeof text, "%llu %s", (unsigned long long)(bytes >> shift), kUnits[i]);
            return text;
        }
    }
    snprintf(text, sizeof text, "%llu bytes", (unsigned long long)bytes);
    return text;
}

std::string AboutSize(uint64_t bytes) {
    char text[64];
    static const char* const kUnits[] = {"GiB", "MiB", "KiB"};
    for (int i = 0; i < 3; ++i) {
        const int shift = 30 - 10 * i;
        if (bytes >= (uint64_t{1} << shift)) {
            snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / (1ull << shift),
                     kUnits[i]);
            return text;
        }
    }
    snprintf(text, sizeof text, "%llu bytes", (unsigned long long)bytes);
    return text;
}

} // namespace deck

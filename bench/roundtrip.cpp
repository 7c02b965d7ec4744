// tollamy-roundtrip [COUNT]: the cost of one request to the Wine server, for choosing the
// pinning (scripts/common.sh runs it pinned and unpinned, one or more copies at once).
// Makes COUNT requests (default 2000) in batches of 100 (each SetEvent is one request under
// Wine) and prints the median batch's time per request in microseconds, e.g. "41.7".
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

#include "common/ScopedWin.h"

int wmain(int argc, wchar_t** argv) {
    const int count = argc > 1 ? _wtoi(argv[1]) : 2000;
    const int batch = 100;
    if (count < batch) {
        fprintf(stderr, "usage: tollamy-roundtrip [COUNT of at least %d]\n", batch);
        return 2;
    }
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid()) {
        return 1;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> perRequest;
    for (int done = 0; done + batch <= count; done += batch) {
        LARGE_INTEGER t0;
        LARGE_INTEGER t1;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < batch; ++i) {
            SetEvent(event.Get());
        }
        QueryPerformanceCounter(&t1);
        perRequest.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 /
                             static_cast<double>(frequency.QuadPart) / batch);
    }
    std::sort(perRequest.begin(), perRequest.end());
    printf("%.1f\n", perRequest[perRequest.size() / 2]);
    return 0;
}

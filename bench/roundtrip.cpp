// tollamy-roundtrip [COUNT [THREADS]]: the cost of one request to the Wine server, for choosing
// the pinning (scripts/common.sh runs it pinned and unpinned). Each of THREADS threads (default
// 1) makes COUNT requests (default 2000) at once with the others, in batches of 100 (under
// Wine each SetEvent is one request); the program prints the mean over the threads of the
// median batch's time per request in microseconds, e.g. "41.7".
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

#include "common/ScopedWin.h"

namespace {

const int kBatch = 100;

struct Run {
    int count = 0;
    double medianUs = 0;
};

DWORD WINAPI Requests(void* parameter) {
    Run* run = static_cast<Run*>(parameter);
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid()) {
        return 1;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> perRequest;
    for (int done = 0; done + kBatch <= run->count; done += kBatch) {
        LARGE_INTEGER t0;
        LARGE_INTEGER t1;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < kBatch; ++i) {
            SetEvent(event.Get());
        }
        QueryPerformanceCounter(&t1);
        perRequest.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 /
                             static_cast<double>(frequency.QuadPart) / kBatch);
    }
    std::sort(perRequest.begin(), perRequest.end());
    run->medianUs = perRequest[perRequest.size() / 2];
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = argc > 1 ? _wtoi(argv[1]) : 2000;
    const int threads = argc > 2 ? _wtoi(argv[2]) : 1;
    if (count < kBatch || threads < 1 || threads > 64) {
        fprintf(stderr, "usage: tollamy-roundtrip [COUNT of at least %d [THREADS, 1 to 64]]\n",
                kBatch);
        return 2;
    }
    std::vector<Run> runs(static_cast<size_t>(threads));
    std::vector<HANDLE> started;
    for (Run& run : runs) {
        run.count = count;
        HANDLE thread = CreateThread(nullptr, 0, Requests, &run, 0, nullptr);
        if (thread == nullptr) {
            return 1;
        }
        started.push_back(thread);
    }
    WaitForMultipleObjects(static_cast<DWORD>(started.size()), started.data(), TRUE, INFINITE);
    double sum = 0;
    for (size_t i = 0; i < started.size(); ++i) {
        DWORD code = 1;
        GetExitCodeThread(started[i], &code);
        CloseHandle(started[i]);
        if (code != 0) {
            return 1;
        }
        sum += runs[i].medianUs;
    }
    printf("%.1f\n", sum / threads);
    return 0;
}

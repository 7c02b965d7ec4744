// The fuzz targets' scratch folder: one per process, in /dev/shm when there is one, so that
// the many small files cost no disk writes.
#pragma once

#include <stdlib.h>
#include <string>
#include <unistd.h>

inline const std::string& FuzzFolder() {
    static const std::string folder = [] {
        std::string pattern =
            std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/deck-fuzz-XXXXXX";
        char* made = mkdtemp(pattern.data());
        std::string path = made != nullptr ? made : "/tmp";
        static std::string removeAtExit;
        removeAtExit = path;
        atexit([] {
            std::string command = "rm -rf '" + removeAtExit + "'";
            if (system(command.c_str()) != 0) {
                removeAtExit.clear();
            }
        });
        return path;
    }();
    return folder;
}

inline void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f != nullptr) {
        fwrite(data, 1, size, f);
        fclose(f);
    }
}

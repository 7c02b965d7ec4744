#include "deck/tests/deck_support.h"

#include "deck/cli/commandline.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace decktest {

TempDir::TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/deck-test-XXXXXX";
    char* made = mkdtemp(pattern.data());
    path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        chmod(path_.c_str(), 0755);
        std::string command = "rm -rf '" + path_ + "'";
        if (system(command.c_str()) != 0) {
            fprintf(stderr, "could not remove %s\n", path_.c_str());
        }
    }
}

std::vector<std::string> TempDir::Names() const {
    return NamesIn(path_);
}

std::vector<std::string> TempDir::NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

long long MTimeNs(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string Utf16(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        int n;
        if (c < 0x80) {
            cp = c, n = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F, n = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F, n = 3;
        } else {
            cp = c & 0x07, n = 4;
        }
        for (int k = 1; k < n; ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += n;
        auto unit = [&](uint32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::string Deck(const std::vector<std::pair<std::string, std::string>>& cards) {
    std::string out = "\xFF\xFE";
    for (const auto& [q, a] : cards) {
        out += Utf16(q + "\t" + a + "\r\n");
    }
    return out;
}

Run Tool(const std::vector<std::string>& args) {
    std::vector<std::string> all{"tollamy-deck"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE* out = open_memstream(&outText, &outSize);
    FILE* err = open_memstream(&errText, &errSize);
    Run run;
    run.status = deck::cli::RunCommandLine(static_cast<int>(all.size()), argv.data(), out, err);
    fclose(out);
    fclose(err);
    run.out.assign(outText, outSize);
    run.err.assign(errText, errSize);
    free(outText);
    free(errText);
    return run;
}

Run ImportBytes(const std::string& input, const std::string& bytes, const std::string& output,
                const std::vector<std::string>& options) {
    WriteBytes(input, bytes);
    std::vector<std::string> args{"import", input, "-o", output, "--force"};
    args.insert(args.end(), options.begin(), options.end());
    return Tool(args);
}

} // namespace decktest

#include "deck/tests/deck_support.h"

#include "deck/base/process.h"
#include "deck/cli/commandline.h"

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

namespace decktest {

namespace fs = std::filesystem;

TempDir::TempDir() {
    // $TMPDIR (else /tmp) on POSIX, as the tool's own; on Windows the user's temporary folder.
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        fs::path made = base / ("deck-test-" + std::to_string(random() % 1000000));
        if (fs::create_directory(made, ec)) {
            path_ = made.u8string();
        }
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::permissions(fs::u8path(path_), fs::perms::owner_all, fs::perm_options::add, ec);
        if (fs::remove_all(fs::u8path(path_), ec) == static_cast<std::uintmax_t>(-1) || ec) {
            fprintf(stderr, "could not remove %s\n", path_.c_str());
        }
    }
}

std::vector<std::string> TempDir::Names() const {
    return NamesIn(path_);
}

std::vector<std::string> TempDir::NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        names.push_back(it->path().filename().u8string());
    }
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
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directories(fs::u8path(path), ec);
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

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += text;
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
    deck::Capture out, err;
    Run run;
    run.status = deck::cli::RunCommandLine(static_cast<int>(all.size()), argv.data(), out.File(),
                                           err.File());
    run.out = out.Text();
    run.err = err.Text();
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

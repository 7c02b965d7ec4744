// tollamy-surface: writes what is made from a declared surface, at build time.
//   tollamy-surface KIND SOURCE OUTPUT
// KIND is help, man, markdown or completion; SOURCE is tollamy-deck (its declaration, compiled
// in) or a file in the line format of surface/read.cpp (the launcher's, printed by
// scripts/launcher-options.sh); OUTPUT is a file, written whole or not at all, or - .
#include "deck/cli/options.h"
#include "deck/surface/surface.h"

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>

namespace {

bool ReadAll(const char* path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    *text = bytes.str();
    return static_cast<bool>(in);
}

bool WriteAll(const std::string& path, const std::string& text) {
    if (path == "-") {
        return fwrite(text.data(), 1, text.size(), stdout) == text.size() && fflush(stdout) == 0;
    }
    std::string temp = path + ".new";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out && rename(temp.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: tollamy-surface help|man|markdown|completion "
                        "tollamy-deck|FILE OUTPUT\n");
        return 2;
    }
    deck::cli::Arguments unused;
    surface::Surface s;
    if (strcmp(argv[2], "tollamy-deck") == 0) {
        s = deck::cli::DeckSurface(unused);
    } else {
        std::string text, error;
        if (!ReadAll(argv[2], &text) || !surface::ReadSurface(text, &s, &error)) {
            fprintf(stderr, "tollamy-surface: %s: %s\n", argv[2],
                    error.empty() ? "cannot be read" : error.c_str());
            return 1;
        }
        s.version = TOLLAMY_VERSION;
        s.date = TOLLAMY_MANUAL_DATE;
    }
    const std::string kind = argv[1];
    std::string made = kind == "help"         ? surface::RenderHelp(s)
                       : kind == "man"        ? surface::RenderMan(s)
                       : kind == "markdown"   ? surface::RenderMarkdown(s)
                       : kind == "completion" ? surface::RenderCompletion(s)
                                              : std::string();
    if (made.empty()) {
        fprintf(stderr, "tollamy-surface: unknown kind '%s'\n", argv[1]);
        return 2;
    }
    if (!WriteAll(argv[3], made)) {
        fprintf(stderr, "tollamy-surface: %s cannot be written\n", argv[3]);
        return 1;
    }
    return 0;
}

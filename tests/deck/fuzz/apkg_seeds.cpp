// Writes the seed corpus of the package fuzz target into the folder given as the argument:
// each test package whole (first byte 0), and its collection as SQLite bytes for the stored
// (1) and the Zstandard (2) forms of the target.
#include "tests/deck/apkg_builder.h"

#include <cstdio>
#include <string>

using namespace apkg_test;

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    int failures = 0;
    const char* names[] = {"anki2", "anki21", "anki21b"};
    int i = 0;
    for (Format format : {Format::kAnki2, Format::kAnki21, Format::kAnki21b}) {
        PackageSpec spec = SamplePackage(format);
        std::string path = dir + "/package-" + names[i] + ".apkg";
        std::string error = BuildPackage(spec, path);
        std::string bytes = ReadFile(path);
        remove(path.c_str());
        failures += !error.empty() || bytes.empty();
        failures += !WriteFile(dir + "/seed-package-" + names[i], std::string(1, '\0') + bytes);
        std::string collection = CollectionBytes(spec);
        failures += collection.empty();
        char mode = format == Format::kAnki21b ? '\2' : '\1';
        failures +=
            !WriteFile(dir + "/seed-collection-" + names[i], std::string(1, mode) + collection);
        ++i;
    }
    return failures ? 1 : 0;
}

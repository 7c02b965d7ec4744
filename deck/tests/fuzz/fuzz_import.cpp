// libFuzzer target: import of hostile input in every format. The first byte picks the format
// and the options; the rest is the file.
#include "deck/anki/packageimport.h"
#include "deck/text/import.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static const char* kFormats[] = {"auto", "anki", "csv", "tsv", "text", "deck", "auto", "auto"};
    deck::ImportOptions options;
    options.input = FuzzFolder() + "/input.txt";
    options.output = FuzzFolder() + "/deck.txt";
    options.force = true;
    options.format = kFormats[data[0] & 7];
    if (data[0] & 8) {
        options.fieldSeparator = ",";
        options.cardSeparator = ";";
    }
    if (data[0] & 16) {
        options.swap = true;
    }
    if (data[0] & 32) {
        options.question = 3;
        options.answer = 1;
    }
    if (data[0] & 64) {
        options.encoding = (data[0] & 128) ? "SHIFT_JIS" : "UTF-16BE";
    }
    WriteInput(options.input, data + 1, size - 1);
    if (deck::anki::ImportsPackage(options)) {
        deck::anki::RunPackageImport(options, nullptr, true);
    } else {
        deck::text::RunTextImport(options, nullptr, true);
    }
    return 0;
}

// libFuzzer target: check and export of a hostile deck. Most inputs get the FF FE mark put in
// front, so that the fuzzer spends its time in the card rules rather than at the mark.
#include "deck/check/check.h"
#include "fuzz_support.h"

#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = FuzzFolder() + "/deck.txt";
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[0] != 0xFF) {
        bytes = "\xFF\xFE" + bytes;
    }
    WriteInput(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    deck::check::CheckOptions check;
    check.deck = path;
    check.strict = size > 0 && (data[0] & 1) != 0;
    deck::check::RunCheck(check, nullptr, nullptr, true);
    deck::check::ExportOptions exp;
    exp.deck = path;
    exp.output = FuzzFolder() + "/anki.txt";
    exp.force = true;
    deck::check::RunExport(exp, nullptr, true);
    return 0;
}

// The decoders: an encoding's bytes to code points, one step of glibc's two-step conversion
// (the encoding to UCS-4, then UCS-4 to UTF-8; iconv.cpp drives both). Each decoder keeps
// glibc's rules: which bytes begin a sequence, when a sequence is incomplete rather than
// invalid, what the state holds, and that every character needs room before it is read.
#pragma once

#include "deck/charset/tables.h"

#include <stdint.h>

namespace deck::charset {

enum class Status {
    kEmptyInput,      // all of the input is converted
    kFullOutput,      // no room for the next character
    kIllegalInput,    // *in is the start of an invalid sequence
    kIncompleteInput, // *in starts a sequence that the end of the input cuts
};

// What a conversion keeps between calls. A reset returns it to its start, save bigEndian.
struct State {
    uint32_t held = 0;       // kComposing: the character held back for a mark, 0 for none
    uint8_t set = 0;         // ISO-2022: the set in use (iso2022.cpp)
    uint8_t designated = 0;  // ISO-2022-CN: the set designated to G1, which SO takes up
    bool bomChecked = false; // UTF-16, UTF-32, UNICODE: the start has been looked at
    // UTF-16, UTF-32, UNICODE: the byte order of the last byte-order mark (little-endian
    // until one comes); as in glibc, a reset keeps it.
    bool bigEndian = false;
};

// Decodes from in up to end into out up to outEnd, advancing both.
Status Decode(const Encoding& encoding, State& state, const uint8_t*& in, const uint8_t* end,
              uint32_t*& out, uint32_t* outEnd);

// Writes what the state holds back (a composing encoding's character) and returns the state to
// its start; kFullOutput, with the state as it was, when there is no room.
Status Flush(const Encoding& encoding, State& state, uint32_t*& out, uint32_t* outEnd);

// The ISO-2022 decoders (iso2022.cpp).
Status DecodeIso2022Jp(State& state, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd);
Status DecodeIso2022Kr(State& state, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd);
Status DecodeIso2022Cn(State& state, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd);

} // namespace deck::charset

// A small walker over protobuf messages, for the configs of the newer collections' note types,
// templates and decks (no schema for Anki's protobuf messages is packaged in Debian, and only a
// few fields are needed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace deck::anki {

// Calls `field` for each top-level field of a protobuf message: its number, and either its
// varint value (wire type 0) or its bytes (wire type 2). Returns 0 when the bytes are malformed.
struct ProtoField {
    uint64_t number = 0;
    int wire = 0;
    uint64_t value = 0;
    const unsigned char* bytes = nullptr;
    size_t size = 0;
};
int ScanProto(const unsigned char* message, size_t size,
              const std::function<void(const ProtoField&)>& field);

// The bytes of string field `number` of a message, or "".
std::string ProtoText(const void* message, int size, uint64_t number);

// The kind (field 1, a varint) of a notetypes.config protobuf: 0 normal, 1 cloze. Returns 0
// when the field is absent or the bytes are malformed.
int NotetypeKind(const unsigned char* config, size_t size);

} // namespace deck::anki

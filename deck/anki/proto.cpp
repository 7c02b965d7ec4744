// The protobuf walker.
#include "deck/anki/proto.h"

namespace deck::anki {

int ScanProto(const unsigned char* message, size_t size,
              const std::function<void(const ProtoField&)>& field) {
    size_t pos = 0;
    auto varint = [&](uint64_t* value) {
        *value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos >= size) {
                return 0;
            }
            unsigned char byte = message[pos++];
            *value |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                return 1;
            }
        }
        return 0;
    };
    while (pos < size) {
        uint64_t key = 0;
        ProtoField found;
        if (!varint(&key)) {
            return 0;
        }
        found.number = key >> 3;
        found.wire = static_cast<int>(key & 7);
        switch (found.wire) {
        case 0:
            if (!varint(&found.value)) {
                return 0;
            }
            break;
        case 1:   // fixed64
        case 5: { // fixed32
            const size_t fixed = found.wire == 1 ? 8 : 4;
            if (size - pos < fixed) {
                return 0;
            }
            pos += fixed;
            continue;
        }
        case 2:
            if (!varint(&found.value) || found.value > size - pos) {
                return 0;
            }
            found.bytes = message + pos;
            found.size = static_cast<size_t>(found.value);
            pos += found.size;
            break;
        default:
            return 0;
        }
        field(found);
    }
    return 1;
}

std::string ProtoText(const void* message, int size, uint64_t number) {
    std::string text;
    ScanProto(static_cast<const unsigned char*>(message), size > 0 ? static_cast<size_t>(size) : 0,
              [&](const ProtoField& field) {
                  if (field.number == number && field.wire == 2) {
                      text.assign(reinterpret_cast<const char*>(field.bytes), field.size);
                  }
              });
    return text;
}

int NotetypeKind(const unsigned char* config, size_t size) {
    int kind = -1;
    int ok = ScanProto(config, size, [&](const ProtoField& field) {
        if (field.number == 1 && field.wire == 0 && kind < 0) {
            kind = field.value == 1 ? 1 : 0;
        }
    });
    // The first field 1 decides; malformed bytes after it do not matter.
    (void)ok;
    return kind == 1 ? 1 : 0;
}

} // namespace deck::anki

#include "application_segments.h"

#include <algorithm>
#include <cstring>

namespace Tessera {

namespace {

bool StartsWith(std::span<const std::uint8_t> payload, const char* identifier, std::size_t length) {
    return payload.size() >= length && std::memcmp(payload.data(), identifier, length) == 0;
}

// A TIFF structure's numbers, in the byte order its header names.
class TiffReader {
  public:
    TiffReader(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes(bytes), bigEndian(bigEndian) {}
    bool Has(std::size_t at, std::size_t count) const {
        return at <= bytes.size() && count <= bytes.size() - at;
    }
    std::uint32_t Read(std::size_t at, int count) const {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t byte = bytes[at + (bigEndian ? i : count - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

  private:
    std::span<const std::uint8_t> bytes;
    bool bigEndian;
};

constexpr std::size_t kExifIdentifierBytes = 6;  // "Exif\0\0"
constexpr std::size_t kIccIdentifierBytes = 12;  // "ICC_PROFILE\0"
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr std::size_t kDirectoryEntryBytes = 12;
constexpr unsigned kLastOrientation = 8;

}  // namespace

bool IsJfifSegment(std::span<const std::uint8_t> payload) {
    return StartsWith(payload, "JFIF\0", 5);
}

bool IsIccProfileSegment(std::span<const std::uint8_t> payload) {
    return StartsWith(payload, "ICC_PROFILE\0", kIccIdentifierBytes);
}

IccChunk IccChunkOf(std::span<const std::uint8_t> payload) {
    IccChunk chunk;
    if (payload.size() < kIccIdentifierBytes + 2) return chunk;
    chunk.sequence = payload[kIccIdentifierBytes];
    chunk.count = payload[kIccIdentifierBytes + 1];
    chunk.bytes.assign(payload.begin() + kIccIdentifierBytes + 2, payload.end());
    return chunk;
}

IccProfileAssembly AssembleIccProfile(std::span<const IccChunk> chunks) {
    IccProfileAssembly result;
    if (chunks.empty()) return result;
    const unsigned count = chunks.front().count;
    // Where each chunk of the sequence lies among the segments.
    std::vector<const IccChunk*> inOrder(count, nullptr);
    for (const IccChunk& chunk : chunks) {
        const std::string name =
            "chunk " + std::to_string(chunk.sequence) + " of " + std::to_string(chunk.count);
        if (chunk.count != count) {
            result.damage = name + " disagrees with the count " + std::to_string(count);
        } else if (chunk.sequence == 0 || chunk.sequence > count) {
            result.damage = name + " lies outside the sequence";
        } else if (inOrder[chunk.sequence - 1] != nullptr) {
            result.damage = name + " is repeated";
        } else {
            inOrder[chunk.sequence - 1] = &chunk;
            continue;
        }
        return result;
    }
    std::size_t bytes = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (inOrder[i] == nullptr) {
            result.damage =
                "chunk " + std::to_string(i + 1) + " of " + std::to_string(count) + " is missing";
            return result;
        }
        bytes += inOrder[i]->bytes.size();
    }
    result.profile.reserve(bytes);
    for (const IccChunk* chunk : inOrder)
        result.profile.insert(result.profile.end(), chunk->bytes.begin(), chunk->bytes.end());
    return result;
}

int AdobeTransform(std::span<const std::uint8_t> payload) {
    // "Adobe", version (2), flags 0 (2), flags 1 (2), transform (1).
    constexpr std::size_t kTransformAt = 11;
    if (!StartsWith(payload, "Adobe", 5) || payload.size() <= kTransformAt) return -1;
    return payload[kTransformAt];
}

unsigned ExifOrientation(std::span<const std::uint8_t> payload) {
    if (!StartsWith(payload, "Exif\0\0", kExifIdentifierBytes)) return 0;
    const std::span<const std::uint8_t> tiff = payload.subspan(kExifIdentifierBytes);
    // "II" (little-endian) or "MM" (big-endian), 42, the first directory's offset.
    if (tiff.size() < 8) return 0;
    const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return 0;
    const TiffReader reader(tiff, bigEndian);
    if (reader.Read(2, 2) != 42) return 0;
    const std::size_t directory = reader.Read(4, 4);
    if (!reader.Has(directory, 2)) return 0;
    const std::size_t entries = reader.Read(directory, 2);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + i * kDirectoryEntryBytes;
        if (!reader.Has(entry, kDirectoryEntryBytes)) return 0;
        if (reader.Read(entry, 2) != kOrientationTag) continue;
        if (reader.Read(entry + 2, 2) != kShortType || reader.Read(entry + 4, 4) != 1) return 0;
        const unsigned orientation =
            reader.Read(entry + 8, 2);  // a SHORT sits at the value's start
        return orientation >= 1 && orientation <= kLastOrientation ? orientation : 0;
    }
    return 0;
}

}  // namespace Tessera

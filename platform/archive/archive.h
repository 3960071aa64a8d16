#pragma once
// The object archive: a little-endian byte stream of 32-bit numbers, length-prefixed texts and
// tagged object references, the format the designer's clipboard carries.
//
// Texts: length below 255 as one byte; below 0xFFFE as 0xFF then a 16-bit length; otherwise 0xFF,
// 0xFFFF, then a 32-bit length; then the bytes, no terminator.
// Object references: 16-bit 0 for null; the first object of a class as 0xFFFF, 16-bit schema,
// 16-bit name length and the name; later objects of that class as 0x8000 | class index. Indices
// count from 1 over classes and objects in the order they first appear.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Malformed archive data. The reader throws it; nothing it read before is kept by the callers.
class CArchiveException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CArchiveWriter {
public:
    void WriteUInt16(uint16_t value);
    void WriteInt32(int32_t value);
    void WriteString(std::string_view text);

    // A null object reference.
    void WriteNullObject();
    // The reference tag of a new object of the class; the caller then writes the object's fields.
    void BeginObject(std::string_view className, uint16_t schema);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> TakeBytes() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
    std::map<std::string, uint32_t, std::less<>> m_classIndex;
    uint32_t m_nextIndex = 1;
};

// A class the reader accepts in an object reference.
struct CArchiveClass {
    std::string_view name;
    uint16_t schema;
};

class CArchiveReader {
public:
    // The reader keeps a view of data; the caller keeps data alive while reading.
    explicit CArchiveReader(std::span<const uint8_t> data) : m_data(data) {}

    // Each read throws CArchiveException when the data ends early or is malformed. A text is
    // never allocated beyond the bytes that remain.
    uint16_t ReadUInt16();
    int32_t ReadInt32();
    std::string ReadString();

    // Reads an object reference. Returns false for a null reference; true for an object whose
    // class is one of known, setting className to it. Unknown classes or schemas, back
    // references to earlier objects and the long index form throw.
    bool ReadObjectTag(std::span<const CArchiveClass> known, std::string& className);

    size_t Remaining() const { return m_data.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const uint8_t* Take(size_t count);

    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    // Class names by their index; object indices are counted but never resolved.
    std::map<uint32_t, std::string> m_classes;
    uint32_t m_nextIndex = 1;
};

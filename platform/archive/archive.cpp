#include "platform/archive/archive.h"

#include <algorithm>

namespace {
constexpr uint16_t kNullTag = 0;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kBigIndexTag = 0x7FFF;
constexpr uint16_t kClassTagBit = 0x8000;
constexpr uint32_t kMaxShortIndex = 0x7FFE;
} // namespace

void CArchiveWriter::WriteUInt16(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void CArchiveWriter::WriteInt32(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        m_bytes.push_back(static_cast<uint8_t>((u >> shift) & 0xFF));
}

void CArchiveWriter::WriteString(std::string_view text) {
    const size_t n = text.size();
    if (n < 0xFF) {
        m_bytes.push_back(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        m_bytes.push_back(0xFF);
        WriteUInt16(static_cast<uint16_t>(n));
    } else {
        if (n > 0xFFFFFFFFu)
            throw std::length_error("archive text longer than 4 GB");
        m_bytes.push_back(0xFF);
        WriteUInt16(0xFFFF);
        WriteInt32(static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

void CArchiveWriter::WriteNullObject() {
    WriteUInt16(kNullTag);
}

void CArchiveWriter::BeginObject(std::string_view className, uint16_t schema) {
    const auto it = m_classIndex.find(className);
    if (it == m_classIndex.end()) {
        if (className.size() > 0xFFFF)
            throw std::length_error("archive class name too long");
        WriteUInt16(kNewClassTag);
        WriteUInt16(schema);
        WriteUInt16(static_cast<uint16_t>(className.size()));
        m_bytes.insert(m_bytes.end(), className.begin(), className.end());
        m_classIndex.emplace(std::string(className), m_nextIndex++);
    } else {
        if (it->second > kMaxShortIndex)
            throw std::length_error("archive holds too many objects");
        WriteUInt16(static_cast<uint16_t>(kClassTagBit | it->second));
    }
    ++m_nextIndex; // the object itself
}

const uint8_t* CArchiveReader::Take(size_t count) {
    if (count > Remaining())
        throw CArchiveException("archive ends early");
    const uint8_t* p = m_data.data() + m_pos;
    m_pos += count;
    return p;
}

uint16_t CArchiveReader::ReadUInt16() {
    const uint8_t* p = Take(2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

int32_t CArchiveReader::ReadInt32() {
    const uint8_t* p = Take(4);
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(u);
}

std::string CArchiveReader::ReadString() {
    size_t n = *Take(1);
    if (n == 0xFF) {
        n = ReadUInt16();
        if (n == 0xFFFE)
            throw CArchiveException("archive text in an unsupported character set");
        if (n == 0xFFFF)
            n = static_cast<uint32_t>(ReadInt32());
    }
    if (n > Remaining())
        throw CArchiveException("archive text longer than the data that remains");
    const uint8_t* p = Take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
}

bool CArchiveReader::ReadObjectTag(std::span<const CArchiveClass> known, std::string& className) {
    const uint16_t tag = ReadUInt16();
    if (tag == kNullTag)
        return false;
    if (tag == kBigIndexTag)
        throw CArchiveException("archive uses the long object index form");
    if (tag == kNewClassTag) {
        const uint16_t schema = ReadUInt16();
        const uint16_t len = ReadUInt16();
        const uint8_t* p = Take(len);
        std::string name(reinterpret_cast<const char*>(p), len);
        const auto it = std::find_if(known.begin(), known.end(),
                                     [&](const CArchiveClass& c) { return c.name == name; });
        if (it == known.end())
            throw CArchiveException("archive names an unknown class");
        if (it->schema != schema)
            throw CArchiveException("archive holds a class of another schema");
        if (m_nextIndex > kMaxShortIndex)
            throw CArchiveException("archive holds too many objects");
        m_classes.emplace(m_nextIndex++, name);
        ++m_nextIndex;
        className = std::move(name);
        return true;
    }
    if ((tag & kClassTagBit) == 0)
        throw CArchiveException("archive refers back to an earlier object");
    const auto it = m_classes.find(tag & ~kClassTagBit);
    if (it == m_classes.end())
        throw CArchiveException("archive refers to a class it never named");
    if (m_nextIndex > kMaxShortIndex)
        throw CArchiveException("archive holds too many objects");
    ++m_nextIndex;
    className = it->second;
    return true;
}

#include "platform/archive/archive.h"

#include <gtest/gtest.h>

namespace {
const CArchiveClass kClasses[] = {{"CThing", 1}, {"COther", 2}};

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}
} // namespace

TEST(Archive, TextLengthFormsRoundTrip) {
    struct Case {
        size_t length;
        size_t prefix;
    };
    for (const Case c : {Case{0, 1}, Case{254, 1}, Case{255, 3}, Case{0xFFFD, 3}, Case{0xFFFE, 7},
                         Case{70000, 7}}) {
        CArchiveWriter w;
        const std::string text(c.length, 'x');
        w.WriteString(text);
        ASSERT_EQ(w.Bytes().size(), c.prefix + c.length) << c.length;
        CArchiveReader r(w.Bytes());
        EXPECT_EQ(r.ReadString(), text);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(Archive, NumbersAreLittleEndian) {
    CArchiveWriter w;
    w.WriteInt32(0x01020304);
    w.WriteInt32(-1);
    w.WriteUInt16(0xABCD);
    EXPECT_EQ(w.Bytes(), Bytes({4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xCD, 0xAB}));
    CArchiveReader r(w.Bytes());
    EXPECT_EQ(r.ReadInt32(), 0x01020304);
    EXPECT_EQ(r.ReadInt32(), -1);
    EXPECT_EQ(r.ReadUInt16(), 0xABCD);
}

TEST(Archive, ObjectTagsCountClassesAndObjects) {
    CArchiveWriter w;
    w.BeginObject("CThing", 1); // class 1, object 2
    w.BeginObject("CThing", 1); // object 3
    w.BeginObject("COther", 2); // class 4, object 5
    w.BeginObject("COther", 2);
    w.WriteNullObject();
    const auto& b = w.Bytes();
    const std::vector<uint8_t> expected = {0xFF, 0xFF, 1, 0, 6, 0, 'C', 'T', 'h', 'i', 'n', 'g',
                                           0x01, 0x80, 0xFF, 0xFF, 2, 0, 6, 0, 'C', 'O', 't', 'h',
                                           'e', 'r', 0x04, 0x80, 0, 0};
    EXPECT_EQ(b, expected);

    CArchiveReader r(b);
    std::string name;
    for (const char* want : {"CThing", "CThing", "COther", "COther"}) {
        ASSERT_TRUE(r.ReadObjectTag(kClasses, name));
        EXPECT_EQ(name, want);
    }
    EXPECT_FALSE(r.ReadObjectTag(kClasses, name));
    EXPECT_TRUE(r.AtEnd());
}

TEST(Archive, MalformedDataIsAnError) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool tag; // read an object tag rather than a text
    };
    const Case cases[] = {
        {"empty", {}, false},
        {"truncated text", Bytes({5, 'a', 'b'}), false},
        {"forged 4 GB length", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}), false},
        {"wide-character marker", Bytes({0xFF, 0xFE, 0xFF, 0}), false},
        {"truncated 16-bit length", Bytes({0xFF, 0x10}), false},
        {"unknown class", Bytes({0xFF, 0xFF, 1, 0, 3, 0, 'C', 'X', 'Y'}), true},
        {"wrong schema", Bytes({0xFF, 0xFF, 9, 0, 6, 0, 'C', 'T', 'h', 'i', 'n', 'g'}), true},
        {"class name past the end", Bytes({0xFF, 0xFF, 1, 0, 200, 0, 'C'}), true},
        {"class never named", Bytes({0x01, 0x80}), true},
        {"back reference", Bytes({0x02, 0x00}), true},
        {"long index form", Bytes({0xFF, 0x7F, 1, 0, 0, 0}), true},
        {"lone byte", Bytes({0x01}), true},
    };
    for (const Case& c : cases) {
        CArchiveReader r(c.bytes);
        std::string name;
        if (c.tag)
            EXPECT_THROW(r.ReadObjectTag(kClasses, name), CArchiveException) << c.what;
        else
            EXPECT_THROW(r.ReadString(), CArchiveException) << c.what;
    }
}

TEST(Archive, ObjectIndexOfAnotherObjectIsNotAClass) {
    // 0x8002 names object 2, not a class: the reader must refuse it.
    CArchiveWriter w;
    w.BeginObject("CThing", 1);
    w.WriteUInt16(0x8002);
    CArchiveReader r(w.Bytes());
    std::string name;
    ASSERT_TRUE(r.ReadObjectTag(kClasses, name));
    EXPECT_THROW(r.ReadObjectTag(kClasses, name), CArchiveException);
}

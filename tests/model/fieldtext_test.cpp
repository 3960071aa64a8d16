#include "component/model/fieldtext.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

TEST(FieldText, EscapeAndUnescapeLineBreaksAndCommas) {
    struct Case {
        const char* text;
        const char* escaped;
        const char* readBack;
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"a,b", "a~@^`b", "a,b"},
        {"two\r\nlines", "two|_#`lines", "two\r\nlines"},
        {"lone\rcr", "lone|_#`cr", "lone\r\ncr"},
        {"lone\nlf", "lone|_#`lf", "lone\r\nlf"},
        {"\r\n\r,\n", "|_#`|_#`~@^`|_#`", "\r\n\r\n,\r\n"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeField(c.text), c.escaped) << c.text;
        EXPECT_EQ(UnescapeField(EscapeField(c.text)), c.readBack) << c.text;
    }
    // The literal sequences in a text come back as what they stand for.
    EXPECT_EQ(UnescapeField("x~@^`y|_#`z"), "x,y\r\nz");
}

TEST(FieldText, SplitFieldsCountsAndFills) {
    struct Case {
        const char* value;
        size_t count;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,b,c", 3, {"a", "b", "c"}},
        {"a,b,c,", 4, {"a", "b", "c", ""}}, // trailing comma starts no piece
        {"a,,c", 3, {"a", "", "c"}},
        {"", 2, {"", ""}},
        {"a,b,c,d", 2, {"a", "b"}},
        {",", 2, {"", ""}},
        {"x~@^`y,z|_#`w", 2, {"x,y", "z\r\nw"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitFields(c.value, c.count, ','), c.pieces) << c.value;
    EXPECT_EQ(SplitFields("3-7", 2, '-'), (std::vector<std::string>{"3", "7"}));
}

TEST(FieldText, CutFieldsMatchesFieldByFieldReading) {
    const auto fields = CutFields("4,2,,-0,", ',');
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(FieldAt(fields, 0), "4");
    EXPECT_EQ(FieldAt(fields, 2), "");
    EXPECT_EQ(FieldAt(fields, 3), "-0");
    EXPECT_EQ(FieldAt(fields, 4), "");
    EXPECT_EQ(FieldAt(fields, 99), "");
    EXPECT_EQ(CutFields("", ',').size(), 1u);
}

TEST(FieldText, AtoIFollowsCRules) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"42", 42},
        {"  -7x", -7},
        {"+3", 3},
        {"", 0},
        {"abc", 0},
        {"\t\n12", 12},
        {"- 5", 0},
        {"00017", 17},
        {"2147483647", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999999999999", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AtoI(c.text), c.value) << c.text;
}

TEST(FieldText, HtmlAttributeEscape) {
    EXPECT_EQ(EscapeHtmlAttribute(R"(a"b<c>&d)"), "a&quot;b&lt;c&gt;&amp;d");
    EXPECT_EQ(EscapeHtmlAttribute("&amp;"), "&amp;amp;");
    EXPECT_EQ(EscapeHtmlAttribute("~@^`"), "~@^`");
}

TEST(FieldText, AppendingEscapesKeepsWhatWasThereAndCopiesTheRunsBetween) {
    // Replaced characters at either end, next to each other and alone; bytes above 0x7F and NUL
    // pass through.
    const struct {
        std::string text;
        std::string field;
        std::string html;
    } cases[] = {
        {"", "", ""},
        {",", "~@^`", ","},
        {">", ">", "&gt;"},
        {",a,", "~@^`a~@^`", ",a,"},
        {"\r\r\n\n", "|_#`|_#`|_#`", "\r\r\n\n"},
        {"a\r", "a|_#`", "a\r"},
        {"<&>\"", "<&>\"", "&lt;&amp;&gt;&quot;"},
        {std::string("x\0y\xC3\xA9,", 6), std::string("x\0y\xC3\xA9~@^`", 9),
         std::string("x\0y\xC3\xA9,", 6)},
        {"label, \"quoted\" & more\r\nline", "label~@^` \"quoted\" & more|_#`line",
         "label, &quot;quoted&quot; &amp; more\r\nline"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out = "kept,";
        AppendEscapedField(out, c.text);
        EXPECT_EQ(out, "kept," + c.field);
        EXPECT_EQ(EscapeField(c.text), c.field);
        out = "kept&";
        AppendHtmlAttribute(out, c.text);
        EXPECT_EQ(out, "kept&" + c.html);
        EXPECT_EQ(EscapeHtmlAttribute(c.text), c.html);
    }
}

TEST(FieldText, AppendDecimalWritesWhatToStringWrites) {
    for (const int64_t value :
         {int64_t{0}, int64_t{7}, int64_t{-7}, int64_t{1234567890123}, INT64_MIN, INT64_MAX}) {
        std::string out = "n=";
        AppendDecimal(out, value);
        EXPECT_EQ(out, "n=" + std::to_string(value));
    }
}

#include "platform/registry/hive.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

CHiveKey Parse(std::string_view text, CHiveParseError* errorOut = nullptr) {
    CHiveKey root("HKEY_CURRENT_USER");
    CHiveParseError error;
    const bool ok = ParseHiveText(text, root, error);
    if (errorOut != nullptr)
        *errorOut = error;
    EXPECT_TRUE(ok || errorOut != nullptr) << error.nLine << ": " << error.strMessage;
    return root;
}

} // namespace

TEST(HiveText, RejectsMalformedTextAtItsLine) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        int32_t line;
        const char* reason;
    };
    const std::string key = "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n";
    const Case cases[] = {
        {"", 1, "REGEDIT4"},
        {"Windows Registry Editor Version 5.00\n", 1, "REGEDIT4"},
        {"REGEDIT4\n\n\"a\"=\"b\"\n", 3, "before the first"},
        {key + "\"a\"=\"b\n", 3, "closing quote"},
        {key + "\"a\"=\"C:\\Temp\"\n", 3, "escape"},
        {key + "\"a\"=\"b\" x\n", 3, "after the closing quote"},
        {key + "\"a\"=dword:123456789\n", 3, "hexadecimal"},
        {key + "\"a\"=dword:12g4\n", 3, "hexadecimal"},
        {key + "\"a\"=dword:\n", 3, "hexadecimal"},
        {key + "\"a\"=hex:01,02\n", 3, "unsupported"},
        {key + "\"a\"=-\n", 3, "unsupported"},
        {key + "\"a\" \"b\"\n", 3, "'='"},
        {key + "@\n", 3, "'='"},
        {key + "name=\"x\"\n", 3, "expected a [key]"},
        {key + "\"a\"=\"x\ry\"\n", 3, "carriage return"},
        {key + "\n\n\"a\"=\"x\"\n\"b\"=\"\0\"\n"s, 6, "NUL"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A\n", 3, "end with ']'"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", 2, "not in HKEY_CURRENT_USER"},
        {"REGEDIT4\n[HKEY_CURRENT_USER_X\\A]\n", 2, "not in"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n", 2, "deletions"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", 2, "empty key name"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\]\n", 2, "empty key name"},
    };
    for (const Case& c : cases) {
        CHiveParseError error;
        CHiveKey root("HKEY_CURRENT_USER");
        root.SetValue(CHiveValue{"left", REG_SZ, "over", 0});
        EXPECT_FALSE(ParseHiveText(c.text, root, error)) << c.text;
        EXPECT_EQ(error.nLine, c.line) << c.text;
        EXPECT_NE(error.strMessage.find(c.reason), std::string::npos)
            << c.text << " -> " << error.strMessage;
        EXPECT_TRUE(root.Values().empty() && root.SubKeys().empty()) << "nothing half-read stays";
    }
}

TEST(HiveText, AcceptsHandWrittenAndWindowsMadeForms) {
    const std::string text = "\xEF\xBB\xBFREGEDIT4\r\n"
                             "; written by hand\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER]\r\n"
                             "@=\"root\"\r\n"
                             "  [hkey_current_user\\Software\\Tandrel]   \r\n"
                             "\"Count\" = DWORD:0000000A\r\n"
                             "\"\"=\"empty name is the default\"\r\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\tandrel\\Frame]\r\n"
                             "\"x\"=dword:1\r\n"
                             "[HKEY_CURRENT_USER\\software\\TANDREL]\r\n"
                             "\"COUNT\"=dword:0000000b\r\n";
    CHiveKey root = Parse(text);
    EXPECT_EQ(root.FindValue("")->m_strText, "root");
    const CHiveKey* software = root.FindSubKey("software");
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->Name(), "Software");
    const CHiveKey* tandrel = software->FindSubKey("Tandrel");
    ASSERT_NE(tandrel, nullptr);
    // A repeated section merges into the first; a repeated value replaces the data and keeps
    // the first spelling of its name.
    ASSERT_NE(tandrel->FindValue("count"), nullptr);
    EXPECT_EQ(tandrel->FindValue("count")->m_strName, "Count");
    EXPECT_EQ(tandrel->FindValue("count")->m_dwNumber, 11u);
    EXPECT_EQ(tandrel->FindValue("")->m_strText, "empty name is the default");
    ASSERT_NE(tandrel->FindSubKey("frame"), nullptr);
    EXPECT_EQ(tandrel->FindSubKey("frame")->FindValue("X")->m_dwNumber, 1u);

    EXPECT_EQ(FormatHiveText(root), "REGEDIT4\n\n"
                                    "[HKEY_CURRENT_USER]\n"
                                    "@=\"root\"\n\n"
                                    "[HKEY_CURRENT_USER\\Software]\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\Tandrel]\n"
                                    "@=\"empty name is the default\"\n"
                                    "\"Count\"=dword:0000000b\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\Tandrel\\Frame]\n"
                                    "\"x\"=dword:00000001\n\n");
}

TEST(HiveText, NestingDepthIsBounded) {
    auto chain = [](int depth) {
        std::string text = "REGEDIT4\n[HKEY_CURRENT_USER";
        for (int i = 0; i < depth; ++i)
            text += "\\k";
        return text + "]\n";
    };
    CHiveParseError error;
    CHiveKey deep = Parse(chain(kMaxRegistryKeyDepth), &error);
    EXPECT_EQ(error.nLine, 0);
    EXPECT_EQ(Parse(FormatHiveText(deep)), deep);

    Parse(chain(kMaxRegistryKeyDepth + 1), &error);
    EXPECT_EQ(error.nLine, 2);
    EXPECT_NE(error.strMessage.find("deeper"), std::string::npos);
}

// Mangled hive texts must never crash the parser, and whatever it accepts must survive a write
// and a re-read unchanged.
TEST(HiveText, AnyBytesParseSafelyAndAcceptedTextsRoundTrip) {
    const std::string seed = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n@=\"d\\\\e\\\"f\"\n"
                             "\"n\\n\"=dword:0000ffff\n[HKEY_CURRENT_USER\\A\\B]]\n"
                             "\"x\"=\"\xC3\xBC\\r\"\n; c\n";
    const char specials[] = {'[', ']', '\\', '"', '\n', '\r',   '=', '@',
                             ';', ':', '\0', ' ', 'd',  '\xFF', '-'};
    std::mt19937 rng(20240611);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text = seed;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % (text.size() + 1);
            const char c = rng() % 3 == 0 ? static_cast<char>(rng() & 0xFF)
                                          : specials[rng() % sizeof specials];
            switch (rng() % 3) {
            case 0:
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
                break;
            case 1:
                if (at < text.size())
                    text[at] = c;
                break;
            default:
                if (at < text.size())
                    text.erase(at, 1);
            }
        }
        CHiveKey root("HKEY_CURRENT_USER");
        CHiveParseError error;
        if (!ParseHiveText(text, root, error)) {
            EXPECT_GT(error.nLine, 0);
            continue;
        }
        ++accepted;
        const std::string written = FormatHiveText(root);
        CHiveKey again("HKEY_CURRENT_USER");
        ASSERT_TRUE(ParseHiveText(written, again, error))
            << error.nLine << ": " << error.strMessage << "\n"
            << written;
        ASSERT_EQ(again, root) << written;
        ASSERT_EQ(FormatHiveText(again), written);
    }
    EXPECT_GT(accepted, 1000) << "the mutations should leave many texts readable";
}

#include "component/model/widgetconfig.h"
#include "platform/file/fileexception.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// Readable failure output: texts with their line breaks shown.
void PrintTo(const CWidgetConfig& config, std::ostream* os) {
    auto show = [os](const std::string& text) {
        *os << '"';
        for (const char c : text.substr(0, 200)) {
            if (c == '\r')
                *os << "\\r";
            else if (c == '\n')
                *os << "\\n";
            else if (c == '\0')
                *os << "\\0";
            else
                *os << c;
        }
        *os << (text.size() > 200 ? "...\"" : "\"");
    };
    *os << "\n  descriptions:";
    for (const auto& [k, v] : config.GetDescriptions()) {
        *os << ' ';
        show(k);
        *os << '=';
        show(v);
    }
    *os << "\n  parameters:";
    for (const auto& [k, v] : config.GetParameters()) {
        *os << ' ';
        show(k);
        *os << '=';
        show(v);
    }
    *os << "\n  resources (" << config.GetResources().size() << "):";
    for (size_t i = 0; i < config.GetResources().size() && i < 8; ++i) {
        const CResourceEntry& e = config.GetResources()[i];
        *os << " [";
        show(e.m_strFileName);
        *os << ',';
        show(e.m_strLocalFolder);
        *os << ',';
        show(e.m_strWebPath);
        *os << ']';
    }
    *os << "\n  segments (" << config.GetSegments().size() << "):";
    for (size_t i = 0; i < config.GetSegments().size() && i < 8; ++i) {
        *os << " [";
        show(config.GetSegments()[i].m_strPosition);
        *os << ',';
        show(config.GetSegments()[i].m_strBody);
        *os << ']';
    }
    *os << '\n';
}

namespace {

const std::string kDB = "========== Description Part Begin ==========";
const std::string kDE = "========== Description Part End ==========";
const std::string kPB = "========== Parameter Part Begin ==========";
const std::string kPE = "========== Parameter Part End ==========";
const std::string kRB = "========== Resource Part Begin ==========";
const std::string kRE = "========== Resource Part End ==========";
const std::string kHB = "========== HTML Part Begin ==========";
const std::string kHE = "========== HTML Part End ==========";
const std::string kSE = "===== Segment End =====";

// The lines, each ended by CR LF.
std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append("\r\n");
    return text;
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "zephra-config-XXXXXX").string();
        path = ::mkdtemp(templ.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t EntriesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

class WidgetConfigTest : public ::testing::Test {
protected:
    // Writes text to a file and loads it into config.
    bool LoadText(CWidgetConfig& config, const std::string& text) {
        const std::string path = m_dir / "in.wgt";
        WriteBytes(path, text);
        return config.Load(path);
    }

    TempDir m_dir;
};

// The configuration a fresh widget is saved with.
CWidgetConfig DemoConfig() {
    CWidgetConfig c;
    c.SetDescription("Title", "Demo");
    c.SetDescription("ProgID", "PlaquetServer.Zephra");
    c.AddResource("zephracore.class", "C:\\Lib\\", "");
    c.AddSegment("cursor", "<p><applet code=\"zephracore.class\"></applet></p>\r\n");
    return c;
}

const std::string kDemoFile = "========== Description Part Begin ==========\r\n"
                              "ProgID = PlaquetServer.Zephra\r\n"
                              "Title = Demo\r\n"
                              "========== Description Part End ==========\r\n"
                              "\r\n"
                              "========== Parameter Part Begin ==========\r\n"
                              "========== Parameter Part End ==========\r\n"
                              "\r\n"
                              "========== Resource Part Begin ==========\r\n"
                              "Resource Number = 1\r\n"
                              "zephracore.class=C:\\Lib\\=\r\n"
                              "========== Resource Part End ==========\r\n"
                              "\r\n"
                              "========== HTML Part Begin ==========\r\n"
                              "Segment Number = 1\r\n"
                              "Segment Position = cursor\r\n"
                              "<p><applet code=\"zephracore.class\"></applet></p>\r\n"
                              "===== Segment End =====\r\n"
                              "========== HTML Part End ==========\r\n"
                              "\r\n";

} // namespace

TEST_F(WidgetConfigTest, SavesDemoWidgetByteForByteAndReadsItBack) {
    const CWidgetConfig demo = DemoConfig();
    const std::string path = m_dir / "demo.wgt";
    ASSERT_TRUE(demo.Save(path));
    EXPECT_EQ(ReadBytes(path), kDemoFile);

    CWidgetConfig loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(loaded, demo);
    EXPECT_EQ(EntriesIn(m_dir.path), 1u) << "no temporary file left behind";
}

TEST_F(WidgetConfigTest, RoundTripKeepsEverythingAndWritesStableBytes) {
    CWidgetConfig c;
    c.SetDescription("Title", "My menu");
    c.SetDescription("Description", "a=b, c = d");
    c.SetDescription("PreviewPath", "");
    c.SetDescription("LastUpdateTime", "36526.500000000");
    c.SetParameter("Version", "2.1");
    c.SetParameter("I0-1", "Home,http://h/?a=1&b=2,_top|_#`x~@^`y");
    c.SetParameter("Misc", "");
    c.AddResource("zephracore.class", "/opt/zephra/", "");
    c.AddResource("logo.gif", "/home/me/a=b/pics/", "images/");
    c.AddResource("", "", "");
    c.AddSegment("cursor", "<p>\r\n\r\n  <applet>\r\n</p>\r\n");
    c.AddSegment("style", "");
    c.AddSegment("script", "x\r\n");
    // Non-ASCII UTF-8 bytes travel unchanged.
    c.SetDescription("Title", "Men\xc3\xbc \xe2\x86\x92 Start");

    const std::string first = m_dir / "a.wgt";
    const std::string second = m_dir / "b.wgt";
    ASSERT_TRUE(c.Save(first));
    CWidgetConfig loaded;
    ASSERT_TRUE(loaded.Load(first));
    EXPECT_EQ(loaded, c);
    ASSERT_TRUE(loaded.Save(second));
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));

    // Reading the same file again merges nothing new.
    ASSERT_TRUE(loaded.Load(first));
    EXPECT_EQ(loaded, c);
}

TEST_F(WidgetConfigTest, ReadDescriptionKeysAreWrittenAndParameterLookupsAreNot) {
    CWidgetConfig c;
    EXPECT_EQ(c.GetDescription("BitmapFileName"), "");
    EXPECT_EQ(c.GetParameter("Misc", "none"), "none");
    EXPECT_TRUE(c.SetParameter("Version", "2.0"));
    EXPECT_TRUE(c.SetParameter("Version", "2.1"));
    EXPECT_EQ(c.GetParameter("Version", ""), "2.1");

    const std::string path = m_dir / "c.wgt";
    ASSERT_TRUE(c.Save(path));
    EXPECT_EQ(ReadBytes(path),
              Lines({kDB, "BitmapFileName = ", kDE, "", kPB, "Version = 2.1", kPE, "", kRB,
                     "Resource Number = 0", kRE, "", kHB, "Segment Number = 0", kHE, ""}));
}

TEST_F(WidgetConfigTest, ResourcesAreFoundByNameAndEditableInPlace) {
    CWidgetConfig c;
    ASSERT_TRUE(c.AddResource("a.gif", "/one/", "img/"));
    ASSERT_TRUE(c.AddResource("b.gif", "/one/", ""));
    ASSERT_TRUE(c.AddResource("a.gif", "/two/", ""));
    EXPECT_EQ(c.FindResource("a.gif"), 0);
    EXPECT_EQ(c.FindResource("b.gif"), 1);
    EXPECT_EQ(c.FindResource("A.GIF"), -1);
    EXPECT_EQ(c.FindResource(""), -1);

    for (CResourceEntry& e : c.GetResources())
        e.m_strLocalFolder = "/copied/";
    const std::string path = m_dir / "r.wgt";
    ASSERT_TRUE(c.Save(path));
    CWidgetConfig loaded;
    ASSERT_TRUE(loaded.Load(path));
    ASSERT_EQ(loaded.GetResources().size(), 3u);
    for (const CResourceEntry& e : loaded.GetResources())
        EXPECT_EQ(e.m_strLocalFolder, "/copied/");

    c.ClearResources();
    c.ClearSegments();
    c.ClearParameters();
    EXPECT_TRUE(c.GetResources().empty());
}

// Each case: what the configuration holds before, the file, and what changes on reading it.
TEST_F(WidgetConfigTest, LoadReadsEachLineAsTheFormatSays) {
    using Edit = std::function<void(CWidgetConfig&)>;
    struct Case {
        const char* name;
        Edit before;
        std::string file;
        Edit change;
    };
    const Edit nothing = [](CWidgetConfig&) {};
    const Edit populated = [](CWidgetConfig& c) {
        c.SetDescription("Title", "Old");
        c.SetDescription("Keep", "kept");
        c.SetParameter("P", "old");
        c.SetParameter("Q", "kept");
        c.AddResource("r0", "f0", "w0");
        c.AddResource("r1", "f1", "w1");
        c.AddResource("r2", "f2", "w2");
        c.AddSegment("cursor", "old\r\n");
    };

    const Case cases[] = {
        {"markers and count keys ignore letter case", nothing,
         Lines({"========== description PART begin ==========", "Title = T",
                "========== DESCRIPTION PART END ==========",
                "========== parameter part begin ==========", "P = 1",
                "========== parameter part end ==========",
                "========== resource part begin ==========", "  resource NUMBER  =  1", "a=b=c",
                "========== resource part end ==========", "========== html part begin ==========",
                "SEGMENT number=1", " segment position =  cursor ", "x",
                "===== segment END =====", "========== html part end =========="}),
         [](CWidgetConfig& c) {
             c.SetDescription("Title", "T");
             c.SetParameter("P", "1");
             c.AddResource("a", "b", "c");
             c.AddSegment("cursor", "x\r\n");
         }},
        {"a marker with a trailing space is no marker", nothing,
         Lines({kDB + " ", "Title = T", kDE, kPB, "P = 1", kPE}), nothing},
        {"keys and values are trimmed, '=' stays in values", nothing,
         Lines({kDB, "Title   =   My menu  ", "\tTab\t=\tv \f\v", "Eq = a=b", " = no key",
                "Empty =", "no equals sign", kDE}),
         [](CWidgetConfig& c) {
             c.SetDescription("Title", "My menu");
             c.SetDescription("Tab", "v");
             c.SetDescription("Eq", "a=b");
             c.SetDescription("", "no key");
             c.SetDescription("Empty", "");
         }},
        {"resource lines split at the first and last '='", nothing,
         Lines({kDB, kDE, kPB, kPE, kRB, "junk before the count", kRE, "Resource Number = 5",
                "no equals sign is skipped", "one.gif = /img/", " two.gif = /a=b/ = web/ ",
                "three.gif=/f/=http://h/?q=1", "==", "=x", kRE}),
         [](CWidgetConfig& c) {
             c.AddResource("one.gif", "/img/", "");
             c.AddResource("two.gif", "/a=b/", "web/");
             c.AddResource("three.gif", "/f/=http://h/?q", "1");
             c.AddResource("", "", "");
             c.AddResource("", "x", "");
         }},
        {"count 0 or no count keeps the lists", populated,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 0", "x=y=z", kRE, kHB,
                "Segment Number = none", "Segment Position = head", "y", kSE, kHE}),
         nothing},
        {"a smaller count drops the surplus", populated,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 2", "a=b=c", "d=e=f", kRE}),
         [](CWidgetConfig& c) {
             c.GetResources() = {{"a", "b", "c"}, {"d", "e", "f"}};
         }},
        {"a larger count takes marker lines as entries and skips the HTML part", populated,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 5", "a=b=c", kRE, "", kHB,
                "Segment Number = 1", "Segment Position = head", "new", kSE, kHE}),
         [](CWidgetConfig& c) {
             c.GetResources() = {{"a", "b", "c"},
                                 {"", "========= Resource Part End =========", ""},
                                 {"", "========= HTML Part Begin =========", ""},
                                 {"Segment Number", "1", ""},
                                 {"Segment Position", "head", ""}};
         }},
        {"bodies keep blank lines and junk between segments is skipped", nothing,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 0", kRE, kHB, "Segment Number = 2",
                "junk", "Segment Position = head", "<p>", "", "</p>", kSE, "junk",
                "Segment Position = cursor", kSE, kHE}),
         [](CWidgetConfig& c) {
             c.AddSegment("head", "<p>\r\n\r\n</p>\r\n");
             c.AddSegment("cursor", "");
         }},
        {"a missing parameter part leaves the later parts unread", populated,
         Lines({kDB, "Title = New", kDE, kRB, "Resource Number = 1", "a=b=c", kRE, kHB,
                "Segment Number = 1", "Segment Position = head", "x", kSE, kHE}),
         [](CWidgetConfig& c) { c.SetDescription("Title", "New"); }},
        {"keys in any order; a key named again keeps its last value", populated,
         Lines({kDB, kDE, kPB, "R = 1", "P = 2", "R = 3", "A = 4", "Q = 5", "A = 6", "Z = 7",
                "P = 8", kPE}),
         [](CWidgetConfig& c) {
             c.SetParameter("A", "6");
             c.SetParameter("P", "8");
             c.SetParameter("Q", "5");
             c.SetParameter("R", "3");
             c.SetParameter("Z", "7");
         }},
        {"an empty file changes nothing", populated, "", nothing},
        {"a file without markers changes nothing", populated,
         Lines({"Title = New", "Resource Number = 1", "a=b=c"}), nothing},
        {"reading merges into what is there", populated,
         Lines({kDB, "Title = New", "Added = yes", kDE, kPB, "P = new", kPE}),
         [](CWidgetConfig& c) {
             c.SetDescription("Title", "New");
             c.SetDescription("Added", "yes");
             c.SetParameter("P", "new");
         }},
        {"a file cut off inside a body keeps what was read", populated,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 0", kRE, kHB, "Segment Number = 1",
                "Segment Position = head", "first"}) +
             "second",
         [](CWidgetConfig& c) {
             c.GetSegments()[0] = {"head", "first\r\nsecond\r\n"};
         }},
        {"counts read like atoi, kept to 16 bits", nothing,
         Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 65538xyz", "a=b=c", "d=e=f", kRE, kHB,
                "Segment Number = +1", "Segment Position = cursor", "x", kSE, kHE}),
         [](CWidgetConfig& c) {
             c.AddResource("a", "b", "c");
             c.AddResource("d", "e", "f");
             c.AddSegment("cursor", "x\r\n");
         }},
    };

    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        CWidgetConfig config;
        tc.before(config);
        CWidgetConfig expected = config;
        tc.change(expected);
        EXPECT_TRUE(LoadText(config, tc.file));
        EXPECT_EQ(config, expected);
    }
}

TEST_F(WidgetConfigTest, LineEndsOtherThanCrLfReadTheSame) {
    // Replaces each CR LF by the next of the given line ends, in turn.
    auto replaceCrLf = [](const std::string& text, std::vector<std::string> by) {
        std::string out;
        size_t next = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "\r\n") == 0) {
                out += by[next++ % by.size()];
                ++i;
            } else {
                out += text[i];
            }
        }
        return out;
    };
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"LF only", replaceCrLf(kDemoFile, {"\n"})},
        {"CR only", replaceCrLf(kDemoFile, {"\r"})},
        {"mixed", replaceCrLf(kDemoFile, {"\n", "\r", "\r\n"})},
        {"no line end after the last marker",
         kDemoFile.substr(0, kDemoFile.size() - std::string("\r\n\r\n").size())},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        CWidgetConfig config;
        EXPECT_TRUE(LoadText(config, tc.file));
        EXPECT_EQ(config, DemoConfig());
    }
}

TEST_F(WidgetConfigTest, LineBreaksInsideFieldsCannotForgeLines) {
    CWidgetConfig c;
    c.SetDescription("ProgID", "PlaquetServer.Zephra");
    c.SetDescription("Title", "x\r\nProgID = Other");
    c.SetDescription("Descr\niption", "two\rlines\n");
    c.SetParameter("Misc", "a\r\n" + kPE + "\r\nInjected = 1");
    c.AddResource("a.gif\r\nb.gif", "/my\nfolder/", "web\r");
    c.AddSegment("cur\r\nsor", "<p>no line end</p>");
    c.AddSegment("style", "<style>\r\n" + kSE + "x\r\n</style>\r");

    const std::string path = m_dir / "n.wgt";
    ASSERT_TRUE(c.Save(path));
    CWidgetConfig loaded;
    ASSERT_TRUE(loaded.Load(path));

    CWidgetConfig expected;
    expected.SetDescription("ProgID", "PlaquetServer.Zephra");
    expected.SetDescription("Title", "x ProgID = Other");
    expected.SetDescription("Descr iption", "two lines");
    expected.SetParameter("Misc", "a " + kPE + " Injected = 1");
    expected.AddResource("a.gif b.gif", "/my folder/", "web");
    expected.AddSegment("cur sor", "<p>no line end</p>\r\n");
    expected.AddSegment("style", "<style>\r\n" + kSE + "x\r\n</style>\r\n");
    EXPECT_EQ(loaded, expected);
}

TEST_F(WidgetConfigTest, LoadKeepsNulAndBinaryBytes) {
    const std::string nulValue("a\0b\xff\x80", 5);
    CWidgetConfig loaded;
    ASSERT_TRUE(
        LoadText(loaded, Lines({kDB, "Title = " + nulValue, std::string("\0=\0", 3), kDE})));
    EXPECT_EQ(loaded.GetDescriptions().at("Title"), nulValue);
    EXPECT_EQ(loaded.GetDescriptions().at(std::string(1, '\0')), std::string(1, '\0'));

    // Whatever a file of random bytes and format pieces reads as is saved so that it reads back
    // the same, and saving that again gives the same bytes.
    const std::string pieces[] = {kDB + "\r\n",
                                  kDE + "\r\n",
                                  kPB + "\r\n",
                                  kPE + "\r\n",
                                  kRB + "\r\n",
                                  kRE + "\r\n",
                                  kHB + "\r\n",
                                  kHE + "\r\n",
                                  kSE + "\r\n",
                                  "Resource Number = 3\r\n",
                                  "Segment Number = 2\r\n",
                                  "Segment Position = ",
                                  "=",
                                  " ",
                                  "\t",
                                  "\r",
                                  "\n",
                                  "\r\n",
                                  std::string(1, '\0'),
                                  "\v",
                                  "key",
                                  "a=b=c"};
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string text;
        const int count = static_cast<int>(random() % 200);
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0)
                text += static_cast<char>(random() % 256);
            else
                text += pieces[random() % std::size(pieces)];
        }
        CWidgetConfig first;
        ASSERT_TRUE(LoadText(first, text));
        const std::string saved = m_dir / "saved.wgt";
        ASSERT_TRUE(first.Save(saved));
        CWidgetConfig second;
        ASSERT_TRUE(second.Load(saved));
        ASSERT_EQ(second, first);
        const std::string again = m_dir / "again.wgt";
        ASSERT_TRUE(second.Save(again));
        ASSERT_EQ(ReadBytes(again), ReadBytes(saved));
    }
}

TEST_F(WidgetConfigTest, FiftyMegabyteLinesReadInOnePass) {
    const size_t big = 50u << 20;
    {
        CWidgetConfig c;
        const std::string value(big, 'v');
        ASSERT_TRUE(LoadText(c, Lines({kDB, "Title = " + value, kDE})));
        EXPECT_EQ(c.GetDescriptions().at("Title").size(), big);
    }
    {
        // One entry line made almost entirely of '='.
        CWidgetConfig c;
        ASSERT_TRUE(LoadText(c, Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 1",
                                       "a" + std::string(big, '=') + "w", kRE})));
        ASSERT_EQ(c.GetResources().size(), 1u);
        EXPECT_EQ(c.GetResources()[0].m_strFileName, "a");
        EXPECT_EQ(c.GetResources()[0].m_strLocalFolder.size(), big - 2);
        EXPECT_EQ(c.GetResources()[0].m_strWebPath, "w");
    }
    {
        // A body line, and a file of one line with no line end and no marker.
        CWidgetConfig c;
        ASSERT_TRUE(LoadText(c, Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 0", kRE, kHB,
                                       "Segment Number = 1", "Segment Position = cursor",
                                       std::string(big, '<'), kSE})));
        ASSERT_EQ(c.GetSegments().size(), 1u);
        EXPECT_EQ(c.GetSegments()[0].m_strBody.size(), big + 2);
        const CWidgetConfig before = c;
        ASSERT_TRUE(LoadText(c, std::string(big, '=')));
        EXPECT_EQ(c, before);
    }
}

TEST_F(WidgetConfigTest, HugeCountsWithFewLinesStayBounded) {
    CWidgetConfig c;
    ASSERT_TRUE(
        LoadText(c, Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 65535", "a=b=c", "d=e=f"})));
    ASSERT_EQ(c.GetResources().size(), 65535u);
    EXPECT_EQ(c.GetResources()[1], (CResourceEntry{"d", "e", "f"}));
    EXPECT_EQ(c.GetResources()[65534], CResourceEntry{});

    // -1 is 65535 as a 16-bit count; a million lines without "=" or a position are passed once.
    std::string filler;
    for (int i = 0; i < 1000000; ++i)
        filler += "x\r";
    CWidgetConfig d;
    ASSERT_TRUE(LoadText(d, Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = -1"}) + filler));
    EXPECT_EQ(d.GetResources().size(), 65535u);

    CWidgetConfig e;
    ASSERT_TRUE(
        LoadText(e, Lines({kDB, kDE, kPB, kPE, kRB, "Resource Number = 0", kRE, kHB,
                           "Segment Number = -1", "Segment Position = cursor", "body", kSE}) +
                        filler));
    ASSERT_EQ(e.GetSegments().size(), 65535u);
    EXPECT_EQ(e.GetSegments()[0], (CHtmlSegment{"cursor", "body\r\n"}));
    EXPECT_EQ(e.GetSegments()[1], CHtmlSegment{});
}

TEST_F(WidgetConfigTest, LoadFailsWithoutChangesWhenTheFileCannotBeRead) {
    CWidgetConfig c = DemoConfig();
    const CWidgetConfig before = c;

    EXPECT_FALSE(c.Load(m_dir / "missing.wgt"));
    EXPECT_FALSE(c.Load(m_dir.path.string()));
    EXPECT_FALSE(c.Load(""));
    const std::string fifo = m_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(c.Load(fifo)) << "must neither block nor read a FIFO";
    EXPECT_FALSE(c.Load("/dev/zero")) << "must not read an endless device";
    EXPECT_EQ(c, before);

    // A read error after the file was opened: reading this file at offset 0 fails with EIO.
    if (fs::exists("/proc/self/mem")) {
        EXPECT_THROW(c.Load("/proc/self/mem"), CFileException);
        EXPECT_EQ(c, before);
    }
}

TEST_F(WidgetConfigTest, LoadFailsForAFileWithoutReadPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const std::string path = m_dir / "locked.wgt";
    WriteBytes(path, kDemoFile);
    ::chmod(path.c_str(), 0);
    CWidgetConfig c;
    EXPECT_FALSE(c.Load(path));
    EXPECT_EQ(c, CWidgetConfig{});
}

TEST_F(WidgetConfigTest, SaveFailsWithoutTouchingAnythingWhenItCannotCreateTheFile) {
    const CWidgetConfig c = DemoConfig();
    EXPECT_FALSE(c.Save(m_dir / "no/such/folder/x.wgt"));
    EXPECT_FALSE(c.Save(m_dir.path.string()));
    EXPECT_FALSE(c.Save(""));
    EXPECT_EQ(EntriesIn(m_dir.path), 0u);
}

TEST_F(WidgetConfigTest, SaveFailsInAReadOnlyFolderAndKeepsTheEarlierFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string path = m_dir / "w.wgt";
    WriteBytes(path, "earlier");
    ::chmod(m_dir.path.c_str(), 0555);
    EXPECT_FALSE(DemoConfig().Save(path));
    EXPECT_FALSE(DemoConfig().Save(m_dir / "new.wgt"));
    ::chmod(m_dir.path.c_str(), 0755);
    EXPECT_EQ(ReadBytes(path), "earlier");
    EXPECT_EQ(EntriesIn(m_dir.path), 1u);
}

namespace {
// Makes writes to regular files fail with EFBIG beyond limit bytes while it lives.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = m_old;
        lower.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

TEST_F(WidgetConfigTest, AWriteErrorThrowsAndLeavesTheEarlierFileWhole) {
    const std::string path = m_dir / "w.wgt";
    ASSERT_TRUE(DemoConfig().Save(path));

    CWidgetConfig bigger = DemoConfig();
    bigger.SetParameter("Misc", std::string(1 << 20, 'm'));
    {
        CFileSizeLimit limit(4096);
        EXPECT_THROW(bigger.Save(path), CFileException);
    }
    EXPECT_EQ(ReadBytes(path), kDemoFile);
    EXPECT_EQ(EntriesIn(m_dir.path), 1u) << "the temporary file is removed";
}

TEST_F(WidgetConfigTest, SaveRefusesListsTheCountLineCannotHold) {
    const std::string path = m_dir / "w.wgt";
    ASSERT_TRUE(DemoConfig().Save(path));

    CWidgetConfig c;
    for (int i = 0; i < 65535; ++i)
        ASSERT_TRUE(c.AddResource("f" + std::to_string(i), "/d/", ""));
    const std::string full = m_dir / "full.wgt";
    ASSERT_TRUE(c.Save(full));
    CWidgetConfig loaded;
    ASSERT_TRUE(loaded.Load(full));
    EXPECT_EQ(loaded, c);

    // One more would be written as a count of 0 and read back as nothing.
    c.AddResource("one-too-many", "/d/", "");
    EXPECT_FALSE(c.Save(path));
    CWidgetConfig segments;
    for (int i = 0; i < 65536; ++i)
        segments.AddSegment("cursor", "");
    EXPECT_FALSE(segments.Save(path));
    EXPECT_EQ(ReadBytes(path), kDemoFile);
    EXPECT_EQ(EntriesIn(m_dir.path), 2u);
}

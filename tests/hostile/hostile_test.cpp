// Hostile configuration files through the loaded component. Each case writes one hand-made
// widget file, reads it (ReadConfigFile), turns the model into markup in the local and the web
// form (GetHTMLBody) and saves it into another folder (WriteConfigFile), all by dispatch id.
// A case states what the model must be afterwards: the "Misc" of the markup, the "Misc" and the
// item labels of the saved file, the support files the model kept. Every case also checks that
// nothing outside its folders changed, that the only files copied are files of the source folder,
// that the saved file reads back into the same markup and that both markups keep their lines.

#include "component/model/menumodel.h"
#include "tests/server/componentfixture.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace zephratest;

namespace {

const std::string kWidgetName = "widget.wgt";
const std::string kItemTail = ",,,,,,,,,1,,,,,"; // an item value after its label: shown, no files
const std::string kApStyle = "ApStyle = Hostile,0,400,200,0,0,,0,0,0,,,,,1,Loading";

// times copies of text, doubling what is there: few appends even for the largest cases.
std::string Repeat(const std::string& text, size_t times) {
    if (text.empty() || times == 0)
        return {};
    std::string out;
    out.reserve(text.size() * times);
    out = text;
    while (out.size() * 2 <= text.size() * times)
        out.append(out);
    out.append(out, 0, text.size() * times - out.size());
    return out;
}

// The whole file in one read (the saved files of the large cases run to many megabytes).
std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(fs::file_size(path)), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

// Parameter lines of hand-made menus: menu m holds items with the given labels (global item
// indices run menu by menu) and has background colour m; "Misc" is the menu count (or count
// when given), the item counts and then links, as written.
std::vector<std::string> TreeParameters(const std::vector<std::vector<std::string>>& menus,
                                        const std::string& links, const std::string& count = {}) {
    std::vector<std::string> lines{"Version = 2.1", kApStyle};
    std::string misc = (count.empty() ? std::to_string(menus.size()) : count) + ",";
    for (size_t m = 0; m < menus.size(); ++m) {
        const std::string n = std::to_string(m);
        lines.push_back("MStyle-" + n + " = " + n + ",0,0,0,40,15,80,20,5,0,Menu,1");
        lines.push_back("IStyle-" + n + " = 0");
        for (size_t i = 0; i < menus[m].size(); ++i)
            lines.push_back("I" + n + "-" + std::to_string(i + 1) + " = " + menus[m][i] +
                            kItemTail);
        misc += std::to_string(menus[m].size()) + ",";
    }
    lines.push_back("Misc = " + misc + links);
    return lines;
}

std::string WidgetText(const std::vector<std::string>& parameters) {
    return ConfigText({"ProgID = PlaquetServer.Zephra", "Title = Hostile"}, parameters);
}

// Parameter lines of one top-level menu with one item, whose whole value is given.
std::vector<std::string> OneItemParameters(const std::string& item,
                                           const std::string& apStyle = kApStyle) {
    return {"Version = 2.1", apStyle,          "MStyle-0 = 0,0,0,0,40,15,80,20,5,0,Menu,1",
            "IStyle-0 = 0",  "I0-1 = " + item, "Misc = 1,1,-0,"};
}

// A case whose widget file is the text that make returns.
std::function<std::string(const std::string&)> Writes(std::function<std::string()> make) {
    return [make = std::move(make)](const std::string& src) {
        WriteFile(src + kWidgetName, make());
        return src + kWidgetName;
    };
}

// A chain of menus: menu m holds one item whose sub menu is menu m + 1.
std::string ChainText(int menus) {
    std::vector<std::vector<std::string>> tree(static_cast<size_t>(menus), {"d"});
    std::string links = "-0,";
    for (int m = 1; m < menus; ++m)
        links += std::to_string(m - 1) + "-" + std::to_string(m) + ",";
    return WidgetText(TreeParameters(tree, links));
}

// "Misc" of the markup of such a chain, and of the stored form, which adds the empty sub menu of
// the last item.
std::string ChainMarkupMisc(int menus) {
    std::string misc =
        std::to_string(menus) + "," + Repeat("1,", static_cast<size_t>(menus)) + "-0,";
    for (int m = 1; m < menus; ++m)
        misc += std::to_string(m - 1) + "-" + std::to_string(m) + ",";
    return misc;
}
std::string ChainStoredMisc(int menus) {
    std::string misc =
        std::to_string(menus + 1) + "," + Repeat("1,", static_cast<size_t>(menus)) + "0,-0,";
    for (int m = 1; m <= menus; ++m)
        misc += std::to_string(m - 1) + "-" + std::to_string(m) + ",";
    return misc;
}

// 100,000 top-level menus linked in reverse order, then 800,000 entries that no menu needs: a
// "Misc" of a million entries. Only the first and the last menu hold an item.
constexpr int kWideMenus = 100000;

std::string WideText() {
    std::vector<std::vector<std::string>> tree(kWideMenus);
    tree.front() = {"first"};
    tree.back() = {"last"};
    std::string links;
    for (int m = kWideMenus - 1; m >= 0; --m)
        links += "-" + std::to_string(m) + ",";
    links += Repeat("0-0,", 800000);
    return WidgetText(TreeParameters(tree, links));
}

// Saved again, the menus are numbered in their new order: the old last menu (0) with its item's
// empty sub menu (1), the menus without items, the old first menu and its item's sub menu.
std::string WideStoredMisc() {
    const int total = kWideMenus + 2;
    std::string misc = std::to_string(total) + ",1,0," +
                       Repeat("0,", static_cast<size_t>(kWideMenus - 2)) + "1,0,-0,";
    for (int n = 2; n <= kWideMenus; ++n)
        misc += "-" + std::to_string(n) + ",";
    return misc + "0-1,1-" + std::to_string(total - 1) + ",";
}

// A label of more than 50 MB in one line: commas (escaped) and characters the markup escapes.
const std::string kBigUnit = "abcdefghijklmnop<&~@^`";
constexpr size_t kBigUnits = 2300000; // 50.6 MB

struct CHostileRun;

struct CHostileCase {
    std::string name;
    // Writes the widget file, and whatever lies beside it, into src (ending with '/'); returns
    // the path to read.
    std::function<std::string(const std::string& src)> make;
    bool read = true;                               // what ReadConfigFile answers
    std::string markupMisc;                         // "Misc" of both markup forms
    std::string storedMisc;                         // "Misc" of the saved file
    std::optional<std::vector<std::string>> labels; // stored labels of the saved file, in order
    std::vector<std::string> files;                 // support files of the model, class file aside
    std::optional<std::string> appletName = "Hostile";
    std::function<void(CWidget&)> afterRead; // checks between reading and the markup
    std::function<void(CHostileRun&)> check; // checks at the end
};

void PrintTo(const CHostileCase& c, std::ostream* os) {
    *os << c.name;
}

// What one case produced.
struct CHostileRun {
    CWidget& widget;
    std::string out;   // ending with '/'
    std::string local; // markup, local and web form
    std::string web;
    std::string saved;                             // the saved file
    std::map<std::string, std::string> parameters; // its parameter part
};

// The value of the named param line of a markup block.
std::string MarkupParam(const std::string& body, const std::string& name) {
    const std::string head = "<param name=\"" + name + "\" value=\"";
    const size_t begin = body.find(head);
    if (begin == std::string::npos)
        return "<none>";
    const size_t value = begin + head.size();
    return body.substr(value, body.find("\">", value) - value);
}

// Lines of a text written by us: every line ends in CR LF.
std::vector<std::string_view> CrLfLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// The parameter part of a saved file.
std::map<std::string, std::string> SavedParameters(const std::vector<std::string_view>& lines) {
    std::map<std::string, std::string> parameters;
    bool inside = false;
    for (const std::string_view line : lines) {
        if (line == "========== Parameter Part Begin ==========") {
            inside = true;
        } else if (line == "========== Parameter Part End ==========") {
            break;
        } else if (inside) {
            const size_t eq = line.find(" = ");
            parameters.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 3)));
        }
    }
    return parameters;
}

// Field 0 of every stored item, menu by menu in number order.
std::vector<std::string> StoredLabels(const std::map<std::string, std::string>& parameters) {
    std::vector<std::string> labels;
    const auto misc = parameters.find("Misc");
    const int menus = misc == parameters.end() ? 0 : std::atoi(misc->second.c_str());
    for (int m = 0; m < menus; ++m) {
        for (int i = 1;; ++i) {
            const auto item = parameters.find("I" + std::to_string(m) + "-" + std::to_string(i));
            if (item == parameters.end())
                break;
            labels.push_back(item->second.substr(0, item->second.find(',')));
        }
    }
    return labels;
}

// Everything below root except the top-level folders in skip, as text per entry: type, size,
// modification time, link target and a file's content.
std::map<std::string, std::string> Snapshot(const fs::path& root,
                                            const std::set<std::string>& skip) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path relative = fs::relative(it->path(), root);
        if (it.depth() == 0 && skip.contains(relative.string())) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                           std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec);
        if (S_ISLNK(st.st_mode))
            text += " -> " + fs::read_symlink(it->path()).string();
        else if (S_ISREG(st.st_mode))
            text += " " + ReadFile(it->path().string());
        entries.emplace(relative.string(), std::move(text));
    }
    return entries;
}

std::string StatText(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    return std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
           std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
}

// Both markup forms keep the block's lines: the paragraph, the applet line, param lines only,
// the two closing lines; no text has added or broken a line.
void ExpectWellFormedBlock(const std::string& body) {
    const std::vector<std::string_view> lines = CrLfLines(body);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_TRUE(lines[0].starts_with("<p align=\"")) << lines[0].substr(0, 80);
    EXPECT_TRUE(lines[1].starts_with("<applet ")) << lines[1].substr(0, 80);
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].starts_with("\t<param name=\"") && lines[i].ends_with("\">"))
            << "line " << i << ": " << lines[i].substr(0, 80);
        ASSERT_EQ(lines[i].find_first_of("\r\n"), std::string_view::npos) << "line " << i;
    }
    EXPECT_EQ(lines[lines.size() - 2], "</applet>");
    EXPECT_EQ(lines.back(), "</p>");
    EXPECT_TRUE(body.ends_with("</p>\r\n"));
}

// ---- The table

// Adds a case whose model ends with the given markup "Misc", saved "Misc" and saved labels.
CHostileCase& Add(std::vector<CHostileCase>& cases, std::string name,
                  std::function<std::string(const std::string&)> make, std::string markupMisc,
                  std::string storedMisc, std::optional<std::vector<std::string>> labels) {
    CHostileCase& c = cases.emplace_back();
    c.name = std::move(name);
    c.make = std::move(make);
    c.markupMisc = std::move(markupMisc);
    c.storedMisc = std::move(storedMisc);
    c.labels = std::move(labels);
    return c;
}

using Labels = std::vector<std::string>;

std::vector<CHostileCase> HostileCases() {
    std::vector<CHostileCase> cases;

    // Parent links. Menus are labelled so that the survivors can be told apart.

    // Menus 2 and 3 name each other's item; menu 4 names its own. Only 0 and 1 reach the top.
    Add(cases, "MiscLinksFormingCycles", Writes([] {
            return WidgetText(TreeParameters({{"top"}, {"sub"}, {"c2"}, {"c3"}, {"self"}},
                                             "-0,0-1,3-2,2-3,4-4,"));
        }),
        "2,1,1,-0,0-1,", "3,1,1,0,-0,0-1,1-2,", Labels{"top", "sub"});

    // The first link of menu 1 (under item b) wins; menu 2, whose link slot the second one
    // took, is named by none.
    Add(cases, "MenuLinkedTwice", Writes([] {
            return WidgetText(TreeParameters({{"a", "b"}, {"under b"}, {"lost"}}, "-0,1-1,0-1,"));
        }),
        "2,2,1,-0,1-1,", "4,2,0,1,0,-0,0-1,1-2,2-3,", Labels{"a", "b", "under b"});

    // An item past the items read, a menu past the menus read, a number past 32 bits.
    Add(cases, "LinksOutOfRange", Writes([] {
            return WidgetText(
                TreeParameters({{"kept"}, {"m1"}, {"m2"}, {"m3"}}, "-0,5-1,0-7,-99999999999,"));
        }),
        "1,1,-0,", "2,1,0,-0,0-1,", Labels{"kept"});

    // Menu 2 has no link; menu 3 hangs under its item, so it goes with it.
    Add(cases, "MenuNoLinkNames", Writes([] {
            return WidgetText(
                TreeParameters({{"top"}, {"sub"}, {"orphan"}, {"below orphan"}}, "-0,0-1,2-3,"));
        }),
        "2,1,1,-0,0-1,", "3,1,1,0,-0,0-1,1-2,", Labels{"top", "sub"});

    // Counts and sizes. A menu or item parameter that "Misc" announces and the file lacks gives
    // up on all menus; the applet settings stay.
    Add(cases, "MenuCountOfTwoBillionWithTwoMenus", Writes([] {
            return WidgetText(TreeParameters({{"top"}, {"sub"}}, "-0,0-1,", "2000000000"));
        }),
        "0,", "0,", Labels{});
    Add(cases, "ItemCountOfTwoBillionWithOneItem", Writes([] {
            std::vector<std::string> lines = TreeParameters({{"only"}}, "-0,");
            lines.back() = "Misc = 1,2000000000,-0,";
            return WidgetText(lines);
        }),
        "0,", "0,", Labels{});

    // Trees deeper than the limit are refused whole.
    Add(cases, "ChainOfSubMenus100000Deep", Writes([] { return ChainText(100000); }), "0,", "0,",
        Labels{});
    Add(cases, "ChainAtTheDepthLimitIsKept", Writes([] { return ChainText(kMaxMenuDepth); }),
        ChainMarkupMisc(kMaxMenuDepth), ChainStoredMisc(kMaxMenuDepth), Labels(kMaxMenuDepth, "d"));
    Add(cases, "ChainOneMenuPastTheDepthLimit", Writes([] { return ChainText(kMaxMenuDepth + 1); }),
        "0,", "0,", Labels{});

    // Top-level menus come back in link order; only the two with an item are in the markup.
    Add(cases, "MillionEntryMisc", Writes(WideText), "2,1,1,-0,-1,", WideStoredMisc(),
        Labels{"last", "first"})
        .check = [](CHostileRun& run) {
        EXPECT_EQ(run.parameters.at("MStyle-0").substr(0, 6), "99999,");
        EXPECT_EQ(run.parameters.at("MStyle-100000").substr(0, 2), "0,");
    };

    // Stored as read; in the markup escaped for the attribute, whole.
    Add(cases, "FiftyMegabyteLine",
        Writes([] { return WidgetText(TreeParameters({{Repeat(kBigUnit, kBigUnits)}}, "-0,")); }),
        "1,1,-0,", "2,1,0,-0,0-1,", std::nullopt)
        .check = [](CHostileRun& run) {
        EXPECT_TRUE(run.parameters.at("I0-1") == Repeat(kBigUnit, kBigUnits) + kItemTail);
        const std::string markup =
            Repeat("abcdefghijklmnop&lt;&amp;~@^`", kBigUnits) + ",,,,,,,_self,";
        EXPECT_TRUE(MarkupParam(run.web, "I0-0") == markup);
        EXPECT_TRUE(MarkupParam(run.local, "I0-0") == markup);
    };

    // Bytes and line ends. NULs inside texts are kept; a file field holding one names no file,
    // even though "pic", where a name cut at the NUL would point, exists.
    const std::string nul(1, '\0');
    Add(
        cases, "NulBytes",
        [nul](const std::string& src) {
            WriteFile(src + "pic", "decoy");
            std::vector<std::string> lines = OneItemParameters(
                "before" + nul + "after,,,,pic" + nul + ".gif," + nul + ",.." + nul + ",,,1,,,,,");
            lines.push_back(nul + nul + nul);
            lines.push_back("Ver" + nul + "sion = 0");
            std::string text = WidgetText(lines);
            text.insert(text.find("Title = Hostile") + 11, nul);
            WriteFile(src + kWidgetName, text);
            return src + kWidgetName;
        },
        "1,1,-0,", "2,1,0,-0,0-1,", Labels{"before" + nul + "after"})
        .check = [nul](CHostileRun& run) {
        EXPECT_EQ(run.widget.GetText(DISPID_ZEPHRA_TITLE), "Hos" + nul + "tile");
        EXPECT_EQ(run.parameters.count("Ver" + nul + "sion"), 0u)
            << "parameters are written from the model only";
        EXPECT_EQ(MarkupParam(run.web, "I0-0"), "before" + nul + "after,,,,,,,_self,");
    };

    // A host path holding a NUL names no file, though the path cut at the NUL is this widget
    // file: nothing is read (the cut path would become the folder of "kept.gif", and the copy of
    // the image the widget file itself), and nothing is written.
    Add(
        cases, "NulInTheHostPath",
        [nul](const std::string& src) {
            WriteFile(src + "kept.gif", "kept image");
            WriteFile(src + kWidgetName,
                      WidgetText(OneItemParameters("kept,,,,kept.gif,,,,,1,,,,,")));
            return src + kWidgetName + nul + "/../../../../etc/";
        },
        "0,", "0,", Labels{})
        .read = false;
    cases.back().appletName = std::nullopt;
    cases.back().check = [nul](CHostileRun& run) {
        const std::string saved = ReadFile(run.out + kWidgetName);
        EXPECT_FALSE(run.widget.WriteConfigFile(run.out + kWidgetName + nul + "/../passwd"));
        EXPECT_EQ(ReadFile(run.out + kWidgetName), saved);
        EXPECT_EQ(run.widget.GetResourceNumber(), 1);
    };

    // CR-only line ends read as lines; the escaped line break in the label comes back.
    Add(cases, "CrOnlyLines", Writes([] {
            const std::string text =
                WidgetText(TreeParameters({{"one|_#`line two", "b"}, {"c"}}, "-0,1-1,"));
            std::string cr;
            for (size_t pos = 0; pos < text.size(); ++pos) {
                if (text.compare(pos, 2, "\r\n") == 0)
                    ++pos;
                cr.push_back(text[pos]);
            }
            return cr;
        }),
        "2,2,1,-0,1-1,", "4,2,0,1,0,-0,0-1,1-2,2-3,", Labels{"one|_#`line two", "b", "c"})
        .check = [](CHostileRun& run) {
        EXPECT_EQ(run.widget.GetText(DISPID_ZEPHRA_TITLE), "Hostile");
        EXPECT_EQ(MarkupParam(run.web, "I0-0"), "one|_#`line two,,,,,,,_self,");
    };

    // The 16-bit counts of the file's lists, with two entry lines where 65535 are announced.
    const auto copyFixture = [](std::string fixture) {
        return [fixture](const std::string& src) {
            WriteFile(src + "kept.gif", "kept image");
            fs::copy_file(std::string(ZEPHRA_TEST_DATA "/hostile/") + fixture, src + kWidgetName);
            return src + kWidgetName;
        };
    };
    CHostileCase& resources =
        Add(cases, "ResourceNumber65535WithTwoLines", copyFixture("resource-count.wgt"), "1,1,-0,",
            "2,1,0,-0,0-1,", Labels{"counted"});
    resources.files = {"kept.gif"};
    resources.afterRead = [](CWidget& widget) {
        // Until the markup rebuilds it, the list is the file's own: the count as far as a short
        // reaches, the two lines read, empty entries after them.
        EXPECT_EQ(widget.GetResourceNumber(), 32767);
        EXPECT_EQ(widget.GetResourceName(0), "../../../../etc/passwd");
        EXPECT_EQ(widget.GetResourceName(1), "C:\\Windows\\win.ini");
        EXPECT_EQ(widget.GetResourceName(2), "");
        EXPECT_EQ(widget.GetResourceName(32766), "");
    };
    Add(cases, "SegmentNumber65535WithTwoLines", copyFixture("segment-count.wgt"), "1,1,-0,",
        "2,1,0,-0,0-1,", Labels{"counted"})
        .files = {"kept.gif"};

    // Stored file fields that name places outside the folder. Only the file-name part counts,
    // in the widget's folder: with "passwd" and "win.ini" there, those are what the menu uses
    // (and what is copied); without them, the fields are dropped as missing files. "." and ".."
    // never name a file.
    const auto writeEscapes = [](bool decoys) {
        return [decoys](const std::string& src) {
            if (decoys) {
                WriteFile(src + "passwd", "the widget's own passwd");
                WriteFile(src + "win.ini", "the widget's own win.ini");
            }
            WriteFile(src + kWidgetName,
                      WidgetText(OneItemParameters(
                          "files,,,,..,.,../../../../etc/passwd,/etc/passwd,"
                          "C:\\Windows\\win.ini,1,img/,img/,img/,snd/,snd/",
                          "ApStyle = Hostile,0,400,200,0,0,../passwd,0,0,0,..\\..\\win.ini,img/,"
                          "snd/,,1,Loading")));
            return src + kWidgetName;
        };
    };
    CHostileCase& present = Add(cases, "FileFieldsLeavingTheFolderWithNamesPresent",
                                writeEscapes(true), "1,1,-0,", "2,1,0,-0,0-1,", Labels{"files"});
    present.files = {"passwd", "win.ini", "passwd", "passwd", "win.ini"};
    present.check = [](CHostileRun& run) {
        EXPECT_EQ(MarkupParam(run.web, "I0-0"),
                  "files,,,,img/passwd,snd/passwd,snd/win.ini,_self,");
        EXPECT_EQ(MarkupParam(run.web, "ApStyle"),
                  "000000,000000,img/passwd,0,0,0,snd/win.ini,1,Loading");
        // The names are taken in out/ (by the links to the sentinels): renamed copies.
        EXPECT_EQ(run.parameters.at("I0-1"),
                  "files,,,,,,passwd-2,passwd-2,win-2.ini,1,img/,img/,img/,snd/,snd/");
    };
    Add(cases, "FileFieldsLeavingTheFolderWithNamesAbsent", writeEscapes(false), "1,1,-0,",
        "2,1,0,-0,0-1,", Labels{"files"})
        .check = [](CHostileRun& run) {
        EXPECT_EQ(MarkupParam(run.web, "I0-0"), "files,,,,,,,_self,");
        EXPECT_EQ(run.parameters.at("I0-1"), "files,,,,,,,,,1,img/,img/,img/,snd/,snd/");
    };

    // Only regular files are read: a FIFO would block the reader. The model stays as it was.
    Add(
        cases, "FifoInsteadOfAFile",
        [](const std::string& src) {
            EXPECT_EQ(::mkfifo((src + kWidgetName).c_str(), 0600), 0);
            return src + kWidgetName;
        },
        "0,", "0,", Labels{})
        .read = false;
    cases.back().appletName = std::nullopt;
    return cases;
}

// ---- The fixture

// Under the fixture's root:
//   src/      the widget file and the files it may name
//   out/      where it is saved; links to the sentinels stand under the names a save or a copy
//             that follows links would write through
//   cwd/      the current directory while the case runs, so that a relative path lands in sight
//   passwd, win.ini, sentinel   beside the folders: what a path escaping src/ or out/ reaches
class HostileFile : public ComponentTest, public ::testing::WithParamInterface<CHostileCase> {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        if (HasFatalFailure())
            return;
        m_src = Folder("src");
        m_out = Folder("out");
        WriteFile(Path("passwd"), "outside passwd");
        WriteFile(Path("win.ini"), "outside win.ini");
        WriteFile(Path("sentinel"), "outside sentinel");
        fs::create_symlink(m_root / "sentinel", m_out + kWidgetName);
        fs::create_symlink(m_root / "passwd", m_out + "passwd");
        fs::create_symlink(m_root / "win.ini", m_out + "win.ini");
        fs::create_directories(m_root / "cwd");
        m_oldCwd = fs::current_path();
        fs::current_path(m_root / "cwd");
    }

    void TearDown() override {
        if (!m_oldCwd.empty())
            fs::current_path(m_oldCwd);
        ComponentTest::TearDown();
    }

    std::string m_src;
    std::string m_out;
    fs::path m_oldCwd;
};

TEST_P(HostileFile, IsReadWrittenAsMarkupAndSavedInsideItsFolders) {
    const CHostileCase& c = GetParam();
    const std::string widgetPath = c.make(m_src);
    const std::map<std::string, std::string> outside = Snapshot(m_root, {"src", "out"});
    const std::string passwd = StatText("/etc/passwd");

    // What a fresh object lists as the class file; hostile input must not change it.
    std::string classRow;
    std::string classFile;
    {
        CWidget fresh = Create();
        classRow = fresh.Resources().at(0);
        classFile = fresh.GetResourceLocalPath(0) + "/" + fresh.GetResourceName(0);
    }

    CWidget widget = Create();
    ASSERT_TRUE(widget.Dispatch());
    EXPECT_EQ(widget.ReadConfigFile(widgetPath), c.read);
    if (c.afterRead)
        c.afterRead(widget);

    CHostileRun run{widget, m_out, widget.GetHTMLBody(0), widget.GetHTMLBody(1), {}, {}};
    for (const std::string* body : {&run.local, &run.web}) {
        ExpectWellFormedBlock(*body);
        EXPECT_EQ(MarkupParam(*body, "Misc"), c.markupMisc);
    }

    // The list the markup rebuilt: the class file first, then files of src/ only.
    const std::vector<std::string> before = widget.Resources();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before[0], classRow);
    std::vector<std::string> names;
    for (SHORT i = 1; i < widget.GetResourceNumber(); ++i) {
        names.push_back(widget.GetResourceName(i));
        EXPECT_EQ(widget.GetResourceLocalPath(i) + "/", m_src) << names.back();
    }
    EXPECT_EQ(names, c.files);

    // Saved over a link to a sentinel: the link is replaced, the sentinel stays.
    ASSERT_TRUE(widget.WriteConfigFile(m_out + kWidgetName));
    ASSERT_FALSE(fs::is_symlink(m_out + kWidgetName));
    run.saved = ReadWhole(m_out + kWidgetName);
    const std::vector<std::string_view> lines = CrLfLines(run.saved);
    run.parameters = SavedParameters(lines);
    EXPECT_EQ(run.parameters["Misc"], c.storedMisc);
    if (c.labels) {
        EXPECT_EQ(StoredLabels(run.parameters), *c.labels);
    }
    if (c.appletName) {
        EXPECT_EQ(run.parameters["ApStyle"].substr(0, run.parameters["ApStyle"].find(',')),
                  *c.appletName);
    }

    // The saved lists: the class file first, every copy in out/, one segment.
    const auto count =
        std::find(lines.begin(), lines.end(), "========== Resource Part Begin ==========");
    ASSERT_NE(count, lines.end());
    ASSERT_EQ(*(count + 1), "Resource Number = " + std::to_string(names.size() + 1));
    EXPECT_TRUE((count + 2)->starts_with("zephracore.class="));
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string_view entry = *(count + 3 + static_cast<std::ptrdiff_t>(i));
        const size_t first = entry.find('=');
        const size_t last = entry.rfind('=');
        EXPECT_EQ(std::string(entry.substr(first + 1, last - first - 1)) + "/", m_out) << entry;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Segment Number = 1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Segment Position = cursor"), 1);

    // Every copy holds the bytes of the source file it was made from, and out/ holds nothing
    // else but the saved file, the untouched links and the class file from the component's
    // folder (when there is one there).
    const std::vector<std::string> after = widget.Resources();
    ASSERT_EQ(after.size(), before.size());
    std::set<std::string> copies;
    for (SHORT i = 1; i < static_cast<SHORT>(after.size()); ++i) {
        const std::string source = m_src + names[static_cast<size_t>(i - 1)];
        const std::string copy = widget.GetResourceLocalPath(i) + "/" + widget.GetResourceName(i);
        EXPECT_EQ(widget.GetResourceLocalPath(i) + "/", m_out);
        EXPECT_EQ(ReadFile(copy), ReadFile(source)) << copy;
        copies.insert(widget.GetResourceName(i));
    }
    for (const auto& entry : fs::directory_iterator(m_out)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink())
            EXPECT_TRUE(name == "passwd" || name == "win.ini") << name;
        else if (name == "zephracore.class")
            EXPECT_EQ(ReadFile(entry.path().string()), ReadFile(classFile));
        else
            EXPECT_TRUE(name == kWidgetName || copies.contains(name)) << name;
    }
    EXPECT_EQ(fs::read_symlink(m_out + "passwd"), m_root / "passwd");
    EXPECT_EQ(fs::read_symlink(m_out + "win.ini"), m_root / "win.ini");

    // The saved file gives the same menu again.
    {
        CWidget again = Create();
        EXPECT_TRUE(again.ReadConfigFile(m_out + kWidgetName));
        EXPECT_TRUE(again.GetHTMLBody(1) == widget.GetHTMLBody(1));
    }

    if (c.check)
        c.check(run);

    // Nothing beside the folders changed, /etc/passwd included.
    EXPECT_EQ(Snapshot(m_root, {"src", "out"}), outside);
    EXPECT_EQ(StatText("/etc/passwd"), passwd);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileFile, ::testing::ValuesIn(HostileCases()),
                         [](const ::testing::TestParamInfo<CHostileCase>& info) {
                             return info.param.name;
                         });

} // namespace

// The automation object as hosts drive it: properties, configuration files, HTML segments, the
// support-file list and the dispatch rules, all through the loaded component.

#include "tests/server/componentfixture.h"

#include <array>
#include <clocale>
#include <csignal>
#include <sys/resource.h>

using namespace zephratest;

namespace {

const DISPID kTextProperties[] = {DISPID_ZEPHRA_PROGID, DISPID_ZEPHRA_TITLE,
                                  DISPID_ZEPHRA_DESCRIPTION, DISPID_ZEPHRA_BITMAPFILENAME,
                                  DISPID_ZEPHRA_PREVIEWPATH};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// IDispatch::Invoke with hand-built arguments (given in call order), for the error paths the
// dispatch driver never produces.
struct CRawCall {
    HRESULT hr = S_OK;
    UINT argErr = 99;
    CComVariant result;
};

CRawCall RawInvoke(IDispatch* p, DISPID dispid, WORD flags, std::vector<CComVariant> args,
                   std::vector<DISPID> named = {}, REFIID riid = IID_NULL) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), named.data(), static_cast<UINT>(reversed.size()),
                      static_cast<UINT>(named.size())};
    CRawCall call;
    EXCEPINFO excep{};
    call.hr = p->Invoke(dispid, riid, LOCALE_USER_DEFAULT, flags, &params, &call.result, &excep,
                        &call.argErr);
    ClearExcepInfo(&excep);
    return call;
}

} // namespace

TEST_F(ComponentTest, FreshObjectHasEmptyPropertiesOneResourceAndFixedAnswers) {
    CWidget widget = Create();
    ASSERT_TRUE(widget.Dispatch());
    UINT typeInfoCount = 9;
    EXPECT_EQ(widget.Dispatch()->GetTypeInfoCount(&typeInfoCount), S_OK);
    EXPECT_EQ(typeInfoCount, 0u);
    CComPtr<IUnknown> asDispinterface;
    EXPECT_EQ(widget.Dispatch()->QueryInterface(DIID_IZephra, asDispinterface.ReceiveVoid()), S_OK);
    CComPtr<IUnknown> other;
    EXPECT_EQ(widget.Dispatch()->QueryInterface(IID_IClassFactory, other.ReceiveVoid()),
              E_NOINTERFACE);

    for (const DISPID dispid : kTextProperties)
        EXPECT_EQ(widget.GetText(dispid), "") << dispid;
    EXPECT_EQ(widget.GetDate(), 0.0);

    // The applet class file is always listed, in the component's own folder.
    ASSERT_EQ(widget.GetResourceNumber(), 1);
    EXPECT_EQ(widget.GetResourceName(0), "zephracore.class");
    EXPECT_EQ(widget.GetResourceLocalPath(0),
              fs::canonical(kComponentPath).parent_path().string() + "/");
    EXPECT_EQ(widget.GetResourceWebPath(0), "");

    // Members with fixed answers, whatever their (ignored) argument.
    struct Fixed {
        DISPID dispid;
        std::vector<CComVariant> args;
        CComVariant expected;
    };
    const Fixed fixed[] = {
        {DISPID_ZEPHRA_GETPLAQUETTYPEID, {}, CComVariant(LONG{1})},
        {DISPID_ZEPHRA_GETPLAQUETNAMEID, {}, CComVariant(LONG{2})},
        {DISPID_ZEPHRA_GETMENUTEXTID, {}, CComVariant(LONG{3})},
        {DISPID_ZEPHRA_GETMESSAGETEXTID, {}, CComVariant(LONG{4})},
        {DISPID_ZEPHRA_GETTIPSTEXTID, {}, CComVariant(LONG{5})},
        {DISPID_ZEPHRA_GETICONID, {CComVariant(SHORT{0})}, CComVariant(LONG{128})},
        {DISPID_ZEPHRA_GETICONID, {CComVariant(SHORT{-7})}, CComVariant(LONG{128})},
        {DISPID_ZEPHRA_RESERVED, {}, CComVariant(SHORT{0})},
        {DISPID_ZEPHRA_GETHTMLSEGMENTNUMBER, {}, CComVariant(SHORT{1})},
        {DISPID_ZEPHRA_GETHTMLPOSITION, {CComVariant(SHORT{-1})}, CComVariant("cursor")},
        {DISPID_ZEPHRA_GETHTMLPOSITION, {CComVariant(SHORT{0})}, CComVariant("cursor")},
        {DISPID_ZEPHRA_GETHTMLPOSITION, {CComVariant(SHORT{5})}, CComVariant("cursor")},
    };
    for (const Fixed& f : fixed) {
        const CComVariant result = widget.Call(f.dispid, f.args);
        ASSERT_EQ(result.vt, f.expected.vt) << f.dispid;
        if (result.vt == VT_BSTR)
            EXPECT_EQ(Utf8FromBstr(result.bstrVal), Utf8FromBstr(f.expected.bstrVal));
        else if (result.vt == VT_I4)
            EXPECT_EQ(result.lVal, f.expected.lVal) << f.dispid;
        else
            EXPECT_EQ(result.iVal, f.expected.iVal) << f.dispid;
    }

    // Config has no designer to run yet: FALSE, and the widget is as it was.
    const std::string body = widget.GetHTMLBody(1);
    const CComVariant configured = widget.Call(DISPID_ZEPHRA_CONFIG, {});
    ASSERT_EQ(configured.vt, VT_BOOL);
    EXPECT_EQ(configured.boolVal, VARIANT_FALSE);
    EXPECT_EQ(widget.GetHTMLBody(1), body);
}

TEST_F(ComponentTest, PropertiesAreDescriptionValuesAndOnlyReadOrSetOnesAreWritten) {
    CWidget widget = Create();
    widget.PutText(DISPID_ZEPHRA_TITLE, "Main menu");
    widget.PutText(DISPID_ZEPHRA_DESCRIPTION, "Shop navigation \xC3\xA9");
    widget.PutText(DISPID_ZEPHRA_PROGID, "Someone.Else");
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Main menu");
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_DESCRIPTION), "Shop navigation \xC3\xA9");
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_PROGID), "Someone.Else");
    // A number put into a text property arrives as its text.
    ASSERT_EQ(widget.Driver().PutProperty(DISPID_ZEPHRA_BITMAPFILENAME, CComVariant(LONG{42})),
              S_OK);
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_BITMAPFILENAME), "42");

    // PreviewPath is read once (empty), LastUpdateTime never.
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_PREVIEWPATH), "");
    const std::string out = Folder("out") + "w.wgt";
    ASSERT_TRUE(widget.WriteConfigFile(out));
    const std::string text = ReadFile(out);
    EXPECT_TRUE(Contains(text, "\r\nProgID = PlaquetServer.Zephra\r\n")) << text;
    EXPECT_TRUE(Contains(text, "\r\nTitle = Main menu\r\n"));
    EXPECT_TRUE(Contains(text, "\r\nBitmapFileName = 42\r\n"));
    EXPECT_TRUE(Contains(text, "\r\nPreviewPath = \r\n")) << "read before the write";
    EXPECT_FALSE(Contains(text, "LastUpdateTime")) << "never touched";
    EXPECT_FALSE(Contains(text, "Someone.Else"));
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_PROGID), "PlaquetServer.Zephra");
}

TEST_F(ComponentTest, LastUpdateTimeIsStoredAsNineDecimalsAndReadBack) {
    CWidget widget = Create();
    // 1 January 2000, noon, put as a DATE and as text the runtime converts.
    ASSERT_EQ(
        widget.Driver().PutProperty(DISPID_ZEPHRA_LASTUPDATETIME, CComVariant::FromDate(36526.5)),
        S_OK);
    EXPECT_EQ(widget.GetDate(), 36526.5);
    const std::string out = Folder("out") + "w.wgt";
    ASSERT_TRUE(widget.WriteConfigFile(out));
    EXPECT_TRUE(Contains(ReadFile(out), "\r\nLastUpdateTime = 36526.500000000\r\n"));
    ASSERT_EQ(
        widget.Driver().PutProperty(DISPID_ZEPHRA_LASTUPDATETIME, CComVariant("1999-12-31 06:00")),
        S_OK);
    EXPECT_EQ(widget.GetDate(), 36525.25);

    // Stored texts as files carry them: an empty or foreign value reads as 0, digits up to the
    // first character that is not part of a number count.
    const std::pair<std::string, DATE> stored[] = {
        {"", 0.0},          {"36526.500000000", 36526.5}, {"  -1.25", -1.25},
        {"yesterday", 0.0}, {"36526,5", 36526.0},
    };
    for (const auto& [value, expected] : stored) {
        const std::string path = Path("stored.wgt");
        WriteFile(path, ConfigText({"LastUpdateTime = " + value}, {}));
        ASSERT_TRUE(widget.ReadConfigFile(path));
        EXPECT_EQ(widget.GetDate(), expected) << '"' << value << '"';
    }

    // A host running under a locale with a decimal comma changes neither direction.
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name) == nullptr)
            continue;
        ASSERT_EQ(widget.Driver().PutProperty(DISPID_ZEPHRA_LASTUPDATETIME,
                                              CComVariant::FromDate(36526.5)),
                  S_OK);
        EXPECT_EQ(widget.GetDate(), 36526.5) << name;
        ASSERT_TRUE(widget.WriteConfigFile(out));
        EXPECT_TRUE(Contains(ReadFile(out), "LastUpdateTime = 36526.500000000")) << name;
        break;
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST_F(ComponentTest, ReadConfigFileRebuildsOwnFilesAndOnlyMergesOthers) {
    const std::string menu = WriteHomeMenu();
    const std::string src = Path("src");
    CWidget widget = Create();
    ASSERT_TRUE(widget.ReadConfigFile(menu));
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Home menu");
    // The resource list is the file's own until the model is next written out.
    EXPECT_EQ(widget.Resources(), (std::vector<std::string>{
                                      "zephracore.class|/stored/classes/|",
                                      "a.gif|/stored/images|img/",
                                  }));
    const std::string body = widget.GetHTMLBody(1);
    EXPECT_TRUE(Contains(body, "value=\"Home,")) << body;
    EXPECT_TRUE(Contains(body, "img/a.gif")) << "file names resolved in the file's folder";
    const std::string classFolder = fs::canonical(kComponentPath).parent_path().string() + "/";
    EXPECT_EQ(widget.Resources(), (std::vector<std::string>{
                                      "zephracore.class|" + classFolder + "|classes/",
                                      "a.gif|" + src + "|img/",
                                      "over.gif|" + src + "|img/",
                                      "click.wav|" + src + "|snd/",
                                  }));

    // A second own file merges: what it does not mention stays, the model is rebuilt from
    // the merged parameters.
    const std::string second = src + "/second.wgt";
    WriteFile(second, ConfigText({"ProgID = PlaquetServer.Zephra", "Description = Second"},
                                 {"I0-1 = Start,,index.html,,,,,,,1,,,,,"}));
    ASSERT_TRUE(widget.ReadConfigFile(second));
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Home menu");
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_DESCRIPTION), "Second");
    const std::string merged = widget.GetHTMLBody(1);
    EXPECT_TRUE(Contains(merged, "value=\"Start,")) << merged;
    EXPECT_FALSE(Contains(merged, "a.gif"));

    // Another component's file: TRUE, its descriptions arrive, the menu stays even though the
    // file announces no menus at all. ProgIDs compare byte for byte.
    for (const char* progId : {"Other.Widget", "plaquetserver.zephra"}) {
        const std::string other = Path("other/other.wgt");
        WriteFile(other,
                  ConfigText({std::string("ProgID = ") + progId, "Title = Theirs"}, {"Misc = 0,"}));
        ASSERT_TRUE(widget.ReadConfigFile(other)) << progId;
        EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_PROGID), progId);
        EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Theirs");
        EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_DESCRIPTION), "Second");
        EXPECT_EQ(widget.GetHTMLBody(1), merged) << progId;
    }

    // A file that cannot be opened: FALSE and nothing changes.
    widget.PutText(DISPID_ZEPHRA_TITLE, "Mine");
    for (const std::string& missing : {Path("nothing.wgt"), Path("src"), std::string()}) {
        EXPECT_FALSE(widget.ReadConfigFile(missing)) << missing;
        EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Mine");
        EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_PROGID), "plaquetserver.zephra");
        EXPECT_EQ(widget.GetHTMLBody(1), merged);
    }
}

TEST_F(ComponentTest, HtmlBodyFormsAndResourceMembers) {
    const std::string menu = WriteHomeMenu();
    const std::string src = Path("src");
    CWidget widget = Create();
    ASSERT_TRUE(widget.ReadConfigFile(menu));
    widget.PutText(DISPID_ZEPHRA_PREVIEWPATH, "file:///preview/");

    const std::string local = widget.GetHTMLBody(0);
    EXPECT_TRUE(Contains(local, "codebase=\"file:///preview/\"")) << local;
    EXPECT_TRUE(Contains(local, "file:///preview/a.gif"));
    const std::string web = widget.GetHTMLBody(1);
    EXPECT_TRUE(Contains(web, "codebase=\"classes/\"")) << web;
    EXPECT_TRUE(Contains(web, "img/over.gif"));
    EXPECT_TRUE(Contains(web, "snd/click.wav"));
    const std::string bare = widget.GetHTMLBody(2);
    EXPECT_FALSE(Contains(bare, "codebase")) << bare;
    EXPECT_TRUE(Contains(bare, ",a.gif,"));
    for (const SHORT segment : {SHORT{-1}, SHORT{5}})
        EXPECT_EQ(widget.GetHTMLBody(0, segment), local) << "one segment, any index";

    // Indices and names outside the list answer "".
    const SHORT count = widget.GetResourceNumber();
    ASSERT_EQ(count, 4);
    for (const SHORT index : {SHORT{-1}, count, SHORT{32767}}) {
        EXPECT_EQ(widget.GetResourceName(index), "") << index;
        EXPECT_EQ(widget.GetResourceLocalPath(index), "") << index;
        EXPECT_EQ(widget.GetResourceWebPath(index), "") << index;
    }
    EXPECT_EQ(widget.GetResourceLocalPathByName("over.gif"), src);
    EXPECT_EQ(widget.GetResourceWebPathByName("click.wav"), "snd/");
    for (const char* name : {"OVER.GIF", "", "over"}) {
        EXPECT_EQ(widget.GetResourceLocalPathByName(name), "") << name;
        EXPECT_EQ(widget.GetResourceWebPathByName(name), "") << name;
    }

    // SetResourceLocalPath changes the list, not the model, until the next rebuild.
    EXPECT_TRUE(widget.SetResourceLocalPath("/mirror"));
    for (SHORT i = 0; i < count; ++i)
        EXPECT_EQ(widget.GetResourceLocalPath(i), "/mirror") << i;
    EXPECT_EQ(widget.GetResourceLocalPathByName("a.gif"), "/mirror");
    widget.GetHTMLBody(1);
    EXPECT_EQ(widget.GetResourceLocalPathByName("a.gif"), src);

    // A support file deleted from disk leaves the list and the markup at the next rebuild.
    fs::remove(src + "/over.gif");
    EXPECT_FALSE(Contains(widget.GetHTMLBody(1), "over.gif"));
    EXPECT_EQ(widget.GetResourceNumber(), 3);
    EXPECT_EQ(widget.GetResourceLocalPathByName("over.gif"), "");
}

TEST_F(ComponentTest, WriteConfigFileCopiesSupportFilesAndWritesWhatReadsBack) {
    const std::string menu = WriteHomeMenu();
    CWidget widget = Create();
    ASSERT_TRUE(widget.ReadConfigFile(menu));
    const std::string dst = Folder("site");
    // The name a.gif is taken in the destination by another file.
    WriteFile(dst + "a.gif", "someone else's image");

    ASSERT_TRUE(widget.WriteConfigFile(dst + "page.wgt"));
    EXPECT_EQ(ReadFile(dst + "a.gif"), "someone else's image");
    EXPECT_EQ(ReadFile(dst + "a-2.gif"), "normal image");
    EXPECT_EQ(ReadFile(dst + "over.gif"), "over image");
    EXPECT_EQ(ReadFile(dst + "click.wav"), "click sound");
    EXPECT_EQ(ReadFile(Path("src/a.gif")), "normal image") << "sources stay";

    // The widget now uses the copies; the file holds the same list and the local markup.
    const std::string folder = Path("site");
    const std::vector<std::string> resources = widget.Resources();
    ASSERT_EQ(resources.size(), 4u);
    EXPECT_EQ(resources[1], "a-2.gif|" + folder + "|img/");
    EXPECT_EQ(resources[2], "over.gif|" + folder + "|img/");
    const std::string text = ReadFile(dst + "page.wgt");
    EXPECT_TRUE(Contains(text, "\r\na-2.gif=" + folder + "=img/\r\n")) << text;
    EXPECT_TRUE(Contains(text, "\r\nSegment Position = cursor\r\n"));
    EXPECT_TRUE(Contains(text, widget.GetHTMLBody(0)));
    EXPECT_TRUE(Contains(text, ",a-2.gif,over.gif,"));

    // A second widget reading the file gets the same menu and the same list.
    CWidget reader = Create();
    ASSERT_TRUE(reader.ReadConfigFile(dst + "page.wgt"));
    EXPECT_EQ(reader.GetText(DISPID_ZEPHRA_TITLE), "Home menu");
    EXPECT_EQ(reader.Resources(), resources);
    EXPECT_EQ(reader.GetHTMLBody(1), widget.GetHTMLBody(1));

    // Writing again into the same folder copies nothing more.
    ASSERT_TRUE(widget.WriteConfigFile(dst + "page.wgt"));
    EXPECT_FALSE(fs::exists(dst + "a-3.gif"));
    EXPECT_EQ(widget.Resources(), resources);
}

TEST_F(ComponentTest, WriteConfigFileIntoMissingFolderAnswersFalse) {
    CWidget widget = Create();
    EXPECT_FALSE(widget.WriteConfigFile(Path("no/such/folder/w.wgt")));
    EXPECT_FALSE(fs::exists(Path("no")));
    EXPECT_FALSE(widget.WriteConfigFile(Folder("dir")));
    EXPECT_TRUE(widget.WriteConfigFile(Path("dir/w.wgt")));
}

TEST_F(ComponentTest, WriteErrorAfterOpeningIsAnExceptionAndTheObjectStaysUsable) {
    const std::string menu = WriteHomeMenu();
    CWidget widget = Create();
    ASSERT_TRUE(widget.ReadConfigFile(menu));
    const std::string target = Path("src/menu.wgt");
    const std::string before = ReadFile(target);

    // Files may grow to 16 bytes only: the temporary file opens, writing it fails.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    CComVariant result;
    const HRESULT hr =
        widget.Driver().Invoke1(DISPID_ZEPHRA_WRITECONFIGFILE, CComVariant(target), &result);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(widget.Driver().ExceptionSource(), "Brimble Zephra");
    const std::string description = widget.Driver().ExceptionDescription();
    EXPECT_TRUE(Contains(description, target)) << description;
    EXPECT_TRUE(Contains(description, "File too large")) << description;
    EXPECT_EQ(ReadFile(target), before) << "the earlier file is whole";
    for (const auto& entry : fs::directory_iterator(Path("src")))
        EXPECT_NE(entry.path().filename().string().front(), '.') << "no temporary file left";

    // The object carries on.
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "Home menu");
    ASSERT_TRUE(widget.WriteConfigFile(target));
    CWidget reader = Create();
    ASSERT_TRUE(reader.ReadConfigFile(target));
    EXPECT_EQ(reader.GetHTMLBody(1), widget.GetHTMLBody(1));
}

TEST_F(ComponentTest, RelativePathsAreTakenInTheCurrentFolder) {
    const std::string menu = WriteHomeMenu();
    CWidget widget = Create();
    ASSERT_TRUE(widget.ReadConfigFile(menu));
    const std::string site = Folder("site");
    const fs::path previous = fs::current_path();
    fs::current_path(site);
    const bool written = widget.WriteConfigFile("page.wgt");
    fs::current_path(previous);
    ASSERT_TRUE(written);
    EXPECT_TRUE(fs::exists(site + "a.gif"));
    // The model keeps full paths, so leaving the folder loses nothing.
    EXPECT_EQ(widget.GetResourceLocalPathByName("a.gif"), Path("site"));
    EXPECT_TRUE(Contains(widget.GetHTMLBody(1), "img/a.gif"));
}

TEST_F(ComponentTest, DispatchRulesOfARealAutomationObject) {
    CWidget widget = Create();
    IDispatch* p = widget.Dispatch();
    const WORD get = DISPATCH_PROPERTYGET;
    const WORD put = DISPATCH_PROPERTYPUT;
    const WORD method = DISPATCH_METHOD;
    const CComVariant i2(SHORT{0});
    const CComVariant text("x");
    struct Case {
        const char* what;
        DISPID dispid;
        WORD flags;
        std::vector<CComVariant> args;
        std::vector<DISPID> named;
        HRESULT expected;
        UINT argErr; // checked when not 99
    };
    const Case cases[] = {
        {"unknown id 0", 0, method, {}, {}, DISP_E_MEMBERNOTFOUND, 99},
        {"unknown id 28", 28, method | get, {}, {}, DISP_E_MEMBERNOTFOUND, 99},
        {"unknown id -1", -1, get, {}, {}, DISP_E_MEMBERNOTFOUND, 99},
        {"property called as method",
         DISPID_ZEPHRA_TITLE,
         method,
         {},
         {},
         DISP_E_MEMBERNOTFOUND,
         99},
        {"method read as property",
         DISPID_ZEPHRA_GETRESOURCENUMBER,
         get,
         {},
         {},
         DISP_E_MEMBERNOTFOUND,
         99},
        {"method put as property",
         DISPID_ZEPHRA_SETRESOURCELOCALPATH,
         put,
         {text},
         {DISPID_PROPERTYPUT},
         DISP_E_MEMBERNOTFOUND,
         99},
        {"put by reference",
         DISPID_ZEPHRA_TITLE,
         DISPATCH_PROPERTYPUTREF,
         {text},
         {DISPID_PROPERTYPUT},
         DISP_E_MEMBERNOTFOUND,
         99},
        {"get or call on a property", DISPID_ZEPHRA_TITLE, method | get, {}, {}, S_OK, 99},
        {"get or call on a method",
         DISPID_ZEPHRA_GETRESOURCENUMBER,
         method | get,
         {},
         {},
         S_OK,
         99},
        {"too few arguments",
         DISPID_ZEPHRA_GETHTMLBODY,
         method,
         {i2},
         {},
         DISP_E_BADPARAMCOUNT,
         99},
        {"too many arguments",
         DISPID_ZEPHRA_GETRESOURCENUMBER,
         method,
         {i2},
         {},
         DISP_E_BADPARAMCOUNT,
         99},
        {"argument to a property get",
         DISPID_ZEPHRA_TITLE,
         get,
         {i2},
         {},
         DISP_E_BADPARAMCOUNT,
         99},
        {"long where short is expected",
         DISPID_ZEPHRA_GETRESOURCENAME,
         method,
         {CComVariant(LONG{0})},
         {},
         S_OK,
         99},
        {"numeric text where short is expected",
         DISPID_ZEPHRA_GETRESOURCENAME,
         method,
         {CComVariant(" 0")},
         {},
         S_OK,
         99},
        // Arguments are counted from the last one: the form is rgvarg[0].
        {"text form", DISPID_ZEPHRA_GETHTMLBODY, method, {i2, text}, {}, DISP_E_TYPEMISMATCH, 0},
        {"text segment", DISPID_ZEPHRA_GETHTMLBODY, method, {text, i2}, {}, DISP_E_TYPEMISMATCH, 1},
        {"short out of range",
         DISPID_ZEPHRA_GETICONID,
         method,
         {CComVariant(LONG{70000})},
         {},
         DISP_E_OVERFLOW,
         0},
        {"named argument to a method",
         DISPID_ZEPHRA_GETRESOURCENAME,
         method,
         {i2},
         {7},
         DISP_E_NONAMEDARGS,
         99},
        {"put without the put argument",
         DISPID_ZEPHRA_TITLE,
         put,
         {text},
         {},
         DISP_E_PARAMNOTOPTIONAL,
         99},
        {"put with an extra argument",
         DISPID_ZEPHRA_TITLE,
         put,
         {i2, text},
         {DISPID_PROPERTYPUT},
         DISP_E_BADPARAMCOUNT,
         99},
        {"date put as words",
         DISPID_ZEPHRA_LASTUPDATETIME,
         put,
         {CComVariant("noon")},
         {DISPID_PROPERTYPUT},
         DISP_E_TYPEMISMATCH,
         0},
    };
    for (const Case& c : cases) {
        const CRawCall call = RawInvoke(p, c.dispid, c.flags, c.args, c.named);
        EXPECT_EQ(call.hr, c.expected) << c.what << ": " << DescribeHResult(call.hr);
        if (c.argErr != 99) {
            EXPECT_EQ(call.argErr, c.argErr) << c.what;
        }
    }
    EXPECT_EQ(RawInvoke(p, DISPID_ZEPHRA_TITLE, get, {}, {}, IID_IDispatch).hr,
              DISP_E_UNKNOWNINTERFACE);

    // Failed puts change nothing; a result nobody asked for is simply dropped.
    EXPECT_EQ(widget.GetText(DISPID_ZEPHRA_TITLE), "");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(p->Invoke(DISPID_ZEPHRA_GETHTMLSEGMENTNUMBER, IID_NULL, 0, method, &none, nullptr,
                        nullptr, nullptr),
              S_OK);
    EXPECT_EQ(p->Invoke(DISPID_ZEPHRA_GETRESOURCENUMBER, IID_NULL, 0, method, nullptr, nullptr,
                        nullptr, nullptr),
              S_OK);
}

TEST_F(ComponentTest, EveryMemberIsFoundByNameAndAnswersWithItsType) {
    CWidget widget = Create();
    const std::string nowhere = Path("none/x.wgt");
    struct Member {
        const char* name;
        DISPID dispid;
        bool property;
        std::vector<CComVariant> args;
        VARTYPE result;
    };
    const CComVariant i2(SHORT{0});
    const Member members[] = {
        {"ProgID", 1, true, {}, VT_BSTR},
        {"Title", 2, true, {}, VT_BSTR},
        {"Description", 3, true, {}, VT_BSTR},
        {"BitmapFileName", 4, true, {}, VT_BSTR},
        {"PreviewPath", 5, true, {}, VT_BSTR},
        {"LastUpdateTime", 6, true, {}, VT_DATE},
        {"ReadConfigFile", 7, false, {CComVariant(nowhere)}, VT_BOOL},
        {"WriteConfigFile", 8, false, {CComVariant(nowhere)}, VT_BOOL},
        {"Config", 9, false, {}, VT_BOOL},
        {"GetPlaquetTypeID", 10, false, {}, VT_I4},
        {"GetPlaquetNameID", 11, false, {}, VT_I4},
        {"GetMenuTextID", 12, false, {}, VT_I4},
        {"GetMessageTextID", 13, false, {}, VT_I4},
        {"GetTipsTextID", 14, false, {}, VT_I4},
        {"GetIconID", 15, false, {i2}, VT_I4},
        {"Reserved", 16, false, {}, VT_I2},
        {"GetHTMLSegmentNumber", 17, false, {}, VT_I2},
        {"GetHTMLPosition", 18, false, {i2}, VT_BSTR},
        {"GetHTMLBody", 19, false, {i2, i2}, VT_BSTR},
        {"GetResourceInstance", 20, false, {}, VT_I4},
        {"GetResourceNumber", 21, false, {}, VT_I2},
        {"GetResourceName", 22, false, {i2}, VT_BSTR},
        {"GetResourceLocalPath", 23, false, {i2}, VT_BSTR},
        {"GetResourceWebPath", 24, false, {i2}, VT_BSTR},
        {"GetResourceLocalPathByName", 25, false, {CComVariant("a.gif")}, VT_BSTR},
        {"GetResourceWebPathByName", 26, false, {CComVariant("a.gif")}, VT_BSTR},
        {"SetResourceLocalPath", 27, false, {CComVariant("/x")}, VT_BOOL},
    };
    for (const Member& m : members) {
        std::string lower = m.name, upper = m.name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& name : {std::string(m.name), lower, upper}) {
            DISPID dispid = 0;
            EXPECT_EQ(widget.Driver().GetIDOfName(name, &dispid), S_OK) << name;
            EXPECT_EQ(dispid, m.dispid) << name;
        }
        const CRawCall call =
            RawInvoke(widget.Dispatch(), m.dispid,
                      m.property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD, m.args);
        EXPECT_EQ(call.hr, S_OK) << m.name;
        EXPECT_EQ(call.result.vt, m.result) << m.name;
    }

    DISPID dispid = 0;
    EXPECT_EQ(widget.Driver().GetIDOfName("Configure", &dispid), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispid, DISPID_UNKNOWN);
    // Parameter names are not known; the member is still found.
    std::u16string member = u"GetHTMLBody", parameter = u"form";
    LPOLESTR names[] = {member.data(), parameter.data()};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(widget.Dispatch()->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_ZEPHRA_GETHTMLBODY);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(widget.Dispatch()->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids),
              DISP_E_UNKNOWNINTERFACE);
}

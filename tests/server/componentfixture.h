#pragma once
// The menu component as hosts meet it: a scratch folder with its own registry, the built
// PlaquetZephra.so registered there, objects created by ProgID and driven by dispatch id. The
// test program does not link the component; the COM runtime loads it.

#include "component/server/zephraids.h"
#include "platform/com/com.h"
#include "platform/registry/regkey.h"
#include "tests/support/files.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace zephratest {

namespace fs = std::filesystem;

inline const std::string kComponentPath = std::string(ZEPHRA_BIN_DIR) + "/PlaquetZephra.so";

// Whether the dynamic linker has the library mapped now (without loading it).
inline bool IsMapped(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    ::dlclose(handle);
    return true;
}

// A widget configuration file: description lines, parameter lines and optionally a resource
// list, each as "key = value" / "name=folder=web" without line ends.
inline std::string ConfigText(const std::vector<std::string>& descriptions,
                              const std::vector<std::string>& parameters,
                              const std::vector<std::string>& resources = {}) {
    std::string text = "========== Description Part Begin ==========\r\n";
    for (const std::string& line : descriptions)
        text += line + "\r\n";
    text += "========== Description Part End ==========\r\n\r\n";
    text += "========== Parameter Part Begin ==========\r\n";
    for (const std::string& line : parameters)
        text += line + "\r\n";
    text += "========== Parameter Part End ==========\r\n\r\n";
    text += "========== Resource Part Begin ==========\r\n";
    text += "Resource Number = " + std::to_string(resources.size()) + "\r\n";
    for (const std::string& line : resources)
        text += line + "\r\n";
    text += "========== Resource Part End ==========\r\n\r\n";
    text += "========== HTML Part Begin ==========\r\nSegment Number = 0\r\n";
    text += "========== HTML Part End ==========\r\n\r\n";
    return text;
}

// One top-level menu with one item "Home" that uses an image for its normal and mouse-over
// states and a click sound: a.gif and over.gif under the web folder "img/", click.wav under
// "snd/". The applet's web code base is "classes/".
inline std::vector<std::string> HomeMenuParameters() {
    return {
        "Version = 2.1",
        "ApStyle = Shop,0,400,200,0,0,,0,0,0,,,,classes/,1,Loading Image...",
        "MStyle-0 = 0,0,0,0,40,15,80,20,5,0,top-level Menu,1",
        "IStyle-0 = 0",
        "I0-1 = Home,,index.html,,a.gif,over.gif,,,click.wav,1,img/,img/,,,snd/",
        "Misc = 1,1,-0,",
    };
}

// Typed calls by dispatch id. Every call is expected to succeed with the result type the
// interface gives; failures are reported at the caller's line.
class CWidget {
public:
    CWidget() = default;
    explicit CWidget(IDispatch* p) : m_driver(p) {}

    IDispatch* Dispatch() const { return m_driver.p; }
    CComDispatchDriver& Driver() { return m_driver; }
    void Release() { m_driver.p.Release(); }

    std::string GetText(DISPID dispid) {
        CComVariant result;
        EXPECT_EQ(m_driver.GetProperty(dispid, &result), S_OK) << "get " << dispid;
        return Text(result);
    }
    void PutText(DISPID dispid, const std::string& value) {
        EXPECT_EQ(m_driver.PutProperty(dispid, CComVariant(value)), S_OK) << "put " << dispid;
    }
    DATE GetDate() {
        CComVariant result;
        EXPECT_EQ(m_driver.GetProperty(DISPID_ZEPHRA_LASTUPDATETIME, &result), S_OK);
        EXPECT_EQ(result.vt, VT_DATE);
        return result.date;
    }

    bool ReadConfigFile(const std::string& path) {
        return Bool(DISPID_ZEPHRA_READCONFIGFILE, {CComVariant(path)});
    }
    bool WriteConfigFile(const std::string& path) {
        return Bool(DISPID_ZEPHRA_WRITECONFIGFILE, {CComVariant(path)});
    }
    std::string GetHTMLBody(SHORT form, SHORT segment = 0) {
        return Text(Call(DISPID_ZEPHRA_GETHTMLBODY, {CComVariant(segment), CComVariant(form)}));
    }
    SHORT GetResourceNumber() {
        const CComVariant result = Call(DISPID_ZEPHRA_GETRESOURCENUMBER, {});
        EXPECT_EQ(result.vt, VT_I2);
        return result.iVal;
    }
    std::string GetResourceName(SHORT index) {
        return Text(Call(DISPID_ZEPHRA_GETRESOURCENAME, {CComVariant(index)}));
    }
    std::string GetResourceLocalPath(SHORT index) {
        return Text(Call(DISPID_ZEPHRA_GETRESOURCELOCALPATH, {CComVariant(index)}));
    }
    std::string GetResourceWebPath(SHORT index) {
        return Text(Call(DISPID_ZEPHRA_GETRESOURCEWEBPATH, {CComVariant(index)}));
    }
    std::string GetResourceLocalPathByName(const std::string& name) {
        return Text(Call(DISPID_ZEPHRA_GETRESOURCELOCALPATHBYNAME, {CComVariant(name)}));
    }
    std::string GetResourceWebPathByName(const std::string& name) {
        return Text(Call(DISPID_ZEPHRA_GETRESOURCEWEBPATHBYNAME, {CComVariant(name)}));
    }
    bool SetResourceLocalPath(const std::string& folder) {
        return Bool(DISPID_ZEPHRA_SETRESOURCELOCALPATH, {CComVariant(folder)});
    }
    // "name|local folder|web path" of every entry, for whole-list comparisons.
    std::vector<std::string> Resources() {
        std::vector<std::string> rows;
        const SHORT count = GetResourceNumber();
        for (SHORT i = 0; i < count; ++i)
            rows.push_back(GetResourceName(i) + "|" + GetResourceLocalPath(i) + "|" +
                           GetResourceWebPath(i));
        return rows;
    }

    CComVariant Call(DISPID dispid, const std::vector<CComVariant>& args) {
        CComVariant result;
        EXPECT_EQ(m_driver.InvokeN(dispid, std::span<const CComVariant>(args), &result), S_OK)
            << "call " << dispid << ": " << m_driver.ExceptionDescription();
        return result;
    }

    static std::string Text(const CComVariant& value) {
        EXPECT_EQ(value.vt, VT_BSTR);
        return value.vt == VT_BSTR ? Utf8FromBstr(value.bstrVal) : std::string("<not text>");
    }

private:
    bool Bool(DISPID dispid, const std::vector<CComVariant>& args) {
        const CComVariant result = Call(dispid, args);
        EXPECT_EQ(result.vt, VT_BOOL);
        return result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE;
    }

    CComDispatchDriver m_driver;
};

// A scratch folder with the registry in it, COM initialised and the component registered.
class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("ZEPHRA_REGISTRY_DIR");
        m_bHadRegistryDir = old != nullptr;
        if (m_bHadRegistryDir)
            m_strOldRegistryDir = old;
        std::string templ = (fs::temp_directory_path() / "zephra-server-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_root = fs::canonical(templ);
        ::setenv("ZEPHRA_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(RegisterServerLibrary(kComponentPath), S_OK) << CoGetLastErrorText();
    }

    void TearDown() override {
        CoUninitialize();
        std::error_code ec;
        fs::remove_all(m_root, ec);
        if (m_bHadRegistryDir)
            ::setenv("ZEPHRA_REGISTRY_DIR", m_strOldRegistryDir.c_str(), 1);
        else
            ::unsetenv("ZEPHRA_REGISTRY_DIR");
    }

    CWidget Create() {
        CComPtr<IDispatch> p;
        EXPECT_EQ(p.CoCreateInstance(std::string(kZephraProgID)), S_OK) << CoGetLastErrorText();
        return CWidget(p);
    }

    // root/relative, as text.
    std::string Path(const std::string& relative) const { return (m_root / relative).string(); }
    // A folder under the root, created, ending with '/'.
    std::string Folder(const std::string& relative) const {
        fs::create_directories(m_root / relative);
        return Path(relative) + "/";
    }

    // src/: the three support files of HomeMenuParameters and "menu.wgt" describing that
    // menu, with a resource list of its own that differs from the model's.
    std::string WriteHomeMenu() {
        const std::string src = Folder("src");
        WriteFile(src + "a.gif", "normal image");
        WriteFile(src + "over.gif", "over image");
        WriteFile(src + "click.wav", "click sound");
        WriteFile(src + "menu.wgt",
                  ConfigText({"ProgID = PlaquetServer.Zephra", "Title = Home menu"},
                             HomeMenuParameters(),
                             {"zephracore.class=/stored/classes/=", "a.gif=/stored/images=img/"}));
        return src + "menu.wgt";
    }

    fs::path m_root;
    bool m_bHadRegistryDir = false;
    std::string m_strOldRegistryDir;
};

} // namespace zephratest

#pragma once
// The component as a host meets it: a scratch folder with its own registry, copies of the built
// PlaquetZephra.so installed in folders of their own (so each test decides what lies beside the
// component: templates, the sample page) and registered there. The test programs link the
// binding and the platform library only; the COM runtime loads the component.

#include "editor/binding/plaquet.h"
#include "platform/com/com.h"
#include "platform/registry/regkey.h"
#include "tests/support/files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace hosttest {

namespace fs = std::filesystem;

inline const std::string kBuiltComponent = std::string(ZEPHRA_BIN_DIR) + "/PlaquetZephra.so";
// The shipped templates and the sample widget with its images.
inline const std::string kTemplateData = ZEPHRA_DATA_DIR "/component";
inline const std::string kSampleData = ZEPHRA_DATA_DIR "/sample";

inline const CLSID kZephraClsid = MakeGuid("{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}");

inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A configuration file holding only description entries ("key = value").
inline std::string DescriptionOnlyConfig(const std::vector<std::string>& entries) {
    std::string text = "========== Description Part Begin ==========\r\n";
    for (const std::string& entry : entries)
        text += entry + "\r\n";
    return text + "========== Description Part End ==========\r\n\r\n";
}

// Remembers what the binding said.
class CRecordingPrompt : public IPrompt {
public:
    void Message(const std::string& text) override { m_messages.push_back(text); }
    std::vector<std::string> m_messages;
};

class CHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(kBuiltComponent)) << kBuiltComponent;
        const char* old = std::getenv("ZEPHRA_REGISTRY_DIR");
        m_bHadRegistry = old != nullptr;
        if (m_bHadRegistry)
            m_strOldRegistry = old;
        std::string root = (fs::temp_directory_path() / "zephra-host-XXXXXX").string();
        ASSERT_NE(::mkdtemp(root.data()), nullptr);
        // The component reports canonical paths; so do the expectations.
        m_root = fs::canonical(root);
        ::setenv("ZEPHRA_REGISTRY_DIR", RegistryFolder().c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }

    void TearDown() override {
        CoUninitialize();
        std::error_code ec;
        fs::remove_all(m_root, ec);
        if (m_bHadRegistry)
            ::setenv("ZEPHRA_REGISTRY_DIR", m_strOldRegistry.c_str(), 1);
        else
            ::unsetenv("ZEPHRA_REGISTRY_DIR");
    }

    std::string Path(const std::string& relative) const { return (m_root / relative).string(); }
    std::string RegistryFolder() const { return Path("registry"); }

    // A copy of the built component in folder (created), not registered. Returns its path.
    std::string CopyComponent(const std::string& folder) {
        fs::create_directories(folder);
        const std::string library = folder + "/PlaquetZephra.so";
        fs::copy_file(kBuiltComponent, library, fs::copy_options::overwrite_existing);
        return library;
    }

    // A copy of the component in folder, registered. Returns its path.
    std::string InstallComponent(const std::string& folder) {
        const std::string library = CopyComponent(folder);
        EXPECT_EQ(RegisterServerLibrary(library), S_OK) << CoGetLastErrorText();
        return library;
    }

    // The shipped templates, copied into folder.
    static void CopyTemplates(const std::string& folder) {
        for (const auto& entry : fs::directory_iterator(kTemplateData)) {
            if (entry.path().extension() == ".wgt")
                fs::copy_file(entry.path(), fs::path(folder) / entry.path().filename());
        }
    }

    // The sample widget with its images, copied into folder. Returns the path of Sample.wgt.
    static std::string CopySample(const std::string& folder) {
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(kSampleData))
            fs::copy_file(entry.path(), fs::path(folder) / entry.path().filename());
        return folder + "/Sample.wgt";
    }

    // A widget the component wrote, whose ProgID was then changed to another component's.
    std::string WriteForeignWidget(const std::string& path, const std::string& title) {
        CRecordingPrompt prompt;
        CPlaquet widget(prompt);
        EXPECT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
        widget.SetTitle(title);
        EXPECT_TRUE(widget.WriteConfigFile(path));
        WriteFile(path, ReplaceAll(ReadFile(path), "ProgID = PlaquetServer.Zephra",
                                   "ProgID = PlaquetServer.Other"));
        return path;
    }

    fs::path m_root;

private:
    bool m_bHadRegistry = false;
    std::string m_strOldRegistry;
};

} // namespace hosttest

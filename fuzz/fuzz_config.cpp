// A configuration file through the reader of the file format, the parameter reader, the markup
// writer in both forms and the parameter writer, as ReadConfigFile, GetHTMLBody and
// WriteConfigFile run them. File fields resolve in a folder that does not exist, so nothing on
// disk is touched. What the writer stores must read back to the same tree.
#include "component/model/markup.h"
#include "component/model/menumodel.h"
#include "component/model/parameters.h"
#include "component/model/widgetconfig.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
const std::string kBase = "/nonexistent-zephra-fuzz/";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CWidgetConfig config;
    config.MergeText(std::string_view(reinterpret_cast<const char*>(data), size));

    CAppletParameters applet;
    applet.m_strClassFolder = kBase;
    ReadParameters(applet, config, kBase);
    (void)BuildHtmlBody(applet, config, 0);
    (void)BuildHtmlBody(applet, config, 1);
    (void)BuildHtmlBody(applet, config, 7);

    WriteParameters(applet, config);
    CAppletParameters back;
    back.m_strClassFolder = kBase;
    if (!ReadParameters(back, config, kBase))
        std::abort();
    if (back.m_menus.size() != applet.m_menus.size())
        std::abort();
    for (size_t i = 0; i < applet.m_menus.size(); ++i)
        if (!SameMenuTree(*applet.m_menus[i], *back.m_menus[i]))
            std::abort();
    return 0;
}

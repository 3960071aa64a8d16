#include "editor/binding/widgetrules.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

TEST(WidgetRules, NamesAreLettersAndDigitsOnly) {
    struct Case {
        std::string name;
        std::string_view widgetError;
        std::string_view templateError;
    };
    const Case cases[] = {
        {"Menu1", {}, {}},
        {"Z", {}, {}},
        {"0123456789abcXYZ", {}, {}},
        {"", kMsgEnterName, kMsgEnterName},
        {"My Menu", kMsgInvalidWidgetName, kMsgInvalidTemplateName},
        {"my_menu", kMsgInvalidWidgetName, kMsgInvalidTemplateName},
        {"my-menu", kMsgInvalidWidgetName, kMsgInvalidTemplateName},
        {"Men\xC3\xBC", kMsgInvalidWidgetName, kMsgInvalidTemplateName}, // "Menü"
        {std::string("a\0b", 3), kMsgInvalidWidgetName, kMsgInvalidTemplateName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidWidgetName(c.name), c.widgetError.empty());
        EXPECT_EQ(WidgetNameError(c.name), c.widgetError);
        EXPECT_EQ(TemplateNameError(c.name), c.templateError);
    }
    EXPECT_EQ(kMsgInvalidWidgetName,
              "The name of widget is not valid.It accept only alphanumeric characters.\nYou have "
              "entered an invalid character, such as '-', '_', ':', ';', '#', (), [], or ?, in "
              "the name.\n");
}

TEST(WidgetRules, TemplateFilesAndPreviewPaths) {
    EXPECT_EQ(TemplateFileName("Menu1", "PlaquetServer.Zephra"), "Menu1_PlaquetServer.Zephra.wgt");

    const std::pair<std::string, std::string> paths[] = {
        {"", ""},        {"images\\", "images/"}, {"a\\b\\", "a/b/"},
        {"a/b", "a/b/"}, {"C:\\web", "C:/web/"},  {"http://host/x/", "http://host/x/"},
    };
    for (const auto& [given, stored] : paths)
        EXPECT_EQ(NormalizePreviewPath(given), stored) << given;
}

TEST(WidgetRules, SaveStampIsTheLocalTimeAsAnOleDate) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz == nullptr ? "" : oldTz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_DOUBLE_EQ(LocalTimeToDate(946728000), 36526.5); // 2000-01-01 12:00:00
    EXPECT_DOUBLE_EQ(LocalTimeToDate(0), 25569.0);         // 1970-01-01
    ::setenv("TZ", "UTC-2", 1);                            // two hours east of Greenwich
    ::tzset();
    EXPECT_DOUBLE_EQ(LocalTimeToDate(946728000), 36526.5 + 2.0 / 24);

    const std::time_t before = std::time(nullptr);
    const DATE now = CurrentLocalDate();
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(now, LocalTimeToDate(before));
    EXPECT_LT(now, LocalTimeToDate(after) + 1.0 / 86400);

    if (oldTz == nullptr)
        ::unsetenv("TZ");
    else
        ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
}

TEST(WidgetRules, DocumentMessages) {
    EXPECT_EQ(CreateDispatchErrorMessage("PlaquetServer.Zephra"),
              "Create the dispatch of the PlaquetServer.Zephra Error!");
    EXPECT_EQ(OpenErrorMessage("/w/a.wgt"), "Open /w/a.wgt Error!");
    EXPECT_EQ(SaveErrorMessage("/w/a.wgt"), "Save to /w/a.wgt Error!");
    EXPECT_EQ(NotSavedByMessage(), "This File is not saved by Brimble Zephra!");
}

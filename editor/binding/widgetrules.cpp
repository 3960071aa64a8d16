#include "editor/binding/widgetrules.h"

#include <time.h>

namespace {

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool ToDate(const std::tm& local, WORD milliseconds, DATE& date) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(local.tm_year + 1900);
    st.wMonth = static_cast<WORD>(local.tm_mon + 1);
    st.wDay = static_cast<WORD>(local.tm_mday);
    st.wHour = static_cast<WORD>(local.tm_hour);
    st.wMinute = static_cast<WORD>(local.tm_min);
    // A leap second counts as the last second of its minute.
    st.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    st.wMilliseconds = milliseconds;
    return SystemTimeToVariantTime(&st, &date);
}

} // namespace

bool IsValidWidgetName(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        if (!IsNameChar(c))
            return false;
    }
    return true;
}

std::string_view WidgetNameError(std::string_view name) {
    if (name.empty())
        return kMsgEnterName;
    return IsValidWidgetName(name) ? std::string_view() : kMsgInvalidWidgetName;
}

std::string_view TemplateNameError(std::string_view name) {
    if (name.empty())
        return kMsgEnterName;
    return IsValidWidgetName(name) ? std::string_view() : kMsgInvalidTemplateName;
}

std::string TemplateFileName(std::string_view name, std::string_view progId) {
    std::string file(name);
    file += '_';
    file += progId;
    file += '.';
    file += kWidgetExtension;
    return file;
}

std::string NormalizePreviewPath(std::string_view text) {
    std::string path(text);
    if (path.empty())
        return path;
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    if (path.back() != '/')
        path += '/';
    return path;
}

DATE LocalTimeToDate(std::time_t t) {
    std::tm local{};
    DATE date = 0;
    if (::localtime_r(&t, &local) == nullptr || !ToDate(local, 0, date))
        return 0;
    return date;
}

DATE CurrentLocalDate() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    DATE date = 0;
    if (::localtime_r(&now.tv_sec, &local) == nullptr ||
        !ToDate(local, static_cast<WORD>(now.tv_nsec / 1000000), date))
        return 0;
    return date;
}

std::string CreateDispatchErrorMessage(std::string_view progId) {
    return "Create the dispatch of the " + std::string(progId) + " Error!";
}

std::string OpenErrorMessage(std::string_view path) {
    return "Open " + std::string(path) + " Error!";
}

std::string SaveErrorMessage(std::string_view path) {
    return "Save to " + std::string(path) + " Error!";
}

std::string NotSavedByMessage() {
    return "This File is not saved by " + std::string(kAppTitle) + "!";
}

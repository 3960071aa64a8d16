#pragma once
// Rules and texts that every host of a widget shares: the name rule of widgets and templates,
// template file names, the preview-path form, the time stamp of a save and the messages the
// document commands give. Pure functions; nothing here fails or talks to the user.

#include "platform/com/variant.h"

#include <ctime>
#include <string>
#include <string_view>

// The program's title, as the "not saved by" message names it.
inline constexpr std::string_view kAppTitle = "Brimble Zephra";
// The title of a freshly bound widget.
inline constexpr std::string_view kDefaultWidgetTitle = "Normal";
// Extension of configuration files and templates (without the dot).
inline constexpr std::string_view kWidgetExtension = "wgt";

inline constexpr std::string_view kMsgEnterName = "You must enter a name!";
inline constexpr std::string_view kMsgInvalidWidgetName =
    "The name of widget is not valid.It accept only alphanumeric characters.\nYou have entered an "
    "invalid character, such as '-', '_', ':', ';', '#', (), [], or ?, in the name.\n";
inline constexpr std::string_view kMsgInvalidTemplateName =
    "The template name of widget is not valid.It accept only alphanumeric characters.\nYou have "
    "entered an invalid character, such as '-', '_', ':', ';', '#', (), [], or ?, in the name.\n";

// Whether name is a valid widget or template name: not empty, only the ASCII letters A-Z, a-z
// and the digits 0-9 (every byte of 0x80 or above is refused, so no UTF-8 letter passes).
bool IsValidWidgetName(std::string_view name);

// The message that refuses name as a widget name (kMsgEnterName or kMsgInvalidWidgetName); empty
// when the name is valid.
std::string_view WidgetNameError(std::string_view name);
// The same for template names (kMsgEnterName or kMsgInvalidTemplateName).
std::string_view TemplateNameError(std::string_view name);

// "<name>_<progId>.wgt": the file of a template in the component folder.
std::string TemplateFileName(std::string_view name, std::string_view progId);

// The preview path as the Get Local HTML dialog stores it: every '\' becomes '/', and a '/' is
// appended unless the text already ends with one. "" stays "".
std::string NormalizePreviewPath(std::string_view text);

// The local time t as an OLE date (days since 30 December 1899; the fraction is the time of day).
// Seconds are whole; 0 when the time cannot be converted.
DATE LocalTimeToDate(std::time_t t);
// Now, local time, as an OLE date, milliseconds included.
DATE CurrentLocalDate();

// Messages of the document commands, for the path or ProgID given.
std::string CreateDispatchErrorMessage(std::string_view progId); // "Create the dispatch of ..."
std::string OpenErrorMessage(std::string_view path);             // "Open <path> Error!"
std::string SaveErrorMessage(std::string_view path);             // "Save to <path> Error!"
std::string NotSavedByMessage();                                 // "This File is not saved by ..."

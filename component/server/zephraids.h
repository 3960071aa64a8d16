#pragma once
// Identity of the menu component and the numbers hosts address it by: class, ProgID, dispatch
// interface, component category, dispatch ids and string resource ids. Hosts rely on every value
// here; none of them may change.

#include "platform/com/guid.h"
#include "platform/com/interfaces.h"

#include <cstdint>
#include <string_view>

constexpr CLSID CLSID_Zephra = MakeGuid("{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}");
constexpr IID DIID_IZephra = MakeGuid("{7EA44A29-79D0-11D2-B53F-0040053E35C8}");
constexpr CATID CATID_TandrelPlaquets = MakeGuid("{2542EDC1-7EFB-11D2-8CA5-0088CC081531}");
inline constexpr std::string_view kZephraProgID = "PlaquetServer.Zephra";
inline constexpr std::string_view kCategoryDescription = "Tandrel Plaquets";
constexpr LCID kCategoryLocale = 0x409;

// Dispatch ids. 1-6 are properties, the rest methods.
constexpr DISPID DISPID_ZEPHRA_PROGID = 1;                      // text
constexpr DISPID DISPID_ZEPHRA_TITLE = 2;                       // text
constexpr DISPID DISPID_ZEPHRA_DESCRIPTION = 3;                 // text
constexpr DISPID DISPID_ZEPHRA_BITMAPFILENAME = 4;              // text
constexpr DISPID DISPID_ZEPHRA_PREVIEWPATH = 5;                 // text
constexpr DISPID DISPID_ZEPHRA_LASTUPDATETIME = 6;              // DATE
constexpr DISPID DISPID_ZEPHRA_READCONFIGFILE = 7;              // (text path) -> BOOL
constexpr DISPID DISPID_ZEPHRA_WRITECONFIGFILE = 8;             // (text path) -> BOOL
constexpr DISPID DISPID_ZEPHRA_CONFIG = 9;                      // () -> BOOL
constexpr DISPID DISPID_ZEPHRA_GETPLAQUETTYPEID = 10;           // () -> long
constexpr DISPID DISPID_ZEPHRA_GETPLAQUETNAMEID = 11;           // () -> long
constexpr DISPID DISPID_ZEPHRA_GETMENUTEXTID = 12;              // () -> long
constexpr DISPID DISPID_ZEPHRA_GETMESSAGETEXTID = 13;           // () -> long
constexpr DISPID DISPID_ZEPHRA_GETTIPSTEXTID = 14;              // () -> long
constexpr DISPID DISPID_ZEPHRA_GETICONID = 15;                  // (short) -> long
constexpr DISPID DISPID_ZEPHRA_RESERVED = 16;                   // () -> short
constexpr DISPID DISPID_ZEPHRA_GETHTMLSEGMENTNUMBER = 17;       // () -> short
constexpr DISPID DISPID_ZEPHRA_GETHTMLPOSITION = 18;            // (short) -> text
constexpr DISPID DISPID_ZEPHRA_GETHTMLBODY = 19;                // (short, short form) -> text
constexpr DISPID DISPID_ZEPHRA_GETRESOURCEINSTANCE = 20;        // () -> long
constexpr DISPID DISPID_ZEPHRA_GETRESOURCENUMBER = 21;          // () -> short
constexpr DISPID DISPID_ZEPHRA_GETRESOURCENAME = 22;            // (short) -> text
constexpr DISPID DISPID_ZEPHRA_GETRESOURCELOCALPATH = 23;       // (short) -> text
constexpr DISPID DISPID_ZEPHRA_GETRESOURCEWEBPATH = 24;         // (short) -> text
constexpr DISPID DISPID_ZEPHRA_GETRESOURCELOCALPATHBYNAME = 25; // (text) -> text
constexpr DISPID DISPID_ZEPHRA_GETRESOURCEWEBPATHBYNAME = 26;   // (text) -> text
constexpr DISPID DISPID_ZEPHRA_SETRESOURCELOCALPATH = 27;       // (text) -> BOOL

// String resources of the component module, loaded with LoadString(GetResourceInstance(), id).
constexpr int32_t IDS_ZEPHRA_TYPE = 1;        // "Java Applet"
constexpr int32_t IDS_ZEPHRA_NAME = 2;        // "Brimble Zephra 2.1"
constexpr int32_t IDS_ZEPHRA_MENUTEXT = 3;    // "Brimble Zephra 2.1"
constexpr int32_t IDS_ZEPHRA_MESSAGETEXT = 4; // "Build a perfect navigation popup menu"
constexpr int32_t IDS_ZEPHRA_TIPSTEXT = 5;    // "Brimble Zephra 2.1"
constexpr int32_t IDS_ZEPHRA_CLASSFILE = 102; // "zephracore.class"
constexpr int32_t IDS_ZEPHRA_TITLE = 57344;   // "Brimble Zephra": caption of the component's boxes
constexpr int32_t IDI_ZEPHRA_ICON = 128;      // the icon id GetIconID answers

// The one position of the component's HTML segment.
inline constexpr std::string_view kSegmentPosition = "cursor";

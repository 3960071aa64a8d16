#pragma once
// The applet block of a web page: a paragraph holding the applet element, whose param lines carry
// the whole menu (the markup encoding the applet reads).
//
//   <p align="Center">
//   <applet codebase="..." code="zephracore.class" align="baseline" width="400" height="200">
//   \t<param name="Notice" value="...">
//   \t<param name="ApStyle" value="...">
//   \t<param name="MStyle-n" value="...">     per written menu n, in pre-order: its menu style,
//   \t<param name="IStyle-n" value="...">     its item style
//   \t<param name="In-k" value="...">         and one line per shown item k (from 0)
//   \t<param name="Misc" value="...">
//   </applet>
//   </p>
//
// Every line ends with CR LF. A menu is written when it is shown, has at least one shown item and
// (for a sub menu) its item is shown; written menus are numbered 0, 1, ... in pre-order.
//
// Escaping: every text field of a value (label, description, link, target, file reference,
// loading message) is escaped like a label (EscapeField), so commas and line breaks cannot shift
// or break fields; then every attribute value is HTML-escaped (EscapeHtmlAttribute), so no text
// can end the attribute. The applet still receives the texts unchanged.
//
// Nothing here fails or shows UI; everything runs on the caller's thread.

#include <cstdint>
#include <string>
#include <string_view>

class CAppletParameters;
class CWidgetConfig;
class CZephraBody;
class CZephraItem;

// The value of the "Notice" line: product with version, and maker.
inline constexpr std::string_view kNoticeText = "Brimble Zephra 2.1,Tandrel Plaquets";

// Forms of the block.
constexpr int16_t kMarkupLocal = 0; // files and code base through the "PreviewPath" description
constexpr int16_t kMarkupWeb = 1;   // files through their web folders, code base m_strCodebase
// Any other form: no code base and bare file names.

// How the files of one block are addressed.
struct CMarkupForm {
    int16_t m_nForm = kMarkupWeb;
    std::string m_strPreviewPath; // prefix of every file in the local form

    // The form of config: its "PreviewPath" description value (read without adding the key).
    static CMarkupForm Of(const CWidgetConfig& config, int16_t form);

    // The prefix of a file whose web folder is webFolder: the preview path (local form), the web
    // folder (web form), nothing (any other form).
    std::string Prefix(const std::string& webFolder) const;
    // The code base of the applet line; empty means none.
    std::string Codebase(const CAppletParameters& applet) const;
    // Prefix(webFolder) followed by the file-name part of path, unescaped; empty for an empty
    // path.
    std::string Reference(const std::string& path, const std::string& webFolder) const;
};

// Values of the markup encoding, with their text fields escaped (EscapeField) but not yet
// HTML-escaped.
// "ApStyle": background colour twice, image reference, image mode, x, y, sound reference,
// progress bar flag, loading message.
std::string MarkupAppletStyle(const CAppletParameters& applet, const CMarkupForm& form);
// "MStyle-n": background colour, background code ("01", "02", "11", "12" for m_nBackStyle 0-3;
// other values are taken as 0), orientation, corner, x, y, cell width and height, gap, border.
std::string MarkupMenuStyle(const CZephraBody& menu);
// "IStyle-n": the normal, mouse-over and clicked styles, twelve fields each (the last two
// empty), and a final comma.
std::string MarkupItemStyle(const CZephraBody& menu);
// "In-k": label, description, the three image and two sound references, target ("_self" when
// empty), link.
std::string MarkupItemLine(const CZephraItem& item, const CMarkupForm& form);

// The whole block for applet in form (kMarkupLocal, kMarkupWeb or any other value). First
// rebuilds config's resource list (BuildResourceList), which clears the model's paths of files
// that are no longer found. Uses the transient numbering fields of applet and the menus'
// m_nNumber (every menu not written gets -1); m_flatItems is empty afterwards. Calling it twice on
// an unchanged model and configuration gives the same text.
std::string BuildHtmlBody(CAppletParameters& applet, CWidgetConfig& config, int16_t form);

// Appends to block the lines of menu and, recursively, of the menus below its shown items, when
// menu is written at all (not null, shown, with a shown item); returns whether it was. A written
// menu gets number as its m_nNumber, its shown-item count is appended to m_strItemCounts, its
// shown items to m_flatItems, and m_nMenuCounter grows by one; sub menus are numbered from
// m_nMenuCounter. The caller starts the pass (see BuildHtmlBody). Recursion depth is the depth of
// the tree, which the readers bound by kMaxMenuDepth.
bool WriteMenuHtml(CAppletParameters& applet, std::string& block, CZephraBody* menu, int32_t number,
                   const CMarkupForm& form);

#include "component/model/markup.h"

#include "component/model/fieldtext.h"
#include "component/model/menumodel.h"
#include "component/model/resources.h"
#include "component/model/widgetconfig.h"
#include "platform/text/pathutil.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kPreviewPathKey = "PreviewPath";
constexpr std::string_view kLineEnd = "\r\n";

void AppendNumber(std::string& out, int64_t n) {
    AppendDecimal(out, n);
}

// One "\t<param name=... value=...>" line.
void AppendParam(std::string& block, std::string_view name, std::string_view value) {
    block.append("\t<param name=\"");
    AppendHtmlAttribute(block, name);
    block.append("\" value=\"");
    AppendHtmlAttribute(block, value);
    block.append("\">");
    block.append(kLineEnd);
}

std::string_view AlignWord(int32_t align) {
    switch (align) {
    case 1:
        return "Left";
    case 2:
        return "Right";
    default:
        return "Center";
    }
}

std::string_view BackStyleCode(int32_t backStyle) {
    switch (backStyle) {
    case 1:
        return "02";
    case 2:
        return "11";
    case 3:
        return "12";
    default:
        return "01";
    }
}

// Twelve fields of one state style, each followed by a comma.
void AppendStateStyle(std::string& out, const ItemStateStyle& style) {
    out.append(ColorToHex(style.clrBack));
    out.push_back(',');
    out.append(ColorToHex(style.clrText));
    out.push_back(',');
    AppendNumber(out, style.nGradient);
    AppendNumber(out, style.nBackground);
    AppendNumber(out, int64_t{style.nBorder} + 1);
    out.push_back(',');
    for (const int32_t n : {style.nEffect, style.nFont, style.nFontSize, style.nFontStyle}) {
        AppendNumber(out, n);
        out.push_back(',');
    }
    AppendNumber(out, style.nImageAlign);
    AppendNumber(out, style.nTextAlign);
    out.push_back(',');
    AppendNumber(out, style.nImageOffset);
    out.push_back(',');
    AppendNumber(out, style.nTextOffset);
    out.append(",,,");
}

// Gives every menu of the tree the number -1, so that afterwards only the menus written in this
// pass hold a number.
void ClearMenuNumbers(CAppletParameters& applet) {
    std::vector<CZephraBody*> pending;
    for (const auto& menu : applet.m_menus)
        pending.push_back(menu.get());
    while (!pending.empty()) {
        CZephraBody* menu = pending.back();
        pending.pop_back();
        menu->m_nNumber = -1;
        for (const auto& item : menu->m_items)
            pending.push_back(item->m_pSubMenu.get());
    }
}

bool IsWritten(const CZephraBody* menu) {
    return menu != nullptr && menu->m_bVisible != 0 && menu->GetItemCount(false) > 0;
}

} // namespace

CMarkupForm CMarkupForm::Of(const CWidgetConfig& config, int16_t form) {
    CMarkupForm result;
    result.m_nForm = form;
    if (form == kMarkupLocal) {
        const auto& descriptions = config.GetDescriptions();
        if (const auto it = descriptions.find(std::string(kPreviewPathKey));
            it != descriptions.end())
            result.m_strPreviewPath = it->second;
    }
    return result;
}

std::string CMarkupForm::Prefix(const std::string& webFolder) const {
    switch (m_nForm) {
    case kMarkupLocal:
        return m_strPreviewPath;
    case kMarkupWeb:
        return webFolder;
    default:
        return {};
    }
}

std::string CMarkupForm::Codebase(const CAppletParameters& applet) const {
    return Prefix(applet.m_strCodebase);
}

std::string CMarkupForm::Reference(const std::string& path, const std::string& webFolder) const {
    if (path.empty())
        return {};
    return Prefix(webFolder) + FileNamePart(path);
}

std::string MarkupAppletStyle(const CAppletParameters& applet, const CMarkupForm& form) {
    std::string out;
    out.append(ColorToHex(applet.m_clrBack));
    out.push_back(',');
    out.append(ColorToHex(applet.m_clrBack));
    out.push_back(',');
    AppendEscapedField(out, form.Reference(applet.m_strImage, applet.m_strImageWeb));
    out.push_back(',');
    for (const int32_t n : {applet.m_nImageMode, applet.m_nImageX, applet.m_nImageY}) {
        AppendNumber(out, n);
        out.push_back(',');
    }
    AppendEscapedField(out, form.Reference(applet.m_strAudio, applet.m_strAudioWeb));
    out.push_back(',');
    AppendNumber(out, applet.m_bProgressBar);
    out.push_back(',');
    AppendEscapedField(out, applet.m_strLoadingMessage);
    return out;
}

std::string MarkupMenuStyle(const CZephraBody& menu) {
    std::string out;
    out.append(ColorToHex(menu.m_clrBack));
    out.push_back(',');
    out.append(BackStyleCode(menu.m_nBackStyle));
    for (const int32_t n :
         {menu.m_nOrientation, menu.m_nCorner, menu.m_nX, menu.m_nY, menu.m_nItemWidth,
          menu.m_nItemHeight, menu.m_nItemGap, menu.m_nBorderWidth}) {
        out.push_back(',');
        AppendNumber(out, n);
    }
    return out;
}

std::string MarkupItemStyle(const CZephraBody& menu) {
    std::string out;
    AppendStateStyle(out, menu.m_styleNormal);
    AppendStateStyle(out, menu.m_styleOver);
    AppendStateStyle(out, menu.m_styleClick);
    return out;
}

namespace {

// MarkupItemLine appended to out.
void AppendMarkupItemLine(std::string& out, const CZephraItem& item, const CMarkupForm& form) {
    const std::string* const texts[] = {&item.m_strLabel, &item.m_strDescription};
    for (const std::string* text : texts) {
        AppendEscapedField(out, *text);
        out.push_back(',');
    }
    const std::pair<const std::string*, const std::string*> files[] = {
        {&item.m_strImageNormal, &item.m_strImageNormalWeb},
        {&item.m_strImageOver, &item.m_strImageOverWeb},
        {&item.m_strImageClick, &item.m_strImageClickWeb},
        {&item.m_strAudioOver, &item.m_strAudioOverWeb},
        {&item.m_strAudioClick, &item.m_strAudioClickWeb},
    };
    for (const auto& [path, web] : files) {
        AppendEscapedField(out, form.Reference(*path, *web));
        out.push_back(',');
    }
    AppendEscapedField(out, item.m_strTarget.empty() ? std::string_view("_self")
                                                     : std::string_view(item.m_strTarget));
    out.push_back(',');
    AppendEscapedField(out, item.m_strLink);
}

} // namespace

std::string MarkupItemLine(const CZephraItem& item, const CMarkupForm& form) {
    std::string out;
    AppendMarkupItemLine(out, item, form);
    return out;
}

bool WriteMenuHtml(CAppletParameters& applet, std::string& block, CZephraBody* menu, int32_t number,
                   const CMarkupForm& form) {
    if (!IsWritten(menu))
        return false;
    menu->m_nNumber = number;
    AppendNumber(applet.m_strItemCounts, menu->GetItemCount(false));
    applet.m_strItemCounts.push_back(',');

    const std::string suffix = std::to_string(number);
    AppendParam(block, "MStyle-" + suffix, MarkupMenuStyle(*menu));
    AppendParam(block, "IStyle-" + suffix, MarkupItemStyle(*menu));
    int32_t k = 0;
    std::string value; // one buffer for every item line of the menu
    for (const auto& item : menu->m_items) {
        if (item->m_bVisible == 0)
            continue;
        applet.m_flatItems.push_back(item.get());
        value.clear();
        AppendMarkupItemLine(value, *item, form);
        AppendParam(block, "I" + suffix + "-" + std::to_string(k), value);
        ++k;
    }
    ++applet.m_nMenuCounter;

    for (const auto& item : menu->m_items) {
        if (item->m_bVisible != 0)
            WriteMenuHtml(applet, block, item->m_pSubMenu.get(), applet.m_nMenuCounter, form);
    }
    return true;
}

std::string BuildHtmlBody(CAppletParameters& applet, CWidgetConfig& config, int16_t form) {
    BuildResourceList(applet, config);
    const CMarkupForm markupForm = CMarkupForm::Of(config, form);

    std::string block;
    block.append("<p align=\"");
    block.append(AlignWord(applet.m_nAlign));
    block.append("\">");
    block.append(kLineEnd);

    block.append("<applet ");
    if (const std::string codebase = markupForm.Codebase(applet); !codebase.empty()) {
        block.append("codebase=\"");
        AppendHtmlAttribute(block, codebase);
        block.append("\"");
    }
    block.append(" code=\"");
    block.append(kAppletClassFile);
    block.append("\" align=\"baseline\" width=\"");
    AppendNumber(block, applet.m_nWidth);
    block.append("\" height=\"");
    AppendNumber(block, applet.m_nHeight);
    block.append("\">");
    block.append(kLineEnd);

    AppendParam(block, "Notice", kNoticeText);
    AppendParam(block, "ApStyle", MarkupAppletStyle(applet, markupForm));

    ClearMenuNumbers(applet);
    applet.m_nMenuCounter = 0;
    applet.m_strItemCounts.clear();
    applet.m_flatItems.clear();
    for (const auto& menu : applet.m_menus)
        WriteMenuHtml(applet, block, menu.get(), applet.m_nMenuCounter, markupForm);

    // Parent links only for menus this pass wrote: a menu that was not written holds -1.
    std::string misc;
    AppendNumber(misc, applet.m_nMenuCounter);
    misc.push_back(',');
    misc.append(applet.m_strItemCounts);
    for (const auto& menu : applet.m_menus) {
        if (menu->m_nNumber >= 0) {
            misc.push_back('-');
            AppendNumber(misc, menu->m_nNumber);
            misc.push_back(',');
        }
    }
    for (size_t j = 0; j < applet.m_flatItems.size(); ++j) {
        const CZephraBody* sub = applet.m_flatItems[j]->m_pSubMenu.get();
        if (sub->m_nNumber >= 0) {
            AppendNumber(misc, static_cast<int64_t>(j));
            misc.push_back('-');
            AppendNumber(misc, sub->m_nNumber);
            misc.push_back(',');
        }
    }
    applet.m_flatItems.clear();
    AppendParam(block, "Misc", misc);

    block.append("</applet>");
    block.append(kLineEnd);
    block.append("</p>");
    block.append(kLineEnd);
    return block;
}

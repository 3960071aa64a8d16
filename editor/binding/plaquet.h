#pragma once
// CPlaquet: a host's handle on one widget component. It creates the component through COM from
// its ProgID, finds the folder the component was installed in (templates and the sample page live
// there), loads the component's display strings and turns each automation member the hosts use
// into a typed call by DISPID.
//
// Ownership: whoever creates a CPlaquet owns it; it holds the component's only IDispatch
// reference of its own and releases it when destroyed. Texts cross as UTF-8 std::string copies.
//
// Errors: binding reports failure as false (and says something through the prompt only when the
// component is registered but cannot be created). A typed call that the component fails (an
// automation exception, a missing member, a result of the wrong type) throws CBindingException;
// the component stays usable. Calling a typed member on an unbound wrapper also throws.
//
// Threads: a wrapper is used from the thread that bound it, after CoInitialize.

#include "editor/binding/prompt.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/module.h"
#include "platform/com/variant.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The ProgID of the menu component, as the hosts bind it.
inline constexpr std::string_view kPlaquetProgID = "PlaquetServer.Zephra";

// DISPIDs of the widget automation interface that the hosts call.
constexpr DISPID kDispidProgID = 1;
constexpr DISPID kDispidTitle = 2;
constexpr DISPID kDispidDescription = 3;
constexpr DISPID kDispidPreviewPath = 5;
constexpr DISPID kDispidLastUpdateTime = 6;
constexpr DISPID kDispidReadConfigFile = 7;
constexpr DISPID kDispidWriteConfigFile = 8;
constexpr DISPID kDispidConfig = 9;
constexpr DISPID kDispidGetPlaquetTypeID = 10;
constexpr DISPID kDispidGetPlaquetNameID = 11;
constexpr DISPID kDispidGetMenuTextID = 12;
constexpr DISPID kDispidGetMessageTextID = 13;
constexpr DISPID kDispidGetHTMLSegmentNumber = 17;
constexpr DISPID kDispidGetHTMLPosition = 18;
constexpr DISPID kDispidGetHTMLBody = 19;
constexpr DISPID kDispidGetResourceInstance = 20;
constexpr DISPID kDispidGetResourceNumber = 21;
constexpr DISPID kDispidGetResourceName = 22;
constexpr DISPID kDispidGetResourceLocalPath = 23;
constexpr DISPID kDispidGetResourceWebPath = 24;

// Forms of GetHTMLBody.
constexpr int16_t kHtmlFormLocal = 0; // files and code base through PreviewPath
constexpr int16_t kHtmlFormWeb = 1;   // files through their web paths

// A typed call that the component failed.
class CBindingException : public std::runtime_error {
public:
    // member: the member's name ("WriteConfigFile"); hr: what Invoke answered (or
    // DISP_E_TYPEMISMATCH for a result of the wrong type); description: the component's own text
    // for an automation exception, else empty. what() gives the description when there is one,
    // else the member and the HRESULT.
    CBindingException(std::string member, HRESULT hr, std::string description);

    const std::string& Member() const { return m_strMember; }
    HRESULT Result() const { return m_hr; }
    const std::string& Description() const { return m_strDescription; }

private:
    std::string m_strMember;
    HRESULT m_hr;
    std::string m_strDescription;
};

// The templates of a component, as three parallel lists in the order they were found.
struct CTemplateList {
    std::vector<std::string> m_titles;
    std::vector<std::string> m_descriptions;
    std::vector<std::string> m_paths; // full paths
};

class CPlaquet {
public:
    // An unbound wrapper: every text empty, no connection. prompt is borrowed and must outlive
    // the wrapper.
    explicit CPlaquet(IPrompt& prompt);
    CPlaquet(const CPlaquet&) = delete;
    CPlaquet& operator=(const CPlaquet&) = delete;
    // Releases the component.
    ~CPlaquet();

    // Binds to the class registered for progId. false, without a message, when COM does not
    // know the ProgID; otherwise as CreateFromCLSID. Throws CBindingException when the component
    // was created but failed one of the binding calls; the wrapper is then unbound again.
    bool CreateFromProgID(std::string_view progId);

    // Binds to a class: takes its registered ProgID, finds the component folder from its
    // InprocServer32 entry (and the sample page in it), creates the object and takes its
    // IDispatch, loads the four display strings from the component's module, then sets Title
    // to "Normal" and Description to "". Returns false without a message when the class has no
    // ProgID or no class key; when the object cannot be created, prompts
    // "Create Dispatch of the <ProgID> Error!" once and returns false. Throws CBindingException
    // (wrapper unbound again) when one of the calls on the new object fails.
    bool CreateFromCLSID(REFCLSID clsid);

    bool IsBound() const { return m_pDispatch.p != nullptr; }
    // The HRESULT of the step that made the last binding fail (S_OK after a success), for a host
    // that wants to say more than the prompt did.
    HRESULT BindResult() const { return m_hrBind; }

    // What binding found. Empty until bound (the folder and sample path may stay empty).
    const std::string& BoundProgID() const { return m_strProgID; }
    const CLSID& BoundCLSID() const { return m_clsid; }
    // Folder of the component's library, without a trailing '/'.
    const std::string& ComponentFolder() const { return m_strComponentFolder; }
    // <component folder>/Sample/sample.htm when that file exists, else empty.
    const std::string& SamplePath() const { return m_strSamplePath; }
    const std::string& NameText() const { return m_strName; }
    const std::string& MessageText() const { return m_strMessage; }
    const std::string& TypeText() const { return m_strType; }
    const std::string& MenuText() const { return m_strMenu; }

    // Properties.
    std::string GetProgID();
    void SetProgID(const std::string& value);
    std::string GetTitle();
    void SetTitle(const std::string& value);
    std::string GetDescription();
    void SetDescription(const std::string& value);
    std::string GetPreviewPath();
    void SetPreviewPath(const std::string& value);
    void SetLastUpdateTime(DATE value);

    // Configuration files. path should be a full path. false when the component could not open
    // (read) or create (write) the file.
    bool ReadConfigFile(const std::string& path);
    bool WriteConfigFile(const std::string& path);
    // Runs the component's designer; true when the user accepted.
    bool Config();

    // Display string ids of the component's module.
    int32_t GetPlaquetTypeID();
    int32_t GetPlaquetNameID();
    int32_t GetMenuTextID();
    int32_t GetMessageTextID();

    // HTML segments.
    int16_t GetHTMLSegmentNumber();
    std::string GetHTMLPosition(int16_t segment);
    std::string GetHTMLBody(int16_t segment, int16_t form);

    // The component's module handle (for LoadString) and its support files.
    HINSTANCE GetResourceInstance();
    int16_t GetResourceNumber();
    std::string GetResourceName(int16_t index);
    std::string GetResourceLocalPath(int16_t index);
    std::string GetResourceWebPath(int16_t index);

    // Lists the templates of this component: the "*.wgt" files of the component folder, in the
    // order the file system returns them, that the component reads and whose ProgID is the bound
    // one. Reading a template whose read fails (false or an automation exception) skips it.
    // Leaves the component holding the last file it read, so list with a wrapper of its own, not
    // a document's. An unbound wrapper or an empty folder lists nothing. Throws
    // CBindingException when a property call fails.
    CTemplateList ListTemplates();

private:
    CComVariant Call(const char* member, DISPID dispid, WORD flags,
                     std::span<const VARIANT> args = {});
    CComVariant CallAs(const char* member, DISPID dispid, WORD flags, VARTYPE vt,
                       std::span<const VARIANT> args = {});
    std::string GetText(const char* member, DISPID dispid);
    void PutValue(const char* member, DISPID dispid, const VARIANT& value);
    std::string CallText(const char* member, DISPID dispid, std::span<const VARIANT> args = {});
    bool CallBool(const char* member, DISPID dispid, std::span<const VARIANT> args = {});
    int32_t CallLong(const char* member, DISPID dispid);
    int16_t CallShort(const char* member, DISPID dispid);
    void LoadDisplayStrings();
    void Unbind();

    IPrompt& m_prompt;
    std::string m_strProgID;
    CLSID m_clsid{};
    CComDispatchDriver m_pDispatch;
    std::string m_strComponentFolder;
    std::string m_strName;
    std::string m_strMessage;
    std::string m_strType;
    std::string m_strMenu;
    std::string m_strSamplePath;
    HRESULT m_hrBind = S_OK;
};

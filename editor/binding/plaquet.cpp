#include "editor/binding/plaquet.h"

#include "platform/com/hresult.h"
#include "platform/com/runtime.h"
#include "platform/registry/regkey.h"
#include "platform/text/pathutil.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr std::string_view kNormalTitle = "Normal";
constexpr std::string_view kTemplateSuffix = ".wgt";

std::string ExceptionText(const std::string& member, HRESULT hr, const std::string& description) {
    if (!description.empty())
        return description;
    return member + " failed: " + DescribeHResult(hr);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A call's only argument, borrowed.
std::span<const VARIANT> OneArgument(const VARIANT& arg) {
    return {&arg, 1};
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The entries of folder whose names end in suffix, in the order readdir gives them.
std::vector<std::string> FolderEntriesEndingWith(const std::string& folder,
                                                 std::string_view suffix) {
    std::vector<std::string> names;
    if (folder.empty())
        return names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && EndsWith(name, suffix))
            names.emplace_back(name);
    }
    return names;
}

} // namespace

CBindingException::CBindingException(std::string member, HRESULT hr, std::string description)
    : std::runtime_error(ExceptionText(member, hr, description)), m_strMember(std::move(member)),
      m_hr(hr), m_strDescription(std::move(description)) {}

CPlaquet::CPlaquet(IPrompt& prompt) : m_prompt(prompt) {}

CPlaquet::~CPlaquet() = default;

bool CPlaquet::CreateFromProgID(std::string_view progId) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) {
        m_hrBind = hr;
        return false;
    }
    return CreateFromCLSID(clsid);
}

bool CPlaquet::CreateFromCLSID(REFCLSID clsid) {
    std::string progId;
    m_hrBind = ProgIDFromCLSID(clsid, progId);
    if (FAILED(m_hrBind))
        return false;
    m_strProgID = progId;
    m_clsid = clsid;

    CRegKey classKey;
    const LONG err = classKey.Open(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(clsid));
    if (err != ERROR_SUCCESS) {
        Unbind();
        m_hrBind = HRESULT_FROM_WIN32(err);
        return false;
    }

    // The registry keeps the library's full path; its folder holds the templates and the sample
    // page. Read whole: install paths may be longer than any fixed buffer.
    std::string serverPath;
    CRegKey serverKey;
    if (serverKey.Open(classKey, "InprocServer32") == ERROR_SUCCESS &&
        serverKey.QueryStringValue("", serverPath) == ERROR_SUCCESS) {
        m_strComponentFolder = FolderPart(serverPath);
    }
    serverKey.Close();
    classKey.Close();
    if (PathExists(serverPath) && !m_strComponentFolder.empty()) {
        const std::string sample = m_strComponentFolder + "/Sample/sample.htm";
        if (IsRegularFile(sample))
            m_strSamplePath = sample;
    }

    if (!IsBound()) {
        const HRESULT hr = m_pDispatch.p.CoCreateInstance(clsid, nullptr, CLSCTX_ALL);
        if (FAILED(hr) || !IsBound()) {
            const std::string text = "Create Dispatch of the " + m_strProgID + " Error!";
            Unbind();
            m_hrBind = FAILED(hr) ? hr : E_NOINTERFACE;
            m_prompt.Message(text);
            return false;
        }
    }

    try {
        LoadDisplayStrings();
        SetTitle(std::string(kNormalTitle));
        SetDescription("");
    } catch (...) {
        Unbind();
        throw;
    }
    m_hrBind = S_OK;
    return true;
}

void CPlaquet::LoadDisplayStrings() {
    const HINSTANCE module = GetResourceInstance();
    const int32_t typeId = GetPlaquetTypeID();
    const int32_t nameId = GetPlaquetNameID();
    const int32_t messageId = GetMessageTextID();
    const int32_t menuId = GetMenuTextID();
    // A string the module does not have stays empty, as a failed LoadString leaves its buffer.
    LoadString(module, typeId, m_strType);
    LoadString(module, nameId, m_strName);
    LoadString(module, messageId, m_strMessage);
    LoadString(module, menuId, m_strMenu);
}

void CPlaquet::Unbind() {
    m_pDispatch.p.Release();
    m_strProgID.clear();
    m_clsid = CLSID_NULL;
    m_strComponentFolder.clear();
    m_strName.clear();
    m_strMessage.clear();
    m_strType.clear();
    m_strMenu.clear();
    m_strSamplePath.clear();
}

CComVariant CPlaquet::Call(const char* member, DISPID dispid, WORD flags,
                           std::span<const VARIANT> args) {
    if (!IsBound())
        throw CBindingException(member, E_POINTER, "The widget component is not bound.");
    CComVariant result;
    const HRESULT hr = m_pDispatch.Invoke(dispid, flags, args, &result);
    if (FAILED(hr))
        throw CBindingException(member, hr, m_pDispatch.ExceptionDescription());
    return result;
}

CComVariant CPlaquet::CallAs(const char* member, DISPID dispid, WORD flags, VARTYPE vt,
                             std::span<const VARIANT> args) {
    CComVariant result = Call(member, dispid, flags, args);
    if (result.vt != vt) {
        const HRESULT hr = result.ChangeType(vt);
        if (FAILED(hr))
            throw CBindingException(member, hr, "");
    }
    return result;
}

std::string CPlaquet::GetText(const char* member, DISPID dispid) {
    return Utf8FromBstr(CallAs(member, dispid, DISPATCH_PROPERTYGET, VT_BSTR).bstrVal);
}

void CPlaquet::PutValue(const char* member, DISPID dispid, const VARIANT& value) {
    Call(member, dispid, DISPATCH_PROPERTYPUT, OneArgument(value));
}

std::string CPlaquet::CallText(const char* member, DISPID dispid, std::span<const VARIANT> args) {
    return Utf8FromBstr(CallAs(member, dispid, DISPATCH_METHOD, VT_BSTR, args).bstrVal);
}

bool CPlaquet::CallBool(const char* member, DISPID dispid, std::span<const VARIANT> args) {
    return CallAs(member, dispid, DISPATCH_METHOD, VT_BOOL, args).boolVal != VARIANT_FALSE;
}

int32_t CPlaquet::CallLong(const char* member, DISPID dispid) {
    return CallAs(member, dispid, DISPATCH_METHOD, VT_I4).lVal;
}

int16_t CPlaquet::CallShort(const char* member, DISPID dispid) {
    return CallAs(member, dispid, DISPATCH_METHOD, VT_I2).iVal;
}

std::string CPlaquet::GetProgID() {
    return GetText("ProgID", kDispidProgID);
}

void CPlaquet::SetProgID(const std::string& value) {
    PutValue("ProgID", kDispidProgID, CComVariant(std::string_view(value)));
}

std::string CPlaquet::GetTitle() {
    return GetText("Title", kDispidTitle);
}

void CPlaquet::SetTitle(const std::string& value) {
    PutValue("Title", kDispidTitle, CComVariant(std::string_view(value)));
}

std::string CPlaquet::GetDescription() {
    return GetText("Description", kDispidDescription);
}

void CPlaquet::SetDescription(const std::string& value) {
    PutValue("Description", kDispidDescription, CComVariant(std::string_view(value)));
}

std::string CPlaquet::GetPreviewPath() {
    return GetText("PreviewPath", kDispidPreviewPath);
}

void CPlaquet::SetPreviewPath(const std::string& value) {
    PutValue("PreviewPath", kDispidPreviewPath, CComVariant(std::string_view(value)));
}

void CPlaquet::SetLastUpdateTime(DATE value) {
    PutValue("LastUpdateTime", kDispidLastUpdateTime, CComVariant::FromDate(value));
}

bool CPlaquet::ReadConfigFile(const std::string& path) {
    const CComVariant arg{std::string_view(path)};
    return CallBool("ReadConfigFile", kDispidReadConfigFile, OneArgument(arg));
}

bool CPlaquet::WriteConfigFile(const std::string& path) {
    const CComVariant arg{std::string_view(path)};
    return CallBool("WriteConfigFile", kDispidWriteConfigFile, OneArgument(arg));
}

bool CPlaquet::Config() {
    return CallBool("Config", kDispidConfig);
}

int32_t CPlaquet::GetPlaquetTypeID() {
    return CallLong("GetPlaquetTypeID", kDispidGetPlaquetTypeID);
}

int32_t CPlaquet::GetPlaquetNameID() {
    return CallLong("GetPlaquetNameID", kDispidGetPlaquetNameID);
}

int32_t CPlaquet::GetMenuTextID() {
    return CallLong("GetMenuTextID", kDispidGetMenuTextID);
}

int32_t CPlaquet::GetMessageTextID() {
    return CallLong("GetMessageTextID", kDispidGetMessageTextID);
}

int16_t CPlaquet::GetHTMLSegmentNumber() {
    return CallShort("GetHTMLSegmentNumber", kDispidGetHTMLSegmentNumber);
}

std::string CPlaquet::GetHTMLPosition(int16_t segment) {
    const CComVariant arg{segment};
    return CallText("GetHTMLPosition", kDispidGetHTMLPosition, OneArgument(arg));
}

std::string CPlaquet::GetHTMLBody(int16_t segment, int16_t form) {
    // Plain copies are enough: numbers own nothing.
    const VARIANT args[2] = {CComVariant(segment), CComVariant(form)};
    return CallText("GetHTMLBody", kDispidGetHTMLBody, args);
}

HINSTANCE CPlaquet::GetResourceInstance() {
    return CallLong("GetResourceInstance", kDispidGetResourceInstance);
}

int16_t CPlaquet::GetResourceNumber() {
    return CallShort("GetResourceNumber", kDispidGetResourceNumber);
}

std::string CPlaquet::GetResourceName(int16_t index) {
    const CComVariant arg{index};
    return CallText("GetResourceName", kDispidGetResourceName, OneArgument(arg));
}

std::string CPlaquet::GetResourceLocalPath(int16_t index) {
    const CComVariant arg{index};
    return CallText("GetResourceLocalPath", kDispidGetResourceLocalPath, OneArgument(arg));
}

std::string CPlaquet::GetResourceWebPath(int16_t index) {
    const CComVariant arg{index};
    return CallText("GetResourceWebPath", kDispidGetResourceWebPath, OneArgument(arg));
}

CTemplateList CPlaquet::ListTemplates() {
    CTemplateList list;
    if (!IsBound())
        return list;
    for (const std::string& name : FolderEntriesEndingWith(m_strComponentFolder, kTemplateSuffix)) {
        const std::string path = m_strComponentFolder + "/" + name;
        // Reading merges into what the component holds, so a file that lacks these keys would
        // otherwise be listed under the values of the file read before it.
        SetProgID("");
        SetTitle("");
        SetDescription("");
        bool read = false;
        try {
            read = ReadConfigFile(path);
        } catch (const CBindingException& e) {
            if (e.Result() != DISP_E_EXCEPTION)
                throw;
        }
        if (!read || GetProgID() != m_strProgID)
            continue;
        list.m_titles.push_back(GetTitle());
        list.m_descriptions.push_back(GetDescription());
        list.m_paths.push_back(path);
    }
    return list;
}

#include "component/server/zephra.h"

#include "component/model/markup.h"
#include "component/model/parameters.h"
#include "component/model/resources.h"
#include "component/server/module.h"
#include "component/server/zephraids.h"
#include "platform/com/com.h"
#include "platform/file/fileexception.h"
#include "platform/text/pathutil.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <new>
#include <span>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view kErrorSource = "Brimble Zephra";

// How Invoke reaches a member: a property with its value type, or a method with its argument
// types in call order.
struct CMember {
    DISPID dispid;
    const char* pszName;
    bool bProperty;
    VARTYPE vtValue; // properties only
    std::array<VARTYPE, 2> args;
    UINT nArgs;
};

constexpr CMember kMembers[] = {
    {DISPID_ZEPHRA_PROGID, "ProgID", true, VT_BSTR, {}, 0},
    {DISPID_ZEPHRA_TITLE, "Title", true, VT_BSTR, {}, 0},
    {DISPID_ZEPHRA_DESCRIPTION, "Description", true, VT_BSTR, {}, 0},
    {DISPID_ZEPHRA_BITMAPFILENAME, "BitmapFileName", true, VT_BSTR, {}, 0},
    {DISPID_ZEPHRA_PREVIEWPATH, "PreviewPath", true, VT_BSTR, {}, 0},
    {DISPID_ZEPHRA_LASTUPDATETIME, "LastUpdateTime", true, VT_DATE, {}, 0},
    {DISPID_ZEPHRA_READCONFIGFILE, "ReadConfigFile", false, VT_EMPTY, {VT_BSTR}, 1},
    {DISPID_ZEPHRA_WRITECONFIGFILE, "WriteConfigFile", false, VT_EMPTY, {VT_BSTR}, 1},
    {DISPID_ZEPHRA_CONFIG, "Config", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETPLAQUETTYPEID, "GetPlaquetTypeID", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETPLAQUETNAMEID, "GetPlaquetNameID", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETMENUTEXTID, "GetMenuTextID", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETMESSAGETEXTID, "GetMessageTextID", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETTIPSTEXTID, "GetTipsTextID", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETICONID, "GetIconID", false, VT_EMPTY, {VT_I2}, 1},
    {DISPID_ZEPHRA_RESERVED, "Reserved", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETHTMLSEGMENTNUMBER, "GetHTMLSegmentNumber", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETHTMLPOSITION, "GetHTMLPosition", false, VT_EMPTY, {VT_I2}, 1},
    {DISPID_ZEPHRA_GETHTMLBODY, "GetHTMLBody", false, VT_EMPTY, {VT_I2, VT_I2}, 2},
    {DISPID_ZEPHRA_GETRESOURCEINSTANCE, "GetResourceInstance", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETRESOURCENUMBER, "GetResourceNumber", false, VT_EMPTY, {}, 0},
    {DISPID_ZEPHRA_GETRESOURCENAME, "GetResourceName", false, VT_EMPTY, {VT_I2}, 1},
    {DISPID_ZEPHRA_GETRESOURCELOCALPATH, "GetResourceLocalPath", false, VT_EMPTY, {VT_I2}, 1},
    {DISPID_ZEPHRA_GETRESOURCEWEBPATH, "GetResourceWebPath", false, VT_EMPTY, {VT_I2}, 1},
    {DISPID_ZEPHRA_GETRESOURCELOCALPATHBYNAME,
     "GetResourceLocalPathByName",
     false,
     VT_EMPTY,
     {VT_BSTR},
     1},
    {DISPID_ZEPHRA_GETRESOURCEWEBPATHBYNAME,
     "GetResourceWebPathByName",
     false,
     VT_EMPTY,
     {VT_BSTR},
     1},
    {DISPID_ZEPHRA_SETRESOURCELOCALPATH, "SetResourceLocalPath", false, VT_EMPTY, {VT_BSTR}, 1},
};

constexpr auto kNames = [] {
    std::array<CDispatchName, std::size(kMembers)> names{};
    for (size_t i = 0; i < std::size(kMembers); ++i)
        names[i] = {kMembers[i].pszName, kMembers[i].dispid};
    return names;
}();

const CMember* FindMember(DISPID dispid) {
    for (const CMember& member : kMembers) {
        if (member.dispid == dispid)
            return &member;
    }
    return nullptr;
}

// The result slot of Invoke: written without being cleared first; nothing when the caller
// does not want a result.
void SetResult(VARIANT* pVarResult, CComVariant value) {
    if (pVarResult != nullptr)
        value.Detach(pVarResult);
}

CComVariant BoolResult(bool value) {
    return CComVariant(value);
}

// "%.9f" of the C locale, whatever locale the host set: to_chars never looks at one.
std::string FormatDate(DATE value) {
    std::array<char, 400> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, 9);
    if (ec != std::errc())
        return "0.000000000";
    return std::string(buffer.data(), end);
}

// The C library's text-to-double conversion in the C locale: a host running under a locale
// with a decimal comma still reads "36526.500000000" as 36526.5. Text that is not a number
// reads as 0.
DATE ParseDate(const std::string& text) {
    const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale == static_cast<locale_t>(nullptr)) {
        double value = 0.0;
        const char* first = text.c_str();
        while (*first == ' ' || *first == '\t')
            ++first;
        std::from_chars(first, text.c_str() + text.size(), value);
        return value;
    }
    const double value = ::strtod_l(text.c_str(), nullptr, cLocale);
    ::freelocale(cLocale);
    return value;
}

// The folder of a host path, ending with '/'. A path without a folder names a file in the
// current directory; that folder is made absolute now, so the model's paths stay full paths
// when the host later changes directory.
std::string FolderOfHostPath(const std::string& path) {
    std::string folder = FolderWithSeparator(path);
    if (!path.empty() && path.front() == '/')
        return folder;
    std::array<char, 4096> cwd{};
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return folder;
    return EnsureTrailingSeparator(cwd.data()) + folder;
}

std::string ArgText(const VARIANT& arg) {
    return Utf8FromBstr(arg.bstrVal);
}

} // namespace

// ---- Lifetime

CZephra::CZephra() {
    ZephraApp().LockCount().Lock();
    const std::string& folder = ZephraApp().ComponentFolder();
    if (!folder.empty())
        m_applet.m_strClassFolder = folder + "/";
}

CZephra::~CZephra() {
    ZephraApp().LockCount().Unlock();
}

HRESULT CZephra::CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CZephra* object = nullptr;
    try {
        object = new CZephra;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT CZephra::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IZephra) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CZephra::AddRef() {
    return ++m_nRefs;
}

ULONG CZephra::Release() {
    const ULONG n = --m_nRefs;
    if (n == 0)
        delete this;
    return n;
}

// ---- IDispatch

HRESULT CZephra::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT CZephra::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CZephra::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    try {
        return DispGetIDsOfNamesFromTable(kNames, rgszNames, cNames, rgDispId);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CZephra::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPPARAMS* pdp = pDispParams != nullptr ? pDispParams : &none;
    if (pdp->cNamedArgs > pdp->cArgs || (pdp->cArgs > 0 && pdp->rgvarg == nullptr) ||
        (pdp->cNamedArgs > 0 && pdp->rgdispidNamedArgs == nullptr))
        return E_INVALIDARG;
    const CMember* member = FindMember(dispIdMember);
    if (member == nullptr)
        return DISP_E_MEMBERNOTFOUND;

    try {
        if (member->bProperty) {
            if (wFlags & DISPATCH_PROPERTYPUTREF)
                return DISP_E_MEMBERNOTFOUND;
            if (wFlags & DISPATCH_PROPERTYPUT) {
                CComVariant value;
                HRESULT hr = DispGetPropertyPutValue(pdp, member->vtValue, &value, puArgErr);
                if (FAILED(hr))
                    return hr;
                if (pdp->cArgs != 1)
                    return DISP_E_BADPARAMCOUNT;
                if (member->vtValue == VT_DATE)
                    SetLastUpdateTime(value.date);
                else
                    SetTextProperty(member->pszName, ArgText(value));
                return S_OK;
            }
            if ((wFlags & DISPATCH_PROPERTYGET) == 0)
                return DISP_E_MEMBERNOTFOUND;
            if (pdp->cNamedArgs != 0)
                return DISP_E_NONAMEDARGS;
            if (pdp->cArgs != 0)
                return DISP_E_BADPARAMCOUNT;
            if (member->vtValue == VT_DATE)
                SetResult(pVarResult, CComVariant::FromDate(GetLastUpdateTime()));
            else
                SetResult(pVarResult, CComVariant(GetTextProperty(member->pszName)));
            return S_OK;
        }

        if ((wFlags & DISPATCH_METHOD) == 0 ||
            (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0)
            return DISP_E_MEMBERNOTFOUND;
        if (pdp->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (pdp->cArgs != member->nArgs)
            return DISP_E_BADPARAMCOUNT;
        return InvokeMember(member->dispid, pdp, pVarResult, puArgErr);
    } catch (const CFileException& e) {
        std::string what = "Cannot access ";
        if (member->dispid == DISPID_ZEPHRA_READCONFIGFILE)
            what = "Cannot read ";
        else if (member->dispid == DISPID_ZEPHRA_WRITECONFIGFILE)
            what = "Cannot write ";
        FillExcepInfo(pExcepInfo, E_FAIL, kErrorSource, what + e.Path() + ": " + e.Cause());
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        FillExcepInfo(pExcepInfo, E_OUTOFMEMORY, kErrorSource,
                      std::string(member->pszName) + ": out of memory");
        return DISP_E_EXCEPTION;
    } catch (const std::exception& e) {
        FillExcepInfo(pExcepInfo, E_FAIL, kErrorSource,
                      std::string(member->pszName) + ": " + e.what());
        return DISP_E_EXCEPTION;
    } catch (...) {
        FillExcepInfo(pExcepInfo, E_UNEXPECTED, kErrorSource,
                      std::string(member->pszName) + ": unexpected error");
        return DISP_E_EXCEPTION;
    }
}

HRESULT CZephra::InvokeMember(DISPID dispid, DISPPARAMS* pdp, VARIANT* pVarResult, UINT* puArgErr) {
    const CMember& member = *FindMember(dispid);
    std::array<CComVariant, 2> args;
    for (UINT i = 0; i < member.nArgs; ++i) {
        const HRESULT hr = DispGetParam(pdp, i, member.args[i], &args[i], puArgErr);
        if (FAILED(hr))
            return hr;
    }

    switch (dispid) {
    case DISPID_ZEPHRA_READCONFIGFILE:
        SetResult(pVarResult, BoolResult(ReadConfigFile(ArgText(args[0]))));
        break;
    case DISPID_ZEPHRA_WRITECONFIGFILE:
        SetResult(pVarResult, BoolResult(WriteConfigFile(ArgText(args[0]))));
        break;
    case DISPID_ZEPHRA_CONFIG:
        SetResult(pVarResult, BoolResult(Config()));
        break;
    case DISPID_ZEPHRA_GETPLAQUETTYPEID:
        SetResult(pVarResult, CComVariant(LONG{IDS_ZEPHRA_TYPE}));
        break;
    case DISPID_ZEPHRA_GETPLAQUETNAMEID:
        SetResult(pVarResult, CComVariant(LONG{IDS_ZEPHRA_NAME}));
        break;
    case DISPID_ZEPHRA_GETMENUTEXTID:
        SetResult(pVarResult, CComVariant(LONG{IDS_ZEPHRA_MENUTEXT}));
        break;
    case DISPID_ZEPHRA_GETMESSAGETEXTID:
        SetResult(pVarResult, CComVariant(LONG{IDS_ZEPHRA_MESSAGETEXT}));
        break;
    case DISPID_ZEPHRA_GETTIPSTEXTID:
        SetResult(pVarResult, CComVariant(LONG{IDS_ZEPHRA_TIPSTEXT}));
        break;
    case DISPID_ZEPHRA_GETICONID:
        SetResult(pVarResult, CComVariant(LONG{IDI_ZEPHRA_ICON}));
        break;
    case DISPID_ZEPHRA_RESERVED:
        SetResult(pVarResult, CComVariant(SHORT{0}));
        break;
    case DISPID_ZEPHRA_GETHTMLSEGMENTNUMBER:
        SetResult(pVarResult, CComVariant(SHORT{1}));
        break;
    case DISPID_ZEPHRA_GETHTMLPOSITION:
        SetResult(pVarResult, CComVariant(kSegmentPosition));
        break;
    case DISPID_ZEPHRA_GETHTMLBODY:
        // One segment: its index does not matter.
        SetResult(pVarResult, CComVariant(GetHTMLBody(args[1].iVal)));
        break;
    case DISPID_ZEPHRA_GETRESOURCEINSTANCE:
        SetResult(pVarResult, CComVariant(LONG{ZephraApp().Instance()}));
        break;
    case DISPID_ZEPHRA_GETRESOURCENUMBER:
        SetResult(pVarResult, CComVariant(SHORT{GetResourceNumber()}));
        break;
    case DISPID_ZEPHRA_GETRESOURCENAME:
        SetResult(pVarResult, CComVariant(GetResourceName(args[0].iVal)));
        break;
    case DISPID_ZEPHRA_GETRESOURCELOCALPATH:
        SetResult(pVarResult, CComVariant(GetResourceLocalPath(args[0].iVal)));
        break;
    case DISPID_ZEPHRA_GETRESOURCEWEBPATH:
        SetResult(pVarResult, CComVariant(GetResourceWebPath(args[0].iVal)));
        break;
    case DISPID_ZEPHRA_GETRESOURCELOCALPATHBYNAME:
        SetResult(pVarResult, CComVariant(GetResourceLocalPathByName(ArgText(args[0]))));
        break;
    case DISPID_ZEPHRA_GETRESOURCEWEBPATHBYNAME:
        SetResult(pVarResult, CComVariant(GetResourceWebPathByName(ArgText(args[0]))));
        break;
    case DISPID_ZEPHRA_SETRESOURCELOCALPATH:
        SetResult(pVarResult, BoolResult(SetResourceLocalPath(ArgText(args[0]))));
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
}

// ---- Properties

std::string CZephra::GetTextProperty(const std::string& name) {
    return m_config.GetDescription(name);
}

void CZephra::SetTextProperty(const std::string& name, const std::string& value) {
    m_config.SetDescription(name, value);
}

DATE CZephra::GetLastUpdateTime() {
    return ParseDate(m_config.GetDescription("LastUpdateTime"));
}

void CZephra::SetLastUpdateTime(DATE value) {
    m_config.SetDescription("LastUpdateTime", FormatDate(value));
}

// ---- Configuration files

bool CZephra::ReadConfigFile(const std::string& path) {
    // The system would take a path holding a NUL as the text before it: another file, and a
    // folder for the model's files that no path names.
    if (path.find('\0') != std::string::npos || !m_config.Load(path))
        return false;
    // Hosts list files of every kind through any component and compare the ProgID themselves:
    // a file of another component fills only the configuration.
    const CWidgetConfig::TextMap& descriptions = m_config.GetDescriptions();
    const auto progId = descriptions.find("ProgID");
    if (progId == descriptions.end() || progId->second != kZephraProgID)
        return true;

    m_applet.Reset();
    m_pCurrentMenu = nullptr;
    m_pCurrentItem = nullptr;
    ReadParameters(m_applet, m_config, FolderOfHostPath(path));
    // The list is the file's own, not one built from the model.
    m_bResourceListValid = true;
    return true;
}

bool CZephra::WriteConfigFile(const std::string& path) {
    if (path.find('\0') != std::string::npos)
        return false;
    m_config.ClearParameters();
    m_config.ClearResources();
    m_config.ClearSegments();
    m_config.SetDescription("ProgID", std::string(kZephraProgID));

    CopyResourceFiles(m_applet, FolderOfHostPath(path), ZephraApp().ConflictResolver());
    WriteParameters(m_applet, m_config);
    // BuildHtmlBody rebuilds the resource list from the model first.
    const std::string body = BuildHtmlBody(m_applet, m_config, kMarkupLocal);
    m_config.AddSegment(std::string(kSegmentPosition), body);
    m_bResourceListValid = true;
    return m_config.Save(path);
}

bool CZephra::Config() {
    const PFNCREATEDESIGNER create = ZephraApp().DesignerFactory();
    // A second designer over the same live model would pull records from under the first.
    if (create == nullptr || m_pDesigner != nullptr)
        return false;
    auto snapshot = std::make_unique<CAppletParameters>();
    snapshot->CopyFrom(m_applet);
    std::unique_ptr<IZephraDesigner> designer = create(*this);
    if (designer == nullptr)
        return false;

    m_pDesigner = designer.get();
    bool accepted = false;
    try {
        accepted = designer->DoModal();
    } catch (...) {
        m_pDesigner = nullptr;
        designer.reset();
        RestoreModel(*snapshot);
        throw;
    }
    // The designer goes before the model is put back: nothing of it may outlive the records
    // it was showing.
    m_pDesigner = nullptr;
    designer.reset();
    if (!accepted)
        RestoreModel(*snapshot);
    return accepted;
}

void CZephra::RestoreModel(const CAppletParameters& snapshot) {
    m_applet.CopyFrom(snapshot);
    // The selection pointed at records the copy has just replaced.
    m_pCurrentMenu = nullptr;
    m_pCurrentItem = nullptr;
}

std::string CZephra::GetHTMLBody(int16_t form) {
    return BuildHtmlBody(m_applet, m_config, form);
}

// ---- Resource list

void CZephra::EnsureResourceList() {
    if (m_bResourceListValid)
        return;
    BuildResourceList(m_applet, m_config);
    m_bResourceListValid = true;
}

const CResourceEntry* CZephra::ResourceAt(int16_t index) {
    EnsureResourceList();
    const std::vector<CResourceEntry>& entries = m_config.GetResources();
    if (index < 0 || static_cast<size_t>(index) >= entries.size())
        return nullptr;
    return &entries[static_cast<size_t>(index)];
}

const CResourceEntry* CZephra::ResourceNamed(const std::string& name) {
    EnsureResourceList();
    const int32_t index = m_config.FindResource(name);
    return index < 0 ? nullptr : &m_config.GetResources()[static_cast<size_t>(index)];
}

int16_t CZephra::GetResourceNumber() {
    EnsureResourceList();
    // Entries past the largest short cannot be reached by index anyway.
    const size_t count = m_config.GetResources().size();
    return static_cast<int16_t>(
        std::min<size_t>(count, static_cast<size_t>(std::numeric_limits<int16_t>::max())));
}

std::string CZephra::GetResourceName(int16_t index) {
    const CResourceEntry* entry = ResourceAt(index);
    return entry == nullptr ? std::string() : entry->m_strFileName;
}

std::string CZephra::GetResourceLocalPath(int16_t index) {
    const CResourceEntry* entry = ResourceAt(index);
    return entry == nullptr ? std::string() : entry->m_strLocalFolder;
}

std::string CZephra::GetResourceWebPath(int16_t index) {
    const CResourceEntry* entry = ResourceAt(index);
    return entry == nullptr ? std::string() : entry->m_strWebPath;
}

std::string CZephra::GetResourceLocalPathByName(const std::string& name) {
    const CResourceEntry* entry = ResourceNamed(name);
    return entry == nullptr ? std::string() : entry->m_strLocalFolder;
}

std::string CZephra::GetResourceWebPathByName(const std::string& name) {
    const CResourceEntry* entry = ResourceNamed(name);
    return entry == nullptr ? std::string() : entry->m_strWebPath;
}

bool CZephra::SetResourceLocalPath(const std::string& folder) {
    EnsureResourceList();
    for (CResourceEntry& entry : m_config.GetResources())
        entry.m_strLocalFolder = folder;
    return true;
}

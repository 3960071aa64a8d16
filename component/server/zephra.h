#pragma once
// CZephra: one menu widget as an automation object. It owns the menu model and the widget
// configuration for its whole life; hosts create it through the class factory and reach every
// member through IDispatch by the ids of zephraids.h. Nothing here throws across Invoke: file
// errors and other exceptions come back as DISP_E_EXCEPTION with a description.
//
// The typed members below are what Invoke calls; the designer module uses them directly.
// Everything runs on the thread that created the object; nothing is locked.

#include "component/model/menumodel.h"
#include "component/model/widgetconfig.h"
#include "platform/com/interfaces.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CZephra;

// The designer that Config runs. The designer module installs a factory for it
// (SetDesignerFactory in module.h); without one Config answers false and changes nothing.
class IZephraDesigner {
public:
    virtual ~IZephraDesigner() = default;
    // Runs modally over the owner's live model, which it edits in place. True when the author
    // accepted, false when cancelled (the caller then puts the model back).
    virtual bool DoModal() = 0;
};

// A new designer for owner, owned by the caller; null when none can be made.
using PFNCREATEDESIGNER = std::unique_ptr<IZephraDesigner> (*)(CZephra& owner);

class CZephra final : public IDispatch {
public:
    // The class factory's creation function: a new object, its riid interface in *ppv (the
    // caller's reference). E_NOINTERFACE for an interface it does not have, E_OUTOFMEMORY.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    CZephra(const CZephra&) = delete;
    CZephra& operator=(const CZephra&) = delete;

    // IUnknown: IUnknown, IDispatch and the component's dispinterface.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch. No type information (count 0). Names compare without regard to ASCII case.
    // Invoke: DISP_E_MEMBERNOTFOUND for an unknown id and for a property called as a method or
    // a method as a property; DISP_E_BADPARAMCOUNT for the wrong number of arguments;
    // DISP_E_NONAMEDARGS for named arguments other than a put's value; arguments are converted
    // with VariantChangeType, DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW setting *puArgErr; errors
    // inside a member give DISP_E_EXCEPTION with *pExcepInfo filled (source "Brimble Zephra").
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // The six properties live in the configuration's description map under their own names.
    // Reading one that is absent inserts it with an empty value, so the next file carries it.
    std::string GetTextProperty(const std::string& name);
    void SetTextProperty(const std::string& name, const std::string& value);
    // Stored as "%.9f" text, read back as a C-locale number: absent or empty reads as 0.
    DATE GetLastUpdateTime();
    void SetLastUpdateTime(DATE value);

    // Merges the file at path into the configuration. False, nothing changed, when it cannot
    // be opened or path holds a NUL byte. When the file's ProgID is this component's, the model
    // is rebuilt from its parameters (file names resolved in the file's folder) and its resource
    // list is taken as read; a file of another component changes only the configuration.
    // Throws CFileException on a read error after opening.
    bool ReadConfigFile(const std::string& path);
    // Copies the support files into the folder of path (the model then points at the copies),
    // rebuilds the configuration from the model and saves it to path. False when the file
    // cannot be created; false with nothing changed when path holds a NUL byte. Throws
    // CFileException on a write error after that; the previous file at path is then left whole.
    bool WriteConfigFile(const std::string& path);
    // Runs the installed designer; on cancel the model is put back exactly as it was. False
    // without a designer.
    bool Config();

    // The applet block in form (0 local, 1 web, else bare). Rebuilds the resource list first.
    std::string GetHTMLBody(int16_t form);

    // The resource list members; each builds the list from the model first if that never
    // happened. Out-of-range indices and unknown names give "".
    int16_t GetResourceNumber();
    std::string GetResourceName(int16_t index);
    std::string GetResourceLocalPath(int16_t index);
    std::string GetResourceWebPath(int16_t index);
    std::string GetResourceLocalPathByName(const std::string& name);
    std::string GetResourceWebPathByName(const std::string& name);
    // Sets every entry's local folder (the model is not changed). Always true.
    bool SetResourceLocalPath(const std::string& folder);

    // State the designer works on. Owned by this object.
    CAppletParameters& Applet() { return m_applet; }
    CWidgetConfig& WidgetConfig() { return m_config; }
    // The designer's selection: pointers into the model (not owned), or null.
    CZephraBody* CurrentMenu() const { return m_pCurrentMenu; }
    CZephraItem* CurrentItem() const { return m_pCurrentItem; }
    void SetCurrentMenu(CZephraBody* menu) { m_pCurrentMenu = menu; }
    void SetCurrentItem(CZephraItem* item) { m_pCurrentItem = item; }
    // The designer while Config runs, else null. Not owned.
    IZephraDesigner* RunningDesigner() const { return m_pDesigner; }
    bool IsResourceListValid() const { return m_bResourceListValid; }

private:
    CZephra();
    ~CZephra();

    void RestoreModel(const CAppletParameters& snapshot);
    void EnsureResourceList();
    const CResourceEntry* ResourceAt(int16_t index);
    const CResourceEntry* ResourceNamed(const std::string& name);

    HRESULT InvokeMember(DISPID dispid, DISPPARAMS* pdp, VARIANT* pVarResult, UINT* puArgErr);

    CWidgetConfig m_config;
    CAppletParameters m_applet;
    CZephraBody* m_pCurrentMenu = nullptr;
    CZephraItem* m_pCurrentItem = nullptr;
    bool m_bResourceListValid = false;
    IZephraDesigner* m_pDesigner = nullptr;
    std::atomic<ULONG> m_nRefs{1};
};

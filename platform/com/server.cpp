#include "platform/com/server.h"

HRESULT CClassFactory::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != m_clsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return QueryInterface(riid, ppv);
}

HRESULT CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CClassFactory::AddRef() {
    m_lockCount.Lock();
    return 2; // a static object: the count only guards the library
}

ULONG CClassFactory::Release() {
    m_lockCount.Unlock();
    return 1;
}

HRESULT CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    return m_pfnCreate(riid, ppv);
}

HRESULT CClassFactory::LockServer(bool fLock) {
    if (fLock)
        m_lockCount.Lock();
    else
        m_lockCount.Unlock();
    return S_OK;
}

#pragma once
// What an in-process server library provides, and two helpers for writing one.
//
// A server library exports four functions with C linkage and default visibility (declare them
// with ZEPHRA_SERVER_EXPORT so they stay visible under -fvisibility=hidden):
//
//     ZEPHRA_SERVER_EXPORT HRESULT DllGetClassObject(const CLSID& rclsid, const IID& riid,
//                                                    void** ppv);
//         The class object of rclsid (riid is usually IID_IClassFactory);
//         CLASS_E_CLASSNOTAVAILABLE for a class the library does not provide.
//     ZEPHRA_SERVER_EXPORT HRESULT DllCanUnloadNow();
//         S_OK when no object, lock or class object reference is alive, else S_FALSE.
//     ZEPHRA_SERVER_EXPORT HRESULT DllRegisterServer();
//     ZEPHRA_SERVER_EXPORT HRESULT DllUnregisterServer();
//         Write / remove the library's registry entries.
//
// For the library to really leave memory at dlclose, it must not hold symbols the dynamic
// linker keeps unique (GCC makes them of inline variables and of statics in inline functions);
// build it with -fno-gnu-unique, or accept that it stays mapped after CoFreeUnusedLibraries.

#include "platform/com/interfaces.h"

#include <atomic>

#define ZEPHRA_SERVER_EXPORT extern "C" __attribute__((visibility("default")))

ZEPHRA_SERVER_EXPORT HRESULT DllGetClassObject(const CLSID& rclsid, const IID& riid, void** ppv);
ZEPHRA_SERVER_EXPORT HRESULT DllCanUnloadNow();
ZEPHRA_SERVER_EXPORT HRESULT DllRegisterServer();
ZEPHRA_SERVER_EXPORT HRESULT DllUnregisterServer();

using LPFNGETCLASSOBJECT = HRESULT (*)(const CLSID&, const IID&, void**);
using LPFNCANUNLOADNOW = HRESULT (*)();
using LPFNREGISTERSERVER = HRESULT (*)();
using LPFNUNREGISTERSERVER = HRESULT (*)();

// The four export names, for dlsym.
constexpr const char* kDllGetClassObjectName = "DllGetClassObject";
constexpr const char* kDllCanUnloadNowName = "DllCanUnloadNow";
constexpr const char* kDllRegisterServerName = "DllRegisterServer";
constexpr const char* kDllUnregisterServerName = "DllUnregisterServer";

// A library's count of live objects, server locks and class object references; DllCanUnloadNow
// answers from it. One per library, at namespace scope.
class CModuleLockCount {
public:
    void Lock() noexcept { ++m_nCount; }
    void Unlock() noexcept { --m_nCount; }
    int32_t Count() const noexcept { return m_nCount; }
    HRESULT CanUnloadNow() const noexcept { return m_nCount == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<int32_t> m_nCount{0};
};

// Creates one new object and returns its riid interface in *ppv (the caller's reference);
// *ppv null and an error on failure.
using PFNCREATEOBJECT = HRESULT (*)(REFIID riid, void** ppv);

// The class object of one class: a static object of the server library. Its references count
// in the library's lock count, so the library stays loaded while a host holds the factory.
class CClassFactory final : public IClassFactory {
public:
    CClassFactory(const CLSID& clsid, PFNCREATEOBJECT pfnCreate, CModuleLockCount& lockCount)
        : m_clsid(clsid), m_pfnCreate(pfnCreate), m_lockCount(lockCount) {}
    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    const CLSID& ClassID() const { return m_clsid; }

    // DllGetClassObject for this class: the factory's riid interface, or
    // CLASS_E_CLASSNOTAVAILABLE when rclsid is another class.
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT LockServer(bool fLock) override;

private:
    CLSID m_clsid;
    PFNCREATEOBJECT m_pfnCreate;
    CModuleLockCount& m_lockCount;
};

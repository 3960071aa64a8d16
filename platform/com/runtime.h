#pragma once
// The COM runtime: initialisation, class lookup in HKEY_CLASSES_ROOT and in-process object
// creation.
//
// Classes. HKEY_CLASSES_ROOT\<ProgID>\CLSID holds a class's CLSID, CLSID\{clsid}\ProgID its
// ProgID and CLSID\{clsid}\InprocServer32 the path of its server library (key names compare
// without regard to case, so "InProcServer32" is the same key). Only in-process servers exist.
//
// Libraries. The first creation of a class loads its library with dlopen (RTLD_NOW | RTLD_LOCAL)
// and keeps it loaded, once per process, until CoFreeUnusedLibraries finds that its
// DllCanUnloadNow answers S_OK. A server library exports the four functions of server.h.
//
// Built in: the component category manager, CLSID_StdComponentCategoriesMgr (comcat.h), needs no
// registry entry.
//
// Errors: besides the HRESULT, CoGetLastErrorText gives the details of the last failed lookup or
// load on this thread (the dlerror text, a damaged registry file with its line), for hosts to
// print.
//
// Threads: the calls may come from any thread; objects are used from the thread that made them.

#include "platform/com/interfaces.h"

#include <cstddef>
#include <string>
#include <string_view>

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// Counts per process: S_OK for the first call, S_FALSE for each further one. Every successful
// call is paired with a CoUninitialize.
HRESULT CoInitialize(void* pvReserved);
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
// The last CoUninitialize of the process unloads every library that can be unloaded (as
// CoFreeUnusedLibraries); libraries whose objects are still alive stay loaded.
void CoUninitialize();

// Creates an object of the class and returns its riid interface in *ppv (the caller's reference).
// CO_E_NOTINITIALIZED before CoInitialize; REGDB_E_CLASSNOTREG for a class without an
// InprocServer32 entry, or a context without CLSCTX_INPROC_SERVER; REGDB_E_READREGDB when the
// registry cannot be read; CO_E_DLLNOTFOUND when the library file is missing; CO_E_ERRORINDLL
// when it cannot be loaded or lacks DllGetClassObject; else what the library answers
// (CLASS_E_CLASSNOTAVAILABLE, CLASS_E_NOAGGREGATION, E_NOINTERFACE, ...). *ppv is null on failure.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
// The class object (usually IClassFactory) of the class, with the same errors. While the caller
// holds it the library is not unloaded only if the server counts it (CClassFactory does) or the
// caller calls LockServer.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid,
                         void** ppv);

// Asks every loaded library whether it can go (DllCanUnloadNow) and dlcloses those that answer
// S_OK. A library without DllCanUnloadNow stays.
void CoFreeUnusedLibraries();

// Memory that COM functions hand out (ProgIDFromCLSID, StringFromCLSID); free with CoTaskMemFree.
void* CoTaskMemAlloc(size_t cb);
void CoTaskMemFree(void* pv);

// The CLSID of a ProgID. CO_E_CLASSSTRING for an unknown ProgID or one whose CLSID value does not
// parse; REGDB_E_READREGDB when the registry cannot be read.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid);
HRESULT CLSIDFromProgID(std::string_view progId, CLSID* pclsid);
// The ProgID registered for a CLSID. REGDB_E_CLASSNOTREG when there is none. The UTF-16 form
// is allocated with CoTaskMemAlloc and belongs to the caller.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string& progId);
// The braced upper-case form, allocated with CoTaskMemAlloc (the caller frees it).
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
// Parses the braced form; CO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
HRESULT CLSIDFromString(std::string_view text, CLSID* pclsid);

// Calls the DllRegisterServer / DllUnregisterServer export of a server library, as regsvr32
// does: loads it (through the same table as CoCreateInstance), initialises COM around the call
// and answers its result. CO_E_DLLNOTFOUND / CO_E_ERRORINDLL as for CoCreateInstance.
HRESULT RegisterServerLibrary(const std::string& path);
HRESULT UnregisterServerLibrary(const std::string& path);

// Details of the failure of the last call of the functions above on this thread (a dlerror
// text, a registry file and line, the library path, ...); "" after a success.
std::string CoGetLastErrorText();

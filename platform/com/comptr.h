#pragma once
// CComPtr<T>: holds one reference to a COM interface and releases it when it goes. T is an
// interface with an IIDOf<T>() specialisation.

#include "platform/com/interfaces.h"
#include "platform/com/runtime.h"

#include <cstddef>
#include <string_view>
#include <utility>

template <class T> class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    // Adds a reference of its own: the caller keeps the one it had.
    CComPtr(T* lp) noexcept : p(lp) {
        if (p != nullptr)
            p->AddRef();
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
    CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* lp) noexcept {
        if (lp != nullptr)
            lp->AddRef();
        Release();
        p = lp;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != &other) {
            Release();
            p = std::exchange(other.p, nullptr);
        }
        return *this;
    }

    T* operator->() const noexcept { return p; }
    operator T*() const noexcept { return p; }
    T* Get() const noexcept { return p; }

    // Releases what is held and returns the slot for an out parameter to fill:
    //     CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, disp.ReceiveVoid());
    T** Receive() noexcept {
        Release();
        return &p;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    // Drops the reference (the pointer becomes null).
    void Release() noexcept {
        if (T* old = std::exchange(p, nullptr))
            old->Release();
    }
    // Takes over a reference the caller owned / hands the reference to the caller.
    void Attach(T* lp) noexcept {
        Release();
        p = lp;
    }
    T* Detach() noexcept { return std::exchange(p, nullptr); }

    // Another interface of the same object into *pp (the caller's reference).
    template <class Q> HRESULT QueryInterface(Q** pp) const {
        if (pp == nullptr)
            return E_POINTER;
        *pp = nullptr;
        if (p == nullptr)
            return E_POINTER;
        return p->QueryInterface(IIDOf<Q>(), reinterpret_cast<void**>(pp));
    }

    HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter = nullptr,
                             DWORD dwClsContext = CLSCTX_ALL) {
        return ::CoCreateInstance(rclsid, pUnkOuter, dwClsContext, IIDOf<T>(), ReceiveVoid());
    }
    HRESULT CoCreateInstance(std::string_view progId, IUnknown* pUnkOuter = nullptr,
                             DWORD dwClsContext = CLSCTX_ALL) {
        Release();
        CLSID clsid{};
        const HRESULT hr = CLSIDFromProgID(progId, &clsid);
        return FAILED(hr) ? hr : CoCreateInstance(clsid, pUnkOuter, dwClsContext);
    }

    T* p = nullptr;
};

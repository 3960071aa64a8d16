// The four functions the COM runtime finds by name in PlaquetZephra.so. Everything else in the
// library stays hidden (exports.map).

#include "component/server/module.h"
#include "platform/com/server.h"

ZEPHRA_SERVER_EXPORT HRESULT DllCanUnloadNow() {
    return ZephraCanUnloadNow();
}

ZEPHRA_SERVER_EXPORT HRESULT DllGetClassObject(const CLSID& rclsid, const IID& riid, void** ppv) {
    return ZephraGetClassObject(rclsid, riid, ppv);
}

ZEPHRA_SERVER_EXPORT HRESULT DllRegisterServer() {
    return ZephraRegisterServer();
}

ZEPHRA_SERVER_EXPORT HRESULT DllUnregisterServer() {
    return ZephraUnregisterServer();
}

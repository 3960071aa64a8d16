#pragma once
// Looking at HKEY_CLASSES_ROOT in tests of registration.

#include "platform/registry/regkey.h"

#include <string>

inline bool KeyExists(const std::string& path) {
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, path) == ERROR_SUCCESS;
}

// The named text value of the key ("" is the default value); "<missing>" when there is none.
inline std::string KeyValue(const std::string& path, const char* name = "") {
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_CLASSES_ROOT, path) != ERROR_SUCCESS ||
        key.QueryStringValue(name, value) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

#pragma once
// CRegKey: an open registry key that closes itself. Results are the Win32 codes of registry.h;
// a value name "" means the key's default value.

#include "platform/registry/registry.h"

#include <string>
#include <string_view>
#include <vector>

class CRegKey {
public:
    CRegKey() noexcept = default;
    // Takes ownership of an open handle.
    explicit CRegKey(HKEY hKey) noexcept : m_hKey(hKey) {}
    CRegKey(CRegKey&& other) noexcept : m_hKey(other.Detach()) {}
    CRegKey& operator=(CRegKey&& other) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    ~CRegKey() { Close(); }

    // Opens hKeyParent\subKey, creating missing keys (RegCreateKeyEx). Closes whatever this
    // object held first. On failure the object holds nothing.
    LONG Create(HKEY hKeyParent, std::string_view subKey, DWORD* pDisposition = nullptr);
    // Opens an existing key (RegOpenKeyEx); ERROR_FILE_NOT_FOUND when there is none.
    LONG Open(HKEY hKeyParent, std::string_view subKey);
    LONG Close();

    // Attach takes ownership of hKey (closing what was held); Detach gives the handle up.
    void Attach(HKEY hKey);
    HKEY Detach() noexcept;
    HKEY Handle() const noexcept { return m_hKey; }
    operator HKEY() const noexcept { return m_hKey; }
    bool IsOpen() const noexcept { return m_hKey != nullptr; }

    // ERROR_FILE_NOT_FOUND for a missing value, ERROR_INVALID_DATA for one of the other type.
    LONG QueryStringValue(std::string_view valueName, std::string& value) const;
    LONG QueryDWORDValue(std::string_view valueName, DWORD& value) const;
    // The text is cut at its first NUL, if any.
    LONG SetStringValue(std::string_view valueName, std::string_view value);
    LONG SetDWORDValue(std::string_view valueName, DWORD value);
    // Sets a text value of this key's sub key, creating the sub key if needed (one write).
    LONG SetKeyValue(std::string_view subKey, std::string_view value,
                     std::string_view valueName = {});
    LONG DeleteValue(std::string_view valueName);
    // RegDeleteKey on a sub key: refused (ERROR_ACCESS_DENIED) while it has sub keys.
    LONG DeleteSubKey(std::string_view subKey);
    // Names of all sub keys, as RegEnumKeyEx would list them, from one read of the hive.
    LONG EnumKeyNames(std::vector<std::string>& names) const;

private:
    HKEY m_hKey = nullptr;
};

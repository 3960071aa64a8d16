#pragma once
// The module table: string tables of the libraries in this process, addressed by instance
// handle.
//
// A server library registers its string table when it is loaded and gets a handle: a small
// positive number issued by this table (never a pointer, never reused within the process), so
// it fits the 32-bit integer that crosses IDispatch. Any code in the process can then load the
// library's texts by that handle. The library unregisters the table when it unloads; its handle
// then stops answering. CModuleStrings does both for a static object.

#include <cstdint>
#include <span>
#include <string>

using HINSTANCE = int32_t;

struct CStringTableEntry {
    int32_t nID;
    const char* pszText; // UTF-8
};

// Copies the table (later entries replace earlier ones with the same id) and returns its
// handle, never 0. Thread-safe.
HINSTANCE RegisterModuleStrings(std::span<const CStringTableEntry> table);
// Forgets the table of hInstance; unknown handles are ignored.
void UnregisterModuleStrings(HINSTANCE hInstance);
// The text of nID in the module hInstance. False (text unchanged) for an unknown handle or id.
bool LoadString(HINSTANCE hInstance, int32_t nID, std::string& text);

// Registers a string table for as long as the object lives. A library defines one at namespace
// scope, so the table comes with dlopen and goes with dlclose.
class CModuleStrings {
public:
    explicit CModuleStrings(std::span<const CStringTableEntry> table)
        : m_hInstance(RegisterModuleStrings(table)) {}
    ~CModuleStrings() { UnregisterModuleStrings(m_hInstance); }
    CModuleStrings(const CModuleStrings&) = delete;
    CModuleStrings& operator=(const CModuleStrings&) = delete;

    HINSTANCE Instance() const { return m_hInstance; }

private:
    HINSTANCE m_hInstance;
};

#pragma once
// One registry hive in memory, and its text form.
//
// A hive is stored as a REGEDIT4 text file:
//
//     REGEDIT4
//
//     [HKEY_CLASSES_ROOT\PlaquetServer.Zephra]
//     @="PlaquetServer.Zephra"
//
//     [HKEY_CLASSES_ROOT\PlaquetServer.Zephra\CLSID]
//     @="{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}"
//     "Count"=dword:0000000a
//
// Key and value names compare without regard to ASCII letter case and keep the case they were
// created with. Quoted texts escape '\' as "\\", '"' as "\"", and a line feed or carriage return
// as "\n" or "\r" (so no text can break its line). A key header runs from the first '[' to the
// ']' that ends the line, so key names may hold ']'. Blank lines and lines starting with ';' are
// ignored (and not kept when the hive is written back). Texts are UTF-8 and kept as bytes.
//
// Nothing here touches files: ParseHiveText and FormatHiveText are pure, so they can be fuzzed.

#include "platform/registry/wintypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

// Keys may not nest deeper than this below the hive's root (Windows has the same limit); it
// bounds the recursion of every walk over a hive.
constexpr int32_t kMaxRegistryKeyDepth = 512;

struct CHiveValue {
    std::string m_strName; // as created; "" is the key's default value
    DWORD m_dwType = REG_SZ;
    std::string m_strText; // REG_SZ data (never holds a NUL)
    DWORD m_dwNumber = 0;  // REG_DWORD data

    bool operator==(const CHiveValue&) const = default;
};

class CHiveKey {
public:
    explicit CHiveKey(std::string name = {}) : m_strName(std::move(name)) {}

    const std::string& Name() const { return m_strName; }

    // Sub keys and values by folded name (see FoldRegistryName), i.e. in the order the text
    // form lists them. The maps own their entries.
    const std::map<std::string, std::unique_ptr<CHiveKey>>& SubKeys() const { return m_subKeys; }
    const std::map<std::string, CHiveValue>& Values() const { return m_values; }

    // Null when there is no such sub key / value. The result belongs to this key.
    CHiveKey* FindSubKey(std::string_view name) const;
    const CHiveValue* FindValue(std::string_view name) const;

    // Returns the sub key, creating it with this spelling when it does not exist yet (created is
    // then set to true). An existing key keeps its own spelling.
    CHiveKey& CreateSubKey(std::string_view name, bool& created);

    // Removes the sub key and everything below it. False when there is none.
    bool RemoveSubKey(std::string_view name);

    // Sets a value; an existing value keeps the spelling of its name. Returns false when the
    // value already had this type and data, i.e. nothing changed.
    bool SetValue(CHiveValue value);
    bool RemoveValue(std::string_view name);

    // Deep comparison: names, values and sub keys.
    bool operator==(const CHiveKey& other) const;

private:
    std::string m_strName;
    std::map<std::string, CHiveValue> m_values;
    std::map<std::string, std::unique_ptr<CHiveKey>> m_subKeys;
};

// The comparison form of a key or value name: ASCII letters lower-cased, other bytes unchanged.
std::string FoldRegistryName(std::string_view name);

// Where and why a hive text could not be read. nLine counts from 1.
struct CHiveParseError {
    int32_t nLine = 0;
    std::string strMessage;
};

// Parses the text of a hive file into root, whose name (e.g. "HKEY_CLASSES_ROOT") every key
// header must start with. root is cleared first. Returns false and fills error on the first
// fault; root is then left empty. Runs in time linear in the text (up to map look-ups) and
// accepts any bytes without crashing.
bool ParseHiveText(std::string_view text, CHiveKey& root, CHiveParseError& error);

// The text form of a hive: the header, then one section per key in pre-order (sorted by folded
// name), each followed by its values; the root's own section only when it has values.
// ParseHiveText of the result gives back an equal tree.
std::string FormatHiveText(const CHiveKey& root);

// Quotes and escapes a text the way hive files do ("a\"b" for a"b).
std::string QuoteRegistryText(std::string_view text);

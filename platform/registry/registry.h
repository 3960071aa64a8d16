#pragma once
// The registry: three hives (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE) with the
// Win32 calls the design uses, so code written against it reads the same here.
//
// Storage. Each hive is one REGEDIT4 text file (format in hive.h) in the registry folder:
// $ZEPHRA_REGISTRY_DIR, else $XDG_CONFIG_HOME/brimble-zephra/registry, else
// ~/.config/brimble-zephra/registry. The variables are read again on every call, so a process
// (or a test) may switch folders; an open HKEY then refers to the same path in the new folder.
// The folder is created by the first write.
//
// Every read parses the file as it is now; nothing is cached, so other processes' writes are
// seen at once. Every write takes an exclusive flock on "<hive file>.lock" beside the file,
// reads and parses the file again, applies the change and replaces the file atomically (temp
// file, fsync, rename): two processes writing at once lose neither's keys, and a crash leaves
// either the old or the new file. A write that changes nothing does not touch the file.
//
// A hive file that cannot be parsed is never overwritten: reads and writes of that hive answer
// ERROR_BADDB and RegGetLastErrorText gives "<file>:<line>: <reason>" for a host to print.
//
// Names. Key paths use '\' between names; names compare without regard to ASCII letter case and
// keep the case they were created with. Key names must not be empty or hold a line break; keys
// nest at most kMaxRegistryKeyDepth deep. Texts are UTF-8 (bytes are kept as they are). A null
// or empty sub key means the key itself; a null or empty value name means the default value.
//
// Values are REG_SZ (text) or REG_DWORD (32-bit number). Access masks (REGSAM) and options are
// accepted and not checked: the files belong to the user.
//
// Threads: every call may be made from any thread.

#include "platform/registry/hive.h"
#include "platform/registry/wintypes.h"

#include <cstdint>
#include <string>

// An open key. The three predefined handles below are always open; any other comes from
// RegOpenKeyEx / RegCreateKeyEx and belongs to the caller until RegCloseKey. Handles are
// small numbers from a table, so a closed or made-up handle is reported, never dereferenced.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

// Results (Win32 error codes).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2; // no such key or value
constexpr LONG ERROR_ACCESS_DENIED = 5;  // deleting a key that has sub keys, or a hive root
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_DATA = 13;      // a value of another type than asked for
constexpr LONG ERROR_INVALID_PARAMETER = 87; // bad name, type, size or null pointer
constexpr LONG ERROR_MORE_DATA = 234;        // the caller's buffer is too small
constexpr LONG ERROR_NO_MORE_ITEMS = 259;    // enumeration index past the end
constexpr LONG ERROR_BADDB = 1009;           // the hive file cannot be parsed
constexpr LONG ERROR_CANTREAD = 1012;        // the hive file cannot be read
constexpr LONG ERROR_CANTWRITE = 1013;       // folder, lock or file cannot be written
constexpr LONG ERROR_KEY_DELETED = 1018;     // the handle's key was deleted meanwhile

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// Opens hKey\lpSubKey, creating every missing key on the way (with the spelling given here).
// On success *phkResult is a new handle the caller closes, and *lpdwDisposition (if not null)
// tells whether the key was created. An existing key is opened without writing anything.
// lpClass, dwOptions, samDesired and lpSecurityAttributes are ignored.
LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass, DWORD dwOptions,
                    REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                    DWORD* lpdwDisposition);
LONG RegCreateKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult);

// Opens an existing key: ERROR_FILE_NOT_FOUND when it does not exist. The new handle belongs to
// the caller.
LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                  PHKEY phkResult);
LONG RegOpenKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult);

// Closing a predefined handle does nothing; closing anything else twice is ERROR_INVALID_HANDLE.
LONG RegCloseKey(HKEY hKey);

// Sets a value of the key. REG_SZ data is the bytes up to cbData or the first NUL, whichever
// comes first; REG_DWORD data is 4 bytes (cbData must be 4). Other types: ERROR_INVALID_PARAMETER.
LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                   const BYTE* lpData, DWORD cbData);

// Sets the default value of hKey\lpSubKey to the NUL-terminated text lpData, creating the key if
// needed. dwType must be REG_SZ; cbData is ignored, as on Windows.
LONG RegSetValue(HKEY hKey, const char* lpSubKey, DWORD dwType, const char* lpData, DWORD cbData);

// Reads a value. *lpType (if not null) gets its type. With lpData null, *lpcbData gets the size
// needed; otherwise the data is copied when *lpcbData is large enough (else ERROR_MORE_DATA with
// the size needed in *lpcbData). A REG_SZ size counts its terminating NUL.
LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                     BYTE* lpData, DWORD* lpcbData);

// Reads the default value of hKey\lpSubKey as text into lpData (size rules as above). A key
// without a default value reads as "", as on Windows; a REG_DWORD default is ERROR_INVALID_DATA.
LONG RegQueryValue(HKEY hKey, const char* lpSubKey, char* lpData, LONG* lpcbData);

LONG RegDeleteValue(HKEY hKey, const char* lpValueName);

// Names of the sub keys, in the order of their folded names, one per index; ERROR_NO_MORE_ITEMS
// past the last. *lpcchName holds the buffer size on entry and the name length (without NUL) on
// success; ERROR_MORE_DATA when the buffer is too small. Each call reads the file again: prefer
// CRegKey::EnumKeyNames for whole lists. The class and time outputs are cleared.
LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                  char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumKey(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName);

// Deletes hKey\lpSubKey with its values. A key that still has sub keys, and a hive root, are not
// deleted (ERROR_ACCESS_DENIED); a missing key is ERROR_FILE_NOT_FOUND.
LONG RegDeleteKey(HKEY hKey, const char* lpSubKey);

// Deletes hKey\lpSubKey like RegDeleteKey, then each parent on the path of lpSubKey that is left
// without sub keys (its own values do not keep it), going up until a key that still has sub
// keys, and never above hKey itself. All of it is one write. Results as RegDeleteKey: in
// particular ERROR_ACCESS_DENIED (nothing changed) when the key still has sub keys, which
// unregistration code treats, like ERROR_FILE_NOT_FOUND, as "nothing to remove here".
LONG RegDeleteKeyAndEmptyParents(HKEY hKey, const char* lpSubKey);

// The registry folder as the environment gives it now (no trailing '/'). Empty when neither
// variable nor a home folder is known.
std::string RegGetRegistryFolder();

// Full path of the file of a predefined hive handle; empty for any other handle.
std::string RegGetHiveFilePath(HKEY hive);

// Parses a hive's file now. ERROR_SUCCESS when it is readable (a missing file is an empty hive);
// else the error, and errorText (if not null) gets "<file>:<line>: <reason>" or "<file>: <cause>".
LONG RegCheckHive(HKEY hive, std::string* errorText);

// Description of the last file-level failure (ERROR_BADDB, ERROR_CANTREAD, ERROR_CANTWRITE) of a
// registry call on this thread, for a host to print. Left unchanged by successful calls.
std::string RegGetLastErrorText();

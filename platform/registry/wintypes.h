#pragma once
// Integer types of the Win32-shaped interfaces of the platform layer (registry and COM), with
// the widths they have on Windows, so code written against the design reads the same here.

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using USHORT = uint16_t;
using SHORT = int16_t;
using LONG = int32_t;
using INT = int32_t;

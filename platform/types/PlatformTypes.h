#pragma once

// The platform's vocabulary under its published names: the integer types of its records and
// calls, window handles and the generic result codes. Every stand-in takes them from here.

#include <cstdint>

namespace kelvora::platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using FOURCC = DWORD;        // four characters packed little-endian; FourCC is the typed form
using HWND = std::intptr_t;  // a window handle (Qt's native window id); 0 is none

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

}  // namespace kelvora::platform

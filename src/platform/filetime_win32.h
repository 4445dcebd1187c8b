// Windows file times as the Platform table carries them: a FILETIME's two
// halves read as one count of 100 ns intervals since 1601, and back. Shared
// by the Windows backend and the Windows tests, which set and read times
// straight through Win32.
#pragma once

#include <windows.h>

#include <cstdint>

inline std::int64_t from_filetime(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
}

inline FILETIME to_filetime(std::int64_t n) {
  const auto bits = static_cast<std::uint64_t>(n);
  return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFU), static_cast<DWORD>(bits >> 32)};
}

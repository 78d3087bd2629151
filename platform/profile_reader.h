// The launcher's own reader of profile (INI) files, in place of GetPrivateProfileStringW, so
// that config.ini reads the same on every Windows: the syntax is that of the system's reader,
// the file's encoding is detected from its bytes. Plain C++ over the seam's own ANSI
// conversion: the Windows side hands it the file's bytes, the fake hands it made-up files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::profile {

// A config.ini of a few hundred bytes is what a packager writes; a file past this size is
// not one, and reads as a file that cannot be read (every value its default).
inline constexpr std::size_t kMaxFileBytes = 4u << 20;
// The one test of that bound: a file of exactly kMaxFileBytes is read, one byte more is not.
inline bool WithinSizeBound(std::size_t bytes) { return bytes <= kMaxFileBytes; }

// The file's text: UTF-16 LE or BE after their byte-order marks, UTF-8 after its mark; without
// a mark, UTF-8 when the bytes are valid UTF-8 beyond ASCII, except that in a double-byte ANSI
// code page bytes whose only non-ASCII sequences are of two bytes are ANSI when valid there; the
// ANSI code page of the run otherwise.
std::wstring DecodeFileText(std::string_view bytes);

// The value of `key` in the first section named `section` (names matched without regard to
// ASCII letter case), blanks around it dropped, cut at a NUL, one pair of enclosing quotes
// dropped; nothing when the section or the key is not there, or the key's line has no '='.
std::optional<std::wstring> FindValue(std::wstring_view text, std::wstring_view section,
                                      std::wstring_view key);

// What GetPrivateProfileStringW gives with a buffer of `capacity` code units: the value or the
// fallback, cut to capacity - 1 code units. `bytes` is nothing for a file that cannot be read.
std::wstring ReadValue(const std::optional<std::string>& bytes, std::wstring_view section,
                       std::wstring_view key,
                       std::wstring_view fallback, std::uint32_t capacity);

}  // namespace platform::profile

// UTF-8, the project's text, and UTF-16, the Windows API's: the one conversion
// every Windows part of the tree uses (file names, host names, the command
// line, the console, the window's controls). Portable, so it is tested
// everywhere.
#pragma once

#include <string>
#include <string_view>

namespace pcpos {

// Each byte of an invalid UTF-8 sequence (stray continuation, truncated or
// overlong form, encoded surrogate, beyond U+10FFFF) becomes one U+FFFD.
std::u16string Utf16(std::string_view utf8);

// An unpaired surrogate becomes U+FFFD; the result is always valid UTF-8.
std::string Utf8(std::u16string_view utf16);

#ifdef _WIN32
// The same in the type the Windows API takes (wchar_t has 16 bits there).
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
#endif

}  // namespace pcpos

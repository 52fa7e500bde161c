// The window system's UTF-16 and the core's UTF-8, converted at the controls.
#pragma once

#include <string>
#include <string_view>

namespace pcpos::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace pcpos::win32

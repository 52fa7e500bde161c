// The window's initial input texts, also the command-line client's defaults.
#pragma once

#include <string>
#include <string_view>

namespace pcpos {

inline constexpr std::string_view kDefaultHost = "192.168.1.50";
inline constexpr std::string_view kDefaultPort = "9053";
inline constexpr std::string_view kDefaultAmount = "1000";

// On Windows the user's Documents folder followed by "\" ("C:\" when the
// system names none); elsewhere the user's home folder followed by "/".
std::string DefaultLogFolder();

}  // namespace pcpos

// SHA-256 (FIPS 180-4), for the report's fingerprint of its journal rows: a
// reader of the printed report can recompute it from the journal file.
#pragma once

#include <string>
#include <string_view>

namespace pcpos::acceptance {

// The digest of the bytes, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace pcpos::acceptance

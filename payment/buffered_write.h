// Inside the response log only: the buffered write both platform files use.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace pcpos::detail {

// The log is written through a buffer of this size: each time it fills it is
// written out, and what remains goes out when the file is closed.
inline constexpr std::size_t kWriteBufferSize = 128;

// Hands the text to `write_out` in pieces of at most the buffer size, the
// way a buffered file writes it.
template <typename WriteOut>
void WriteBuffered(std::string_view text, WriteOut&& write_out) {
  std::array<char, kWriteBufferSize> buffer{};
  std::size_t used = 0;
  for (char c : text) {
    buffer[used++] = c;
    if (used == buffer.size()) {
      write_out(buffer.data(), used);
      used = 0;
    }
  }
  if (used > 0) write_out(buffer.data(), used);
}

}  // namespace pcpos::detail

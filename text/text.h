// Text helpers shared by the core. Texts are UTF-8 std::strings; the wire is
// US-ASCII, one byte per character.
#pragma once

#include <string>
#include <string_view>

namespace pcpos {

// Removes every character of code 0 to 32 from both ends (other blanks stay).
std::string_view TrimControl(std::string_view text);

// Persian (U+06F0..U+06F9) and Arabic-Indic (U+0660..U+0669) digits become the
// ASCII digits they stand for; everything else is kept as it is.
std::string AsciiDigits(std::string_view utf8);

// UTF-8 text to US-ASCII bytes: each code point above 127, and each byte of an
// invalid sequence, becomes one "?".
std::string ToAscii(std::string_view utf8);

// Received bytes to text: bytes 0..127 stay (a zero byte included), bytes above
// 127 become "?", so the result is always valid UTF-8 (plain ASCII).
std::string FromAscii(std::string_view bytes);

// Number of characters (code points) of a UTF-8 text; an invalid byte counts as one.
std::size_t CharacterCount(std::string_view utf8);

// Every line break (CR LF, lone CR, lone LF) becomes CR LF.
std::string NormaliseLineBreaks(std::string_view text);

// The text up to, not including, its first character of code 0.
std::string_view UpToNul(std::string_view text);

}  // namespace pcpos

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::utf8 {

// The program keeps every text in UTF-8; these are the few steps the file formats need.

// Decodes the code point at pos and moves pos past it. False for a sequence that is not UTF-8
// (truncated, overlong, a surrogate, beyond U+10FFFF); pos then stays where it was.
bool decode(std::string_view text, std::size_t& pos, char32_t& codePoint);

void append(std::string& out, char32_t codePoint);

bool isValid(std::string_view text);

// How many UTF-16 code units the text takes, the measure of a cell's length limit.
std::size_t utf16Length(std::string_view validText);

// The text with every invalid sequence replaced by U+FFFD.
std::string repaired(std::string_view text);

}  // namespace qm::utf8

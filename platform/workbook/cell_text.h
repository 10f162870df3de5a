#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::cell_text {

// How texts and numbers travel between a cell and an OOXML file.

// The most characters (UTF-16 units) a cell holds in the spreadsheet applications. A file with a
// longer text was not saved by one of them, so it is refused as damaged rather than cut: a cut
// name or container could name another account than the one the sheet's author meant.
inline constexpr std::size_t kMaxCharacters = 32767;
inline constexpr const char* kMaxCharactersText = "32,767";

// The length of a UTF-8 text as the spreadsheet applications count it, in UTF-16 units.
std::size_t utf16Length(std::string_view text);

// Excel reads "_xHHHH_" in a cell's text as the character HHHH. A text that holds such a sequence
// literally gets its underscore written as "_x005F_", so it reads back unchanged.
std::string escapeForOoxml(std::string_view text);

// The reverse, as Excel reads a file: every "_xHHHH_" becomes its character.
std::string decodeOoxml(std::string_view text);

// A number as Excel shows it in a General cell and as the cell's value reads as text: 5 as "5",
// 2.5 as "2.5", at most 15 significant digits, an exponent only for very large or small values.
std::string formatNumber(double value);

}  // namespace qm::cell_text

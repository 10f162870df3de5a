#pragma once

#include <string>
#include <string_view>

namespace qm::cell_text {

// How texts and numbers travel between a cell and an OOXML file.

// Excel reads "_xHHHH_" in a cell's text as the character HHHH. A text that holds such a sequence
// literally gets its underscore written as "_x005F_", so it reads back unchanged.
std::string escapeForOoxml(std::string_view text);

// The reverse, as Excel reads a file: every "_xHHHH_" becomes its character.
std::string decodeOoxml(std::string_view text);

// A number as Excel shows it in a General cell and as the cell's value reads as text: 5 as "5",
// 2.5 as "2.5", at most 15 significant digits, an exponent only for very large or small values.
std::string formatNumber(double value);

}  // namespace qm::cell_text

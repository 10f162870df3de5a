#pragma once

#include <string>

namespace qm {

// The text functions the program's comparisons rely on. Only spaces are trimmed (a tab is text),
// and letter case is folded for ASCII letters only: every label and keyword compared is ASCII.
std::string trimSpaces(const std::string& text);
std::string lowerAscii(std::string text);
std::string upperAscii(std::string text);

}  // namespace qm

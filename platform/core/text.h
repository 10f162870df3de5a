#pragma once

#include <string>
#include <string_view>

namespace qm {

// The text functions the program's comparisons rely on. Only spaces are trimmed (a tab is text),
// and letter case is folded for ASCII letters only: every label and keyword compared is ASCII.
std::string trimSpaces(const std::string& text);
std::string lowerAscii(std::string text);
std::string upperAscii(std::string text);

// A computer's name as Windows shows it: the host name up to its first dot, upper case, at most
// 15 characters (a NetBIOS name).
std::string netbiosName(const std::string& hostName);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text as a C library takes it. A NUL inside would end the text there, so that a name could
// address another object; such text is refused (run-time error 5).
const char* cString(const std::string& text);

}  // namespace qm

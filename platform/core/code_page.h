#pragma once

#include <string>
#include <string_view>

namespace qm::cp1252 {

// Windows-1252, the 8-bit code page that files edited on Windows carry, which this program writes
// and reads as "the system's ANSI code page". Inside, every text is UTF-8.

// A character the code page cannot hold is run-time error 5 naming the text: a name must never be
// written as a '?' that would later match no account. Invalid UTF-8 is the same error.
std::string fromUtf8(std::string_view utf8Text);

// The same, with '?' for a character the code page cannot hold and for invalid UTF-8.
std::string fromUtf8Lossy(std::string_view utf8Text);

// Every byte has a character (the five unassigned ones map to the C1 controls, as on Windows).
std::string toUtf8(std::string_view bytes);

}  // namespace qm::cp1252

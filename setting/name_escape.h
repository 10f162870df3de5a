#pragma once

#include <string>

namespace qm {

// A common name made fit for a distinguished name: the backslash first, so that the backslashes
// added for the other nine characters are not doubled, then / , # + < > ; " and =.
std::string EscapeName(const std::string& commonName);

}  // namespace qm

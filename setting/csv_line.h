#pragma once

#include <string>
#include <vector>

#include "platform/core/error_trap.h"

namespace qm {

// Splits one line of the comma-delimited sheet into its fields. A comma inside double quotes stays
// in its field; a field that starts with a quote loses its first and last characters and has each
// doubled quote made single. Fields are not trimmed. A blank line gives one empty field; a line
// with no comma outside quotes, the appended one included, gives none. Runs under trap QMK24.
std::vector<std::string> ParseCsvLine(const std::string& line, TrapServices& trap);

}  // namespace qm

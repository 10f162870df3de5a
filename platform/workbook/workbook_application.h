#pragma once

#include <memory>

#include "platform/sheet.h"

namespace qm {

// The spreadsheet component of this program: new workbooks are written as OOXML workbooks with
// libxlsxwriter; existing .xlsx and legacy .xls workbooks are read by their content. It runs in
// the program's own process, is never visible and asks nobody anything.
std::unique_ptr<SpreadsheetFactory> makeSpreadsheetFactory();

}  // namespace qm

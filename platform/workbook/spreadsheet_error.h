#pragma once

#include <string>

#include "platform/core/run_time_error.h"

namespace qm {

// Every failure of the spreadsheet component carries the number Excel's automation gives for its
// own errors (1004) and the component's name as its source.
inline constexpr const char* kSpreadsheetSource = "Spreadsheet";
inline constexpr std::int32_t kSpreadsheetErrorNumber = 1004;

inline RunTimeError spreadsheetError(std::string description) {
    return RunTimeError(kSpreadsheetErrorNumber, std::move(description), kSpreadsheetSource);
}

// "The workbook NAME is damaged (DETAIL)".
[[noreturn]] inline void throwDamaged(const std::string& displayName, const std::string& detail) {
    throw spreadsheetError("The workbook " + displayName + " is damaged (" + detail + ")");
}

}  // namespace qm

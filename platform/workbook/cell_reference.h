#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Rows and columns are 1-based, as in Cells(row, column), and bounded by the worksheet's size.
inline constexpr std::int32_t kMaxRows = 1048576;
inline constexpr std::int32_t kMaxColumns = 16384;  // XFD

struct CellPosition {
    std::int32_t row = 0;
    std::int32_t column = 0;
};

// "AA10" as row 10, column 27; nothing when it is not a reference inside the worksheet.
std::optional<CellPosition> parseCellReference(std::string_view reference);

std::string columnName(std::int32_t column);
std::string cellName(std::int32_t row, std::int32_t column);

bool isInsideWorksheet(std::int32_t row, std::int32_t column);

}  // namespace qm

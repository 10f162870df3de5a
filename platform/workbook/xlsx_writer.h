#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/workbook/cell_store.h"

namespace qm {

// What Columns(n).ColumnWidth and Columns(range).Font set on one column.
struct ColumnStyle {
    std::optional<double> width;  // in character widths
    std::optional<std::string> fontName;
    std::optional<double> fontSize;
};

struct SheetContent {
    std::string name;
    std::map<std::int32_t, ColumnStyle> columns;  // by column number, 1-based
    CellStore& cells;                             // every cell holds a text
};

// Writes a one-sheet OOXML workbook with libxlsxwriter. The file is built under a temporary name
// in the target's folder and renamed over the target only when complete, so no half-written
// workbook ever carries the name. Every failure is a RunTimeError of the spreadsheet component.
void writeXlsxWorkbook(const std::string& path, const SheetContent& sheet);

}  // namespace qm

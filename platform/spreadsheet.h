#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/variant.h"

namespace qm {

// The spreadsheet application the sheet writer and reader drive. Every failure is raised as a
// RunTimeError; creating the application, opening and saving a workbook are the ones callers test.

class Worksheet {
public:
    virtual ~Worksheet() = default;
    virtual std::string Name() const = 0;
    virtual void setName(const std::string& name) = 0;
    // Cells(row, column).Value, 1-based. A set value is stored as text, whatever it looks like.
    virtual void setCellValue(std::int32_t row, std::int32_t column, const std::string& text) = 0;
    // The text a person sees in the cell (5 reads as "5"); Empty for a blank cell.
    virtual Variant cellValue(std::int32_t row, std::int32_t column) = 0;
    // Columns(range).Font.Name and .Size, range such as "A:D".
    virtual void setColumnsFontName(const std::string& columns, const std::string& fontName) = 0;
    virtual void setColumnsFontSize(const std::string& columns, double size) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    // Worksheets(index), 1-based.
    virtual Worksheet& Worksheets(int index) = 0;
    // Writes the workbook under the name; a name without an extension gets ".xlsx".
    virtual void SaveAs(const std::string& fileName) = 0;
    virtual void Close() = 0;
};

class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    // A new workbook, which becomes the active one.
    virtual Workbook& WorkbooksAdd() = 0;
    // Opens a workbook file (the format is told by its content); it becomes the active one.
    virtual Workbook& WorkbooksOpen(const std::string& fileName) = 0;
    virtual Workbook& ActiveWorkbook() = 0;
    // Columns(n).ColumnWidth of the active sheet, in character-width units.
    virtual void setColumnWidth(int column, double width) = 0;
    virtual void Quit() = 0;
};

// Creating the automation object "Excel.Application".
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::unique_ptr<SpreadsheetApplication> createApplication() = 0;
};

}  // namespace qm

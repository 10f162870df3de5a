#include "platform/workbook/new_workbook.h"

#include <filesystem>

#include "platform/workbook/cell_reference.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/core/utf8.h"

namespace qm {

namespace {

constexpr std::size_t kMaxCellCharacters = 32767;
constexpr std::size_t kMaxSheetNameCharacters = 31;
constexpr double kMaxColumnWidth = 255;
constexpr double kMinFontSize = 1;
constexpr double kMaxFontSize = 409;

void checkCell(std::int32_t row, std::int32_t column) {
    if (!isInsideWorksheet(row, column)) {
        throw spreadsheetError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                               ") is outside the worksheet");
    }
}

void checkCellText(std::int32_t row, std::int32_t column, const std::string& text) {
    // LibreOffice silently drops every cell after one with invalid UTF-8; refuse it here.
    if (!utf8::isValid(text)) {
        throw spreadsheetError("The text for cell " + cellName(row, column) + ", \"" +
                               utf8::repaired(text) + "\", is not valid UTF-8");
    }
    if (utf8::utf16Length(text) > kMaxCellCharacters) {
        throw spreadsheetError("The text for cell " + cellName(row, column) + " is longer than " +
                               std::to_string(kMaxCellCharacters) + " characters");
    }
}

void checkSheetName(const std::string& name) {
    const bool validLength =
        utf8::isValid(name) && !name.empty() && utf8::utf16Length(name) <= kMaxSheetNameCharacters;
    if (!validLength || name.find_first_of(":\\/?*[]") != std::string::npos ||
        name.front() == '\'' || name.back() == '\'') {
        throw spreadsheetError("\"" + utf8::repaired(name) +
                               "\" is not a valid worksheet name (1 to 31 characters, none of "
                               ": \\ / ? * [ ], not starting or ending with an apostrophe)");
    }
}

}  // namespace

// --- Worksheet --------------------------------------------------------------------------------

void NewWorksheet::checkOpen() const {
    if (workbook_.isClosed()) {
        throw spreadsheetError("The workbook has been closed");
    }
}

std::string NewWorksheet::Name() const {
    checkOpen();
    return name_;
}

void NewWorksheet::setName(const std::string& name) {
    checkOpen();
    checkSheetName(name);
    name_ = name;
}

void NewWorksheet::setCellValue(std::int32_t row, std::int32_t column, const std::string& text) {
    checkOpen();
    checkCell(row, column);
    checkCellText(row, column, text);
    cells_.set(row, column, text);
}

Variant NewWorksheet::cellValue(std::int32_t row, std::int32_t column) {
    checkOpen();
    checkCell(row, column);
    auto text = cells_.get(row, column);
    return text ? Variant(std::move(*text)) : Variant();
}

template <typename Change>
void NewWorksheet::changeColumns(const std::string& columns, Change change) {
    checkOpen();
    const auto range = parseColumnRange(columns);
    if (!range) {
        throw spreadsheetError("\"" + columns + "\" is not a range of columns");
    }
    for (std::int32_t column = range->first; column <= range->second; ++column) {
        change(columns_[column]);
    }
}

void NewWorksheet::setColumnsFontName(const std::string& columns, const std::string& fontName) {
    if (fontName.empty() || !utf8::isValid(fontName)) {
        throw spreadsheetError("\"" + utf8::repaired(fontName) + "\" is not a font name");
    }
    changeColumns(columns, [&](ColumnStyle& style) { style.fontName = fontName; });
}

void NewWorksheet::setColumnsFontSize(const std::string& columns, double size) {
    if (!(size >= kMinFontSize && size <= kMaxFontSize)) {
        throw spreadsheetError("A font size must be between 1 and 409 points");
    }
    changeColumns(columns, [&](ColumnStyle& style) { style.fontSize = size; });
}

void NewWorksheet::setColumnWidth(int column, double width) {
    checkOpen();
    checkCell(1, column);
    if (!(width >= 0 && width <= kMaxColumnWidth)) {
        throw spreadsheetError("A column width must be between 0 and 255 characters");
    }
    columns_[column].width = width;
}

// --- Workbook ---------------------------------------------------------------------------------

Worksheet& NewWorkbook::Worksheets(int index) {
    if (closed_) {
        throw spreadsheetError("The workbook has been closed");
    }
    if (index != 1) {
        throw RunTimeError(err::SubscriptOutOfRange, "Subscript out of range", kSpreadsheetSource);
    }
    return sheet_;
}

void NewWorkbook::setActiveSheetColumnWidth(int column, double width) {
    sheet_.setColumnWidth(column, width);
}

void NewWorkbook::SaveAs(const std::string& fileName) {
    if (closed_) {
        throw spreadsheetError("The workbook has been closed");
    }
    writeXlsxWorkbook(saveFileName(fileName), sheet_.content());
}

// A name without an extension gets ".xlsx", as in the spreadsheet application. Any other name is
// written as an OOXML workbook under exactly that name, ".xls" included: nothing on this system
// writes the legacy binary format, and both Excel (after a warning about the extension) and
// LibreOffice open an OOXML workbook whatever it is called; this program's reader tells the
// format by the content too. Writing a .xls would also cap the sheet at 65,536 rows.
std::string saveFileName(const std::string& fileName) {
    const std::filesystem::path path(fileName);
    const std::string extension = path.extension().string();
    if (!path.filename().empty() && (extension.empty() || extension == ".")) {
        return fileName + (extension == "." ? "xlsx" : ".xlsx");
    }
    return fileName;
}

}  // namespace qm

#include "platform/workbook/new_workbook.h"

#include <filesystem>

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"
#include "platform/core/utf8.h"
#include "platform/workbook/cell_reference.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

constexpr std::size_t kMaxCellCharacters = 32767;

void checkCell(std::int32_t row, std::int32_t column, const std::string& text) {
    if (!isInsideWorksheet(row, column)) {
        throw spreadsheetError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                               ") is outside the worksheet");
    }
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

}  // namespace

void NewWorkbook::set(Int32 row, int column, const std::string& text) {
    checkCell(row.value(), column, text);
    cells_.set(row.value(), column, text);
}

void NewWorkbook::begin(int biasHours) {
    sheetName_ = sheet::kWorksheetName;
    set(sheet::kVersionRow, sheet::kColumnLabel, kVersionLabel);
    set(sheet::kVersionRow, sheet::kColumnOffset, sheet::offsetNote(biasHours));
    lastRow_ = sheet::kVersionRow;
}

void NewWorkbook::writeNames(const UserEntryNames& names) {
    const Int32 r = lastRow_ + 2;  // one empty row below the previous block
    set(r, sheet::kColumnLabel, sheet::kCommonNameLabel);
    set(r, sheet::kColumnValue, names.commonName);
    set(r, sheet::kColumnDayLabel, sheet::kLogonHoursLabel);
    set(r, sheet::kColumnDay, sheet::kHoursHeading);
    set(r + 1, sheet::kColumnLabel, sheet::kLogonNameLabel);
    set(r + 1, sheet::kColumnValue, names.logonName);
    set(r + 2, sheet::kColumnLabel, sheet::kContainerLabel);
    set(r + 2, sheet::kColumnValue, names.container);
    set(r + 3, sheet::kColumnLabel, sheet::kDomainLabel);
    set(r + 3, sheet::kColumnValue, names.domain);
    for (int day = 0; day < 7; ++day) {
        set(r + 1 + day, sheet::kColumnDayLabel, sheet::kDayNames[day]);
    }
    lastRow_ = r + sheet::kBlockRows - 1;
}

void NewWorkbook::writeDays(const DayStrings& days) {
    const Int32 r = lastRow_ - (sheet::kBlockRows - 1);
    for (int day = 0; day < 7; ++day) {
        set(r + 1 + day, sheet::kColumnDay, days[day]);
    }
}

void NewWorkbook::finish() {
    for (int column = 1; column <= 4; ++column) {
        ColumnStyle& style = columns_[column];
        style.fontName = sheet::kFontName;
        style.fontSize = sheet::kFontSize;
        style.width = sheet::kColumnWidths[column - 1];
    }
    save();
}

void NewWorkbook::abandon() noexcept {
    try {
        save();
    } catch (const RunTimeError&) {
        // The run is ending over an error already shown; what could be kept was kept.
    }
}

void NewWorkbook::save() {
    if (saved_) {
        throw spreadsheetError("The workbook has been closed");
    }
    saved_ = true;
    writeXlsxWorkbook(saveFileName(fileName_), {sheetName_, columns_, cells_});
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

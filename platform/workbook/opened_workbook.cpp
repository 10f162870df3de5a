#include "platform/workbook/opened_workbook.h"

#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

[[noreturn]] void refuse(const std::string& fileName) {
    throw spreadsheetError("The workbook " + fileName +
                           " is open for reading only; it cannot be changed or saved");
}

}  // namespace

void OpenedWorksheet::checkOpen() const {
    if (workbook_.isClosed()) {
        throw spreadsheetError("The workbook " + workbook_.fileName() + " has been closed");
    }
}

void OpenedWorksheet::refuseChange() const {
    checkOpen();
    refuse(workbook_.fileName());
}

std::string OpenedWorksheet::Name() const {
    checkOpen();
    return reader_->sheetName();
}

Variant OpenedWorksheet::cellValue(std::int32_t row, std::int32_t column) {
    checkOpen();
    return reader_->cellValue(row, column);
}

Worksheet& OpenedWorkbook::Worksheets(int index) {
    if (closed_) {
        throw spreadsheetError("The workbook " + fileName_ + " has been closed");
    }
    if (index != 1) {
        throw RunTimeError(err::SubscriptOutOfRange, "Subscript out of range", kSpreadsheetSource);
    }
    return sheet_;
}

void OpenedWorkbook::SaveAs(const std::string&) {
    refuse(fileName_);
}

void OpenedWorkbook::setActiveSheetColumnWidth(int, double) {
    refuse(fileName_);
}

}  // namespace qm

#include "platform/workbook/new_workbook.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "logonhours/sheet_layout.h"
#include "platform/core/app_identity.h"
#include "platform/core/utf8.h"
#include "platform/workbook/cell_reference.h"
#include "platform/workbook/cell_text.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/xlsx_writer.h"

namespace qm {

namespace {

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
    if (utf8::utf16Length(text) > cell_text::kMaxCharacters) {
        throw spreadsheetError("The text for cell " + cellName(row, column) + " is longer than " +
                               std::to_string(cell_text::kMaxCharacters) + " characters");
    }
}

}  // namespace

NewWorkbook::NewWorkbook(std::string fileName) : fileName_(std::move(fileName)) {}

NewWorkbook::~NewWorkbook() = default;

void NewWorkbook::set(Int32 row, int column, const std::string& text) {
    checkCell(row.value(), column, text);
    if (!text.empty()) {  // an empty text leaves the cell blank, as in the spreadsheet application
        block_.push_back({row.value(), column, text});
    }
}

template <typename Step>
void NewWorkbook::toFile(Step step) {
    try {
        step();
    } catch (const RunTimeError& error) {
        failure_ = error;
        file_.reset();
    }
}

// The file takes rows only in ascending order: the names of an entry wait for its days.
void NewWorkbook::writeBlock() {
    if (file_) {
        std::sort(block_.begin(), block_.end(), [](const Cell& a, const Cell& b) {
            return std::tie(a.row, a.column) < std::tie(b.row, b.column);
        });
        toFile([&] {
            for (const Cell& cell : block_) {
                file_->write(cell.row, cell.column, cell.text);
            }
        });
    }
    block_.clear();
}

void NewWorkbook::begin(int biasHours) {
    set(sheet::kVersionRow, sheet::kColumnLabel, kVersionLabel);
    set(sheet::kVersionRow, sheet::kColumnOffset, sheet::offsetNote(biasHours));
    lastRow_ = sheet::kVersionRow;
    toFile([&] {
        file_ = std::make_unique<XlsxFile>(saveFileName(fileName_), sheet::kWorksheetName);
        file_->setFont(sheet::kFontName, sheet::kFontSize);
        for (int column = 1; column <= 4; ++column) {
            file_->formatColumn(column, sheet::kColumnWidths[column - 1]);
        }
    });
    writeBlock();
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
    writeBlock();
}

void NewWorkbook::finish() {
    save();
}

// What was set before the error is kept: the entry being written too, as far as it got.
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
    writeBlock();
    saved_ = true;
    if (failure_) {
        throw *failure_;
    }
    if (file_) {
        const std::unique_ptr<XlsxFile> file = std::move(file_);
        file->close();
    }
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

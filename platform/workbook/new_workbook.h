#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/core/checked_int.h"
#include "platform/sheet.h"
#include "platform/workbook/cell_store.h"
#include "platform/workbook/xlsx_writer.h"

namespace qm {

// The workbook form of a new logon-hours sheet, laid out as the sheet layout says: the version
// label, then one block of 8 rows per user entry. Its cells are kept by a CellStore, and the file
// is written only when the workbook is saved.
class NewWorkbook : public SheetSink {
public:
    explicit NewWorkbook(std::string fileName) : fileName_(std::move(fileName)) {}

    void begin(int biasHours) override;
    void writeNames(const UserEntryNames& names) override;
    void writeDays(const DayStrings& days) override;
    // Formats columns A to D (the font, the widths), then saves.
    void finish() override;
    void abandon() noexcept override;

private:
    void set(Int32 row, int column, const std::string& text);
    void save();

    std::string fileName_;
    std::string sheetName_ = "Sheet1";
    std::map<std::int32_t, ColumnStyle> columns_;
    CellStore cells_;
    Int32 lastRow_ = 0;  // the last row of the version label or of the latest block
    bool saved_ = false;
};

// The file a workbook is saved as, as the spreadsheet application names it.
std::string saveFileName(const std::string& fileName);

}  // namespace qm

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/checked_int.h"
#include "platform/core/run_time_error.h"
#include "platform/sheet.h"

namespace qm {

class XlsxFile;

// The workbook form of a new logon-hours sheet, laid out as the sheet layout says: the version
// label, then one block of 8 rows per user entry. Each block goes to the file once its days are
// known, so saving the workbook has only to complete the file.
class NewWorkbook : public SheetSink {
public:
    explicit NewWorkbook(std::string fileName);
    ~NewWorkbook() override;

    // Starts the file: the worksheet, columns A to D formatted (the font, the widths), row 1.
    void begin(int biasHours) override;
    void writeNames(const UserEntryNames& names) override;
    void writeDays(const DayStrings& days) override;
    void finish() override;
    void abandon() noexcept override;

private:
    struct Cell {
        std::int32_t row;
        int column;
        std::string text;
    };

    void set(Int32 row, int column, const std::string& text);
    void writeBlock();
    template <typename Step>
    void toFile(Step step);
    void save();

    std::string fileName_;
    std::unique_ptr<XlsxFile> file_;
    // Why the file cannot be written; reported when the workbook is saved, as a workbook kept
    // whole in memory would report it.
    std::optional<RunTimeError> failure_;
    std::vector<Cell> block_;  // set, not yet in the file: the rows of the entry being written
    Int32 lastRow_ = 0;        // the last row of the version label or of the latest block
    bool saved_ = false;
};

// The file a workbook is saved as, as the spreadsheet application names it.
std::string saveFileName(const std::string& fileName);

}  // namespace qm

#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/zip_archive.h"

namespace qm {

class SharedStrings;
class XmlPart;

// The first worksheet of an OOXML workbook (.xlsx, whatever the file is called), read as a stream
// with libzip and QXmlStreamReader. Only a window of recent rows is held: reading downward costs
// one pass over the sheet, and going back above the window starts the pass again from the top.
class XlsxCellReader : public CellReader {
public:
    XlsxCellReader(ZipArchive archive, const ReaderLimits& limits);
    ~XlsxCellReader() override;

    std::string sheetName() const override { return sheetName_; }
    Variant cellValue(std::int32_t row, std::int32_t column) override;

    // Rows held below the one asked for, so a block of rows can be read in any order.
    static constexpr std::int32_t kHistoryRows = 64;
    // The most the held rows take; older rows are let go sooner, and a row alone larger than
    // this makes the file damaged.
    static constexpr std::size_t kMaxHeldBytes = 32 << 20;

private:
    enum class Kind : std::uint8_t { Text, Error, SharedString };
    // A shared string stays in its table, however many cells name it.
    struct Cell {
        std::int32_t column;
        Kind kind;
        std::uint32_t sharedIndex;
        std::string text;
    };
    struct Row {
        std::int32_t number;
        std::vector<Cell> cells;
        std::size_t bytes = 0;
    };

    void locateFirstWorksheet();
    void startSheetPass();
    bool readNextRow();
    void readRow(Row& row);
    void readCell(Row& row);
    std::string inlineText();
    Cell makeCell(const std::string& type, const std::string& value, std::int32_t column) const;
    std::string cellText(const std::string& type, const std::string& value,
                         std::int32_t column) const;
    Variant valueOf(const Cell& cell, std::int32_t row) const;
    void dropRowsBelow(std::int32_t row);
    void keepHeldRowsSmall(std::int32_t row);

    ZipArchive archive_;
    ReaderLimits limits_;
    DecompressionBudget budget_;
    std::string sheetName_;
    std::string sheetPart_;
    std::unique_ptr<SharedStrings> sharedStrings_;
    std::unique_ptr<XmlPart> sheet_;
    std::deque<Row> rows_;
    std::size_t heldBytes_ = 0;
    std::int32_t lastRowRead_ = 0;
    std::int32_t firstHeldRow_ = 1;
    bool sheetEnded_ = false;
};

}  // namespace qm

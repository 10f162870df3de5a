#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logonhours/logon_hours.h"
#include "platform/core/checked_int.h"
#include "platform/core/error_trap.h"
#include "platform/core/text.h"
#include "platform/sheet.h"

namespace qm {

// One user as the Set run reads it back from the sheet.
struct UserRow {
    std::string name;  // the common name (CSV) or the account name (workbook)
    std::string container;
    std::string domain;
    std::string commonName;     // workbook only, escaped as read; empty for a CSV line
    std::string rawCommonName;  // the common name as the sheet holds it, for the restore sheet
    DayStrings days;
};

// The lines of a comma-delimited sheet, each pass from the start.
class CsvScan {
public:
    using Fields = std::vector<std::string>;
    // Called for each line of three fields or more.
    using LineVisitor = std::function<void(const Fields& fields)>;

    CsvScan(std::unique_ptr<CsvSource> source, ErrorTrap& trap, TrapServices& parserTrap);

    // Counting pass: the lines of three fields or more, the first one not if it is the header.
    Int32 countRows();
    // Applying pass, under the markers of reading, parsing and checking a line.
    void forEachLine(const char* const (&markers)[3], const LineVisitor& visit);

private:
    std::unique_ptr<CsvSource> source_;
    ErrorTrap& trap_;
    TrapServices& parserTrap_;
};

// True for the first field of the header row: "Name" in any case.
bool isHeaderName(const std::string& field);

// The user blocks of a workbook's first worksheet: a block starts at a row whose column A reads
// "Common Name"; eight empty cells of column A in a row end the scan.
class WorkbookScan {
public:
    // Called for a block at row r while the scan stands on it; it reads what it needs.
    using BlockVisitor = std::function<void(Int32 firstRow)>;

    WorkbookScan(WorkbookSource& sheet, ErrorTrap& trap) : sheet_(sheet), trap_(trap) {}

    // Counting pass: the number of blocks.
    Int32 countBlocks();
    // Applying pass: hands each block to the visitor, which counts it.
    void forEachBlock(const char* cellMarker, const BlockVisitor& visit);

    // A cell as text without surrounding spaces.
    std::string cellText(Int32 row, int column);

private:
    WorkbookSource& sheet_;
    ErrorTrap& trap_;
};

// The step markers of reading one row: the applying pass marks each step, the reading pass marks
// the whole pass with one.
struct RowReadMarkers {
    const char* csvLine[3];  // read, parse, check the line
    const char* csvFields;
    const char* csvCounted;
    const char* csvInvalid;
    const char* csvDays;
    const char* workbookCell;
    const char* workbookDays;
};

// The row being read, which the trap's error block shows while it is in progress.
struct RowState {
    UserRow row;
    bool inProgress = false;
};

// The user rows of the Set run's sheet, in either form, read with the same rules in every pass.
class SheetRows {
public:
    // Called for each user row, and for each comma-delimited line without ten fields (an invalid
    // line, whose days are empty). The row stands in the state.
    using RowVisitor = std::function<void(bool invalidLine)>;

    SheetRows(CsvScan* csv, WorkbookSource* workbook, ErrorTrap& trap, RowState& state)
        : csv_(csv), workbook_(workbook), trap_(trap), state_(state) {}

    void forEach(const RowReadMarkers& markers, const RowVisitor& visit);
    // The rows met so far by the current pass, the row being handled included.
    Int32 count() const { return count_; }

private:
    void forEachLine(const RowReadMarkers& markers, const RowVisitor& visit);
    void forEachBlock(const RowReadMarkers& markers, const RowVisitor& visit);

    CsvScan* csv_;
    WorkbookSource* workbook_;
    ErrorTrap& trap_;
    RowState& state_;
    Int32 count_ = 0;
};

}  // namespace qm

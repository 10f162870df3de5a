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
#include "platform/textfile/file_snapshot.h"
#include "platform/textfile/text_file.h"

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

// The lines of a comma-delimited sheet, read from the private copy taken when it was opened: the
// lines the counting pass counts are the lines the applying pass reads, whatever happens to the
// file meanwhile. Each pass reads them from the start.
class CsvScan {
public:
    using Fields = std::vector<std::string>;
    // Called for each line of three fields or more.
    using LineVisitor = std::function<void(const Fields& fields)>;

    // A file that cannot be opened or copied is the file's RunTimeError.
    CsvScan(const std::string& fileName, ErrorTrap& trap, TrapServices& parserTrap);

    // Counting pass: the lines of three fields or more, the first one not if it is the header.
    Int32 countRows();
    // Applying pass, under the markers of reading, parsing and checking a line.
    void forEachLine(const char* const (&markers)[3], const LineVisitor& visit);

private:
    std::string fileName_;
    ErrorTrap& trap_;
    TrapServices& parserTrap_;
    FileSnapshot snapshot_;
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

}  // namespace qm

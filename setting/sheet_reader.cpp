#include "setting/sheet_reader.h"

#include <algorithm>

#include "logonhours/sheet_layout.h"
#include "setting/csv_line.h"
#include "setting/name_escape.h"

namespace qm {

CsvScan::CsvScan(std::unique_ptr<CsvSource> source, ErrorTrap& trap, TrapServices& parserTrap)
    : source_(std::move(source)), trap_(trap), parserTrap_(parserTrap) {}

bool isHeaderName(const std::string& field) {
    return lowerAscii(field) == "name";
}

Int32 CsvScan::countRows() {
    Int32 rows = 0;
    forEachLine({"10", "11", "12"}, [&](const Fields& fields) {
        rows += 1;
        if (rows == 1 && isHeaderName(fields[0])) {
            rows = 0;
        }
    });
    return rows;
}

void CsvScan::forEachLine(const char* const (&markers)[3], const LineVisitor& visit) {
    source_->rewind();
    std::string line;
    while (true) {
        trap_.step(markers[0]);
        if (!source_->readLine(line)) {
            break;
        }
        trap_.step(markers[1]);
        const Fields fields = ParseCsvLine(line, parserTrap_);
        trap_.step(markers[2]);
        if (fields.size() >= 3) {
            visit(fields);
        }
    }
}

std::string WorkbookScan::cellText(Int32 row, int column) {
    return trimSpaces(sheet_.cellText(row.value(), column));
}

namespace {

bool isBlockLabel(const std::string& text) {
    return lowerAscii(text) == lowerAscii(sheet::kCommonNameLabel);
}

}  // namespace

Int32 WorkbookScan::countBlocks() {
    Int32 blocks = 0;
    trap_.step("5");
    forEachBlock("6", [&](Int32) {
        trap_.step("7");
        blocks += 1;
    });
    return blocks;
}

void WorkbookScan::forEachBlock(const char* cellMarker, const BlockVisitor& visit) {
    Int32 row = 1;
    Int16 blankRun = 0;
    while (true) {
        trap_.step(cellMarker);
        const std::string label = cellText(row, sheet::kColumnLabel);
        blankRun = label.empty() ? blankRun + 1 : Int16(0);
        if (blankRun > sheet::kMaxBlankRunBetweenBlocks) {
            return;
        }
        if (isBlockLabel(label)) {
            visit(row);
            row += sheet::kBlockRows - 1;
        }
        row += 1;
    }
}

void SheetRows::forEach(const RowReadMarkers& markers, const RowVisitor& visit) {
    count_ = 0;
    if (csv_ != nullptr) {
        forEachLine(markers, visit);
    } else {
        forEachBlock(markers, visit);
    }
}

void SheetRows::forEachLine(const RowReadMarkers& markers, const RowVisitor& visit) {
    csv_->forEachLine(markers.csvLine, [&](const CsvScan::Fields& fields) {
        trap_.step(markers.csvFields);
        UserRow& row = state_.row = UserRow{};
        row.name = fields[0];
        row.container = fields[1];
        row.domain = fields[2];
        count_ += 1;
        trap_.step(markers.csvCounted);
        if (fields.size() != sheet::kUserLineFields) {
            trap_.step(markers.csvInvalid);
            visit(true);
            return;
        }
        std::copy(fields.begin() + 3, fields.end(), row.days.begin());
        trap_.step(markers.csvDays);
        if (count_ == 1 && isHeaderName(row.name)) {
            count_ = 0;
            return;
        }
        row.rawCommonName = row.name;
        visit(false);
    });
}

void SheetRows::forEachBlock(const RowReadMarkers& markers, const RowVisitor& visit) {
    WorkbookScan scan(*workbook_, trap_);
    scan.forEachBlock(markers.workbookCell, [&](Int32 r) {
        UserRow& row = state_.row = UserRow{};
        row.rawCommonName = scan.cellText(r, sheet::kColumnValue);
        row.commonName = EscapeName(row.rawCommonName);
        row.name = scan.cellText(r + 1, sheet::kColumnValue);
        row.container = scan.cellText(r + 2, sheet::kColumnValue);
        row.domain = scan.cellText(r + 3, sheet::kColumnValue);
        trap_.step(markers.workbookDays);
        state_.inProgress = true;
        for (int day = 0; day < 7; ++day) {
            row.days[day] = scan.cellText(r + 1 + day, sheet::kColumnDay);
        }
        count_ += 1;
        visit(false);
    });
}

}  // namespace qm

#include "setting/sheet_reader.h"

#include <algorithm>

#include "logonhours/sheet_layout.h"

namespace qm {

std::string WorkbookScan::cellText(Int32 row, int column) {
    return trimSpaces(sheet_.cellValue(row.value(), column).toText());
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

}  // namespace qm

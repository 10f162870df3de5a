#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/variant.h"

namespace qm {

// The first worksheet of a workbook file, read cell by cell. Only the first worksheet is read.
class CellReader {
public:
    virtual ~CellReader() = default;
    virtual std::string sheetName() const = 0;
    // The text a person sees in the cell, Empty for a blank one. A cell holding an error value
    // (#N/A and its kin) has no text: reading it is run-time error 13.
    virtual Variant cellValue(std::int32_t row, std::int32_t column) = 0;
};

// How much of a file the readers accept before they call it damaged.
struct ReaderLimits {
    std::uint64_t sheetBytes = 256ull << 20;         // the worksheet part, decompressed
    std::uint64_t sharedStringsBytes = 64ull << 20;  // the shared strings part, decompressed
    std::uint64_t otherPartBytes = 4ull << 20;       // workbook and relationship parts
    std::uint64_t totalBytes = 330ull << 20;         // all of them together
    std::uint32_t sharedStrings = 4u << 20;          // entries in the shared strings table
    // freexl holds every cell of every sheet (16 bytes each) and every text of a .xls at once.
    std::uint64_t legacyFileBytes = 64ull << 20;  // a whole .xls file
    std::uint64_t legacyCells = 4u << 20;         // rows times columns of all its sheets
};

// Opens a workbook file as its content says, whatever its name: an OOXML workbook (a zip file,
// "PK") or a legacy Excel 97-2003 workbook (an OLE compound file, D0 CF 11 E0). Anything else,
// and an encrypted or damaged workbook, is a RunTimeError of the spreadsheet component.
std::unique_ptr<CellReader> openWorkbookFile(const std::string& path,
                                             const ReaderLimits& limits = {});

}  // namespace qm

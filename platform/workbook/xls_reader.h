#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/workbook/cell_reader.h"

namespace qm {

// The first worksheet of a legacy Excel 97-2003 workbook (BIFF in an OLE compound file), read
// with freexl in a child process that hands its cells over a pipe. freexl takes some string
// lengths from the file unchecked and reads past its buffers on a damaged file (found by
// fuzzing): such a fault ends the child and makes the file damaged, never ends the program.
class XlsCellReader : public CellReader {
public:
    XlsCellReader(const std::string& path, const ReaderLimits& limits);

    std::string sheetName() const override { return sheetName_; }
    Variant cellValue(std::int32_t row, std::int32_t column) override;

    // The most text the first worksheet may hand over, so a short text named by a million
    // cells cannot cost gigabytes.
    static constexpr std::uint64_t kMaxSheetTextBytes = 64 << 20;

private:
    void receive(int fd);

    std::string path_;
    std::string sheetName_;
    std::unordered_map<std::uint64_t, std::string> cells_;
};

// True when the OLE compound file holds an "EncryptionInfo" stream: an OOXML workbook saved with
// a password, which Excel wraps in an OLE file.
bool isEncryptedOoxml(const std::string& path);

}  // namespace qm

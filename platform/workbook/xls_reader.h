#pragma once

#include <cstdint>
#include <string>

#include "platform/workbook/cell_reader.h"

namespace qm {

// The first worksheet of a legacy Excel 97-2003 workbook (BIFF in an OLE compound file), read
// with freexl, which holds the sheet's cells in memory; a .xls has at most 65,536 rows.
class XlsCellReader : public CellReader {
public:
    XlsCellReader(const std::string& path, const ReaderLimits& limits);
    ~XlsCellReader() override;
    XlsCellReader(const XlsCellReader&) = delete;
    XlsCellReader& operator=(const XlsCellReader&) = delete;

    std::string sheetName() const override { return sheetName_; }
    Variant cellValue(std::int32_t row, std::int32_t column) override;

private:
    void checkSize(const ReaderLimits& limits);
    Variant textValue(const char* text, std::int32_t row, std::int32_t column) const;

    std::string path_;
    const void* handle_ = nullptr;
    std::string sheetName_;
    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 0;
};

// True when the OLE compound file holds an "EncryptionInfo" stream: an OOXML workbook saved with
// a password, which Excel wraps in an OLE file.
bool isEncryptedOoxml(const std::string& path);

}  // namespace qm

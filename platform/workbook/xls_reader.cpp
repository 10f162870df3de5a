#include "platform/workbook/xls_reader.h"

#include <freexl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/workbook/cell_reference.h"
#include "platform/workbook/cell_text.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

std::string describe(int code) {
    switch (code) {
        case FREEXL_FILE_NOT_FOUND:
            return "the file cannot be found or read";
        case FREEXL_INSUFFICIENT_MEMORY:
            return "there is not enough memory";
        case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
            return "it holds no workbook";
        case FREEXL_BIFF_ILLEGAL_SHEET_INDEX:
            return "it holds no worksheet";
        case FREEXL_CRAFTED_FILE:
            return "its structure is corrupt";
        default:
            return "it is no readable Excel 97-2003 workbook, freexl error " + std::to_string(code);
    }
}

// freexl wants a close even after a failed open.
class FreexlHandle {
public:
    FreexlHandle() = default;
    ~FreexlHandle() {
        if (handle_) {
            freexl_close(handle_);
        }
    }
    FreexlHandle(const FreexlHandle&) = delete;
    FreexlHandle& operator=(const FreexlHandle&) = delete;
    const void** out() { return &handle_; }
    const void* get() const { return handle_; }
    const void* release() { return std::exchange(handle_, nullptr); }

private:
    const void* handle_ = nullptr;
};

void check(int code, const std::string& path) {
    if (code != FREEXL_OK) {
        throwDamaged(path, describe(code));
    }
}

}  // namespace

bool isEncryptedOoxml(const std::string& path) {
    // The stream name as the compound file's directory stores it, in UTF-16LE.
    static const std::string kName = [] {
        std::string name;
        for (char ch : std::string("EncryptionInfo")) {
            name += ch;
            name += '\0';
        }
        return name;
    }();
    std::ifstream file(path, std::ios::binary);
    std::string window;
    std::string chunk(1 << 16, '\0');
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           file.gcount() > 0) {
        window.erase(0, window.size() > kName.size() ? window.size() - kName.size() : 0);
        window.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (window.find(kName) != std::string::npos) {
            return true;
        }
    }
    return false;
}

XlsCellReader::XlsCellReader(const std::string& path, const ReaderLimits& limits) : path_(path) {
    checkSize(limits);
    FreexlHandle handle;
    check(freexl_open(path.c_str(), handle.out()), path);
    check(freexl_select_active_worksheet(handle.get(), 0), path);
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle.get(), 0, &name) == FREEXL_OK && name) {
        sheetName_ = name;
    }
    unsigned short columns = 0;
    check(freexl_worksheet_dimensions(handle.get(), &rows_, &columns), path);
    columns_ = columns;
    handle_ = handle.release();
}

// freexl keeps a cell for every row and column of every sheet's dimensions: look at them (and at
// a password) before letting it allocate, so a crafted file cannot ask for gigabytes.
void XlsCellReader::checkSize(const ReaderLimits& limits) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path_, error);
    if (!error && bytes > limits.legacyFileBytes) {
        throwDamaged(path_, "it is larger than an Excel 97-2003 workbook can be");
    }
    FreexlHandle info;
    check(freexl_open_info(path_.c_str(), info.out()), path_);
    unsigned int obfuscation = 0;
    if (freexl_get_info(info.get(), FREEXL_BIFF_PASSWORD, &obfuscation) == FREEXL_OK &&
        obfuscation == FREEXL_BIFF_OBFUSCATED) {
        throw spreadsheetError("The workbook " + path_ +
                               " is protected by a password; save it without one and try again");
    }
    unsigned int sheets = 0;
    check(freexl_get_info(info.get(), FREEXL_BIFF_SHEET_COUNT, &sheets), path_);
    std::uint64_t cells = 0;
    for (unsigned int sheet = 0; sheet < sheets; ++sheet) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(info.get(), static_cast<unsigned short>(sheet)) ==
                FREEXL_OK &&
            freexl_worksheet_dimensions(info.get(), &rows, &columns) == FREEXL_OK) {
            cells += std::uint64_t{rows} * columns;
        }
    }
    if (cells > limits.legacyCells) {
        throwDamaged(path_,
                     "its sheets claim more than " + std::to_string(limits.legacyCells) + " cells");
    }
}

Variant XlsCellReader::textValue(const char* text, std::int32_t row, std::int32_t column) const {
    const std::string value = text ? text : "";
    if (cell_text::utf16Length(value) > cell_text::kMaxCharacters) {
        throwDamaged(path_, "cell " + cellName(row, column) + " is longer than a cell can hold (" +
                                cell_text::kMaxCharactersText + " characters)");
    }
    return Variant(value);
}

XlsCellReader::~XlsCellReader() {
    freexl_close(handle_);
}

Variant XlsCellReader::cellValue(std::int32_t row, std::int32_t column) {
    if (!isInsideWorksheet(row, column)) {
        throw spreadsheetError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                               ") is outside the worksheet");
    }
    if (static_cast<std::uint32_t>(row) > rows_ || static_cast<std::uint32_t>(column) > columns_) {
        return Variant();
    }
    FreeXL_CellValue cell{};
    check(freexl_get_cell_value(handle_, static_cast<unsigned>(row - 1),
                                static_cast<unsigned short>(column - 1), &cell),
          path_);
    switch (cell.type) {
        case FREEXL_CELL_INT:
            return Variant(std::to_string(cell.value.int_value));
        case FREEXL_CELL_DOUBLE:
            return Variant(cell_text::formatNumber(cell.value.double_value));
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return textValue(cell.value.text_value, row, column);
        default:
            return Variant();
    }
}

}  // namespace qm

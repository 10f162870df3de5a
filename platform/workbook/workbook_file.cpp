#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/xls_reader.h"
#include "platform/workbook/xlsx_reader.h"

namespace qm {

namespace {

constexpr std::string_view kZipSignature = "PK";
constexpr std::string_view kOleSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

std::string firstBytes(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw spreadsheetError("The workbook " + path + " cannot be opened (it is a folder)");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw spreadsheetError("The workbook " + path + " cannot be opened (" +
                               std::strerror(errno) + ")");
    }
    std::string bytes(kOleSignature.size(), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

std::unique_ptr<CellReader> openOleFile(const std::string& path, const ReaderLimits& limits) {
    try {
        return std::make_unique<XlsCellReader>(path, limits);
    } catch (const RunTimeError&) {
        if (isEncryptedOoxml(path)) {
            throw spreadsheetError("The workbook " + path +
                                   " is encrypted; save it without a password and try again");
        }
        throw;
    }
}

}  // namespace

std::unique_ptr<CellReader> openWorkbookFile(const std::string& path, const ReaderLimits& limits) {
    const std::string head = firstBytes(path);
    if (head.starts_with(kZipSignature)) {
        return std::make_unique<XlsxCellReader>(ZipArchive::openFile(path), limits);
    }
    if (head == kOleSignature) {
        return openOleFile(path, limits);
    }
    throw spreadsheetError("The file " + path +
                           " is not a workbook (neither an Excel workbook nor an Excel 97-2003 "
                           "workbook)");
}

}  // namespace qm

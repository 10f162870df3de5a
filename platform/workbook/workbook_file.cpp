#include <unistd.h>

#include <optional>

#include "platform/textfile/file_calls.h"
#include "platform/textfile/file_snapshot.h"
#include "platform/workbook/cell_reader.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/xls_reader.h"
#include "platform/workbook/xlsx_reader.h"

namespace qm {

namespace {

constexpr std::string_view kZipSignature = "PK";
constexpr std::string_view kOleSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

std::string firstBytes(const std::string& path) {
    const int fd = openRegularFile(path);
    std::string bytes(kOleSignature.size(), '\0');
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    bytes.resize(got < 0 ? 0 : std::size_t(got));
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
    // The sheet is read from a private copy: both passes of a Set run see the rows confirmed.
    // A legacy workbook needs none, as it is read whole when opened.
    std::optional<FileSnapshot> snapshot;
    try {
        snapshot.emplace(path);
    } catch (const RunTimeError& error) {
        throw spreadsheetError("The workbook " + path + " cannot be opened (" +
                               error.description() + ")");
    }
    const std::string head = firstBytes(snapshot->path());
    if (head.starts_with(kZipSignature)) {
        return std::make_unique<XlsxCellReader>(ZipArchive::openFile(snapshot->path(), path),
                                                limits);
    }
    if (head == kOleSignature) {
        return openOleFile(path, limits);
    }
    throw spreadsheetError("The file " + path +
                           " is not a workbook (neither an Excel workbook nor an Excel 97-2003 "
                           "workbook)");
}

}  // namespace qm

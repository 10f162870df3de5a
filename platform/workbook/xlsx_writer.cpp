#include "platform/workbook/xlsx_writer.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <filesystem>
#include <utility>

#include "platform/textfile/file_calls.h"
#include "platform/workbook/cell_text.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

namespace fs = std::filesystem;

RunTimeError saveError(const std::string& path, const std::string& reason) {
    return spreadsheetError("The workbook cannot be saved as " + path + ": " + reason);
}

void check(lxw_error result, const std::string& path, const std::string& step) {
    if (result != LXW_NO_ERROR) {
        throw saveError(path, step + " failed (" + lxw_strerror(result) + ")");
    }
}

SiblingFile createTemporaryFor(const std::string& path) {
    std::error_code error;
    if (path.empty()) {
        throw saveError("\"\"", "the name is empty");
    }
    if (fs::is_directory(path, error)) {
        throw saveError(path, "that is a folder");
    }
    try {
        return createTemporarySibling(path);
    } catch (const RunTimeError& error) {
        throw saveError(path, error.description());
    }
}

}  // namespace

XlsxFile::XlsxFile(const std::string& path, const std::string& sheetName) : target_(path) {
    SiblingFile temporary = createTemporaryFor(path);
    fd_ = temporary.fd;
    temporary_ = std::move(temporary.path);
    try {
        std::error_code error;
        tmpdir_ = fs::temp_directory_path(error).string();
        if (error) {
            throw saveError(target_,
                            "there is no folder for temporary files (" + error.message() + ")");
        }
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.data();
        workbook_ = workbook_new_opt(temporary_.c_str(), &options);
        if (!workbook_) {
            throw saveError(target_, "the workbook could not be created");
        }
        worksheet_ = workbook_add_worksheet(workbook_, sheetName.c_str());
        if (!worksheet_) {
            throw saveError(target_, "the worksheet name \"" + sheetName + "\" was refused");
        }
    } catch (...) {
        discard();
        throw;
    }
}

XlsxFile::~XlsxFile() {
    discard();
}

void XlsxFile::discard() noexcept {
    if (workbook_) {
        lxw_workbook_free(std::exchange(workbook_, nullptr));
    }
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
        ::unlink(temporary_.c_str());
    }
}

void XlsxFile::setFont(const std::string& name, double size) {
    font_ = workbook_add_format(workbook_);
    if (!font_) {
        throw saveError(target_, "a cell format could not be created");
    }
    format_set_font_name(font_, name.c_str());
    format_set_font_size(font_, size);
}

void XlsxFile::formatColumn(std::int32_t column, double width) {
    const auto index = static_cast<lxw_col_t>(column - 1);
    check(worksheet_set_column(worksheet_, index, index, width, font_), target_,
          "Formatting a column");
    formattedColumns_.insert(column);
}

void XlsxFile::write(std::int32_t row, std::int32_t column, const std::string& text) {
    const std::string escaped = cell_text::escapeForOoxml(text);
    lxw_format* format = formattedColumns_.count(column) != 0 ? font_ : nullptr;
    check(worksheet_write_string(worksheet_, static_cast<lxw_row_t>(row - 1),
                                 static_cast<lxw_col_t>(column - 1), escaped.c_str(), format),
          target_, "Writing a cell");
}

void XlsxFile::close() {
    check(workbook_close(std::exchange(workbook_, nullptr)), target_, "Writing the file");
    try {
        replaceWith(fd_, temporary_, target_);
    } catch (const RunTimeError& error) {
        throw error.source() == kSpreadsheetSource ? error
                                                   : saveError(target_, error.description());
    }
    ::close(std::exchange(fd_, -1));
}

}  // namespace qm

#include "platform/workbook/xlsx_writer.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <filesystem>
#include <tuple>
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

// Builds the workbook file at path; the libxlsxwriter workbook lives only inside this class.
class XlsxBuild {
public:
    XlsxBuild(const std::string& path, const std::string& target) : target_(target) {
        std::error_code error;
        tmpdir_ = fs::temp_directory_path(error).string();
        if (error) {
            throw saveError(target_,
                            "there is no folder for temporary files (" + error.message() + ")");
        }
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.data();
        workbook_ = workbook_new_opt(path.c_str(), &options);
        if (!workbook_) {
            throw saveError(target_, "the workbook could not be created");
        }
    }
    ~XlsxBuild() {
        if (workbook_) {
            lxw_workbook_free(workbook_);
        }
    }
    XlsxBuild(const XlsxBuild&) = delete;
    XlsxBuild& operator=(const XlsxBuild&) = delete;

    void write(const SheetContent& sheet) {
        worksheet_ = workbook_add_worksheet(workbook_, sheet.name.c_str());
        if (!worksheet_) {
            throw saveError(target_, "the worksheet name \"" + sheet.name + "\" was refused");
        }
        for (const auto& [column, style] : sheet.columns) {
            setColumn(column, style);
        }
        sheet.cells.forEach([&](std::int32_t row, std::int32_t column, const std::string& text) {
            const std::string escaped = cell_text::escapeForOoxml(text);
            check(worksheet_write_string(worksheet_, static_cast<lxw_row_t>(row - 1),
                                         static_cast<lxw_col_t>(column - 1), escaped.c_str(),
                                         formatOfColumn(column)),
                  target_, "Writing a cell");
        });
    }

    void close() {
        lxw_workbook* workbook = std::exchange(workbook_, nullptr);
        check(workbook_close(workbook), target_, "Writing the file");
    }

private:
    void setColumn(std::int32_t column, const ColumnStyle& style) {
        lxw_format* format = nullptr;
        if (style.fontName || style.fontSize) {
            format = formatFor(style);
            columnFormats_[column] = format;
        }
        const auto index = static_cast<lxw_col_t>(column - 1);
        check(worksheet_set_column(worksheet_, index, index,
                                   style.width.value_or(LXW_DEF_COL_WIDTH), format),
              target_, "Formatting a column");
    }

    // One format per font, shared by every column that has it.
    lxw_format* formatFor(const ColumnStyle& style) {
        const auto key = std::tuple(style.fontName.value_or(""), style.fontSize.value_or(0));
        if (auto found = fontFormats_.find(key); found != fontFormats_.end()) {
            return found->second;
        }
        lxw_format* format = workbook_add_format(workbook_);
        if (!format) {
            throw saveError(target_, "a cell format could not be created");
        }
        if (style.fontName) {
            format_set_font_name(format, style.fontName->c_str());
        }
        if (style.fontSize) {
            format_set_font_size(format, *style.fontSize);
        }
        fontFormats_[key] = format;
        return format;
    }

    lxw_format* formatOfColumn(std::int32_t column) const {
        const auto found = columnFormats_.find(column);
        return found == columnFormats_.end() ? nullptr : found->second;
    }

    std::string target_;
    std::string tmpdir_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* worksheet_ = nullptr;
    std::map<std::tuple<std::string, double>, lxw_format*> fontFormats_;
    std::map<std::int32_t, lxw_format*> columnFormats_;
};

}  // namespace

void writeXlsxWorkbook(const std::string& path, const SheetContent& sheet) {
    std::error_code error;
    if (path.empty()) {
        throw saveError("\"\"", "the name is empty");
    }
    if (fs::is_directory(path, error)) {
        throw saveError(path, "that is a folder");
    }
    SiblingFile temporary{-1, {}};
    try {
        temporary = createTemporarySibling(path);
    } catch (const RunTimeError& error) {
        throw saveError(path, error.description());
    }
    try {
        XlsxBuild build(temporary.path, path);
        build.write(sheet);
        build.close();
        replaceWith(temporary.fd, temporary.path, path);
    } catch (const RunTimeError& error) {
        ::close(temporary.fd);
        ::unlink(temporary.path.c_str());
        throw error.source() == kSpreadsheetSource ? error : saveError(path, error.description());
    } catch (...) {
        ::close(temporary.fd);
        ::unlink(temporary.path.c_str());
        throw;
    }
    ::close(temporary.fd);
}

}  // namespace qm

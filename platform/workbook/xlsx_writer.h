#pragma once

#include <cstdint>
#include <set>
#include <string>

// libxlsxwriter's own types, known here only by name.
struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace qm {

// A one-sheet OOXML workbook written with libxlsxwriter as its cells come, row after row, so a
// sheet of any length takes the memory of one row. The file is built under a temporary name in
// the target's folder and renamed over the target only when complete, so no half-written workbook
// ever carries the name; a file never closed is removed. Every failure is a RunTimeError of the
// spreadsheet component.
class XlsxFile {
public:
    XlsxFile(const std::string& path, const std::string& sheetName);
    ~XlsxFile();
    XlsxFile(const XlsxFile&) = delete;
    XlsxFile& operator=(const XlsxFile&) = delete;

    // The one font every formatted column shows its cells in.
    void setFont(const std::string& name, double size);
    // Gives a column (1-based) its width in character widths and the font.
    void formatColumn(std::int32_t column, double width);
    // Rows must come in ascending order; the cells of one row in any order.
    void write(std::int32_t row, std::int32_t column, const std::string& text);
    // Completes the file and renames it over the target.
    void close();

private:
    void discard() noexcept;

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::string tmpdir_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* worksheet_ = nullptr;
    lxw_format* font_ = nullptr;
    std::set<std::int32_t> formattedColumns_;
};

}  // namespace qm

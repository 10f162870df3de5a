#pragma once

#include <memory>
#include <string>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/new_workbook.h"

namespace qm {

class OpenedWorkbook;

// The first worksheet of an opened workbook, for reading.
class OpenedWorksheet : public Worksheet {
public:
    OpenedWorksheet(const OpenedWorkbook& workbook, std::unique_ptr<CellReader> reader)
        : workbook_(workbook), reader_(std::move(reader)) {}

    std::string Name() const override;
    Variant cellValue(std::int32_t row, std::int32_t column) override;
    void setName(const std::string&) override { refuseChange(); }
    void setCellValue(std::int32_t, std::int32_t, const std::string&) override { refuseChange(); }
    void setColumnsFontName(const std::string&, const std::string&) override { refuseChange(); }
    void setColumnsFontSize(const std::string&, double) override { refuseChange(); }

private:
    [[noreturn]] void refuseChange() const;
    void checkOpen() const;

    const OpenedWorkbook& workbook_;
    std::unique_ptr<CellReader> reader_;
};

// A workbook made by Workbooks.Open. This application opens workbooks only to read them: every
// change, and SaveAs, is refused with a run-time error.
class OpenedWorkbook : public ApplicationWorkbook {
public:
    OpenedWorkbook(std::string fileName, std::unique_ptr<CellReader> reader)
        : fileName_(std::move(fileName)), sheet_(*this, std::move(reader)) {}

    Worksheet& Worksheets(int index) override;
    void SaveAs(const std::string&) override;
    void Close() override { closed_ = true; }
    void setActiveSheetColumnWidth(int, double) override;
    bool isClosed() const override { return closed_; }
    const std::string& fileName() const { return fileName_; }

private:
    std::string fileName_;
    OpenedWorksheet sheet_;
    bool closed_ = false;
};

}  // namespace qm

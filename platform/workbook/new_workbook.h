#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/workbook/cell_store.h"
#include "platform/spreadsheet.h"
#include "platform/workbook/xlsx_writer.h"

namespace qm {

// What the application needs of each of its workbooks beyond the automation interface.
class ApplicationWorkbook : public Workbook {
public:
    virtual void setActiveSheetColumnWidth(int column, double width) = 0;
    virtual bool isClosed() const = 0;
};

class NewWorkbook;

// The one worksheet of a new workbook. Cells are kept by a CellStore until the workbook is saved.
class NewWorksheet : public Worksheet {
public:
    explicit NewWorksheet(const NewWorkbook& workbook) : workbook_(workbook) {}

    std::string Name() const override;
    void setName(const std::string& name) override;
    void setCellValue(std::int32_t row, std::int32_t column, const std::string& text) override;
    Variant cellValue(std::int32_t row, std::int32_t column) override;
    void setColumnsFontName(const std::string& columns, const std::string& fontName) override;
    void setColumnsFontSize(const std::string& columns, double size) override;
    void setColumnWidth(int column, double width);

    SheetContent content() { return {name_, columns_, cells_}; }

private:
    template <typename Change>
    void changeColumns(const std::string& columns, Change change);
    void checkOpen() const;

    const NewWorkbook& workbook_;
    std::string name_ = "Sheet1";
    std::map<std::int32_t, ColumnStyle> columns_;
    CellStore cells_;
};

// A workbook made by Workbooks.Add. It exists only in the program until SaveAs writes it.
class NewWorkbook : public ApplicationWorkbook {
public:
    NewWorkbook() : sheet_(*this) {}

    Worksheet& Worksheets(int index) override;
    void SaveAs(const std::string& fileName) override;
    void Close() override { closed_ = true; }
    void setActiveSheetColumnWidth(int column, double width) override;
    bool isClosed() const override { return closed_; }

private:
    NewWorksheet sheet_;
    bool closed_ = false;
};

// The file a workbook is saved as, as the spreadsheet application names it.
std::string saveFileName(const std::string& fileName);

}  // namespace qm

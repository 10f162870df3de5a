#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/spreadsheet.h"

namespace qm::testing {

// An in-memory spreadsheet application: workbooks are maps of cells, "files" live in a map shared
// with the test, and every call is recorded in order.
struct FakeWorkbookFiles {
    std::map<std::string, std::map<std::pair<int, int>, std::string>> saved;
    std::vector<std::string> calls;
    bool failCreate = false;
    bool failSave = false;
    // A cell set at this many calls raises a run-time error (0: never).
    int failAtCellSet = 0;
};

class FakeWorksheet : public Worksheet {
public:
    explicit FakeWorksheet(FakeWorkbookFiles& files) : files_(files) {}
    std::string Name() const override { return name; }
    void setName(const std::string& text) override {
        files_.calls.push_back("Name=" + text);
        name = text;
    }
    void setCellValue(std::int32_t row, std::int32_t column, const std::string& text) override {
        if (files_.failAtCellSet > 0 && ++cellSets_ == files_.failAtCellSet) {
            throw RunTimeError(1004, "Application-defined or object-defined error", "Spreadsheet");
        }
        cells[{row, column}] = text;
    }
    Variant cellValue(std::int32_t row, std::int32_t column) override {
        auto it = cells.find({row, column});
        return it == cells.end() ? Variant() : Variant(it->second);
    }
    void setColumnsFontName(const std::string& columns, const std::string& font) override {
        files_.calls.push_back("Font " + columns + "=" + font);
    }
    void setColumnsFontSize(const std::string& columns, double size) override {
        files_.calls.push_back("Size " + columns + "=" + std::to_string(static_cast<int>(size)));
    }

    std::string name = "Sheet1";
    std::map<std::pair<int, int>, std::string> cells;

private:
    FakeWorkbookFiles& files_;
    int cellSets_ = 0;
};

class FakeWorkbook : public Workbook {
public:
    explicit FakeWorkbook(FakeWorkbookFiles& files) : files_(files), sheet_(files) {}
    Worksheet& Worksheets(int index) override {
        if (index != 1) {
            throw RunTimeError(9, "Subscript out of range", "Spreadsheet");
        }
        return sheet_;
    }
    void SaveAs(const std::string& fileName) override {
        files_.calls.push_back("SaveAs " + fileName);
        if (files_.failSave) {
            throw RunTimeError(1004, "Cannot access " + fileName, "Spreadsheet");
        }
        files_.saved[fileName] = sheet_.cells;
    }
    void Close() override { files_.calls.push_back("Close"); }
    FakeWorksheet& sheet() { return sheet_; }

private:
    FakeWorkbookFiles& files_;
    FakeWorksheet sheet_;
};

class FakeSpreadsheetApplication : public SpreadsheetApplication {
public:
    explicit FakeSpreadsheetApplication(FakeWorkbookFiles& files) : files_(files) {}
    Workbook& WorkbooksAdd() override {
        files_.calls.push_back("Add");
        workbook_ = std::make_unique<FakeWorkbook>(files_);
        return *workbook_;
    }
    Workbook& WorkbooksOpen(const std::string& fileName) override {
        files_.calls.push_back("Open " + fileName);
        auto it = files_.saved.find(fileName);
        if (it == files_.saved.end()) {
            throw RunTimeError(1004, "Cannot find " + fileName, "Spreadsheet");
        }
        workbook_ = std::make_unique<FakeWorkbook>(files_);
        workbook_->sheet().cells = it->second;
        return *workbook_;
    }
    Workbook& ActiveWorkbook() override { return *workbook_; }
    void setColumnWidth(int column, double width) override {
        files_.calls.push_back("Width " + std::to_string(column) + "=" +
                               std::to_string(static_cast<int>(width)));
    }
    void Quit() override { files_.calls.push_back("Quit"); }

private:
    FakeWorkbookFiles& files_;
    std::unique_ptr<FakeWorkbook> workbook_;
};

class FakeSpreadsheetFactory : public SpreadsheetFactory {
public:
    explicit FakeSpreadsheetFactory(FakeWorkbookFiles& files) : files_(files) {}
    std::unique_ptr<SpreadsheetApplication> createApplication() override {
        if (files_.failCreate) {
            throw RunTimeError(429, "ActiveX component can't create object", "Spreadsheet");
        }
        return std::make_unique<FakeSpreadsheetApplication>(files_);
    }

private:
    FakeWorkbookFiles& files_;
};

}  // namespace qm::testing

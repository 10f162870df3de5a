#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/spreadsheet.h"

namespace qm::testing {

using Cells = std::map<std::pair<int, int>, std::string>;

// An in-memory spreadsheet application: "files" are maps of cells shared with the test, and the
// opening, saving and closing calls are recorded in order.
struct FakeSpreadsheets : SpreadsheetFactory {
    std::map<std::string, Cells> saved;
    std::vector<std::string> calls;
    bool failCreate = false;
    bool failSave = false;

    std::unique_ptr<SpreadsheetApplication> createApplication() override;
};

class FakeWorkbook : public Workbook, public Worksheet {
public:
    FakeWorkbook(FakeSpreadsheets& files, Cells cells) : files_(files), cells_(std::move(cells)) {}

    Worksheet& Worksheets(int) override { return *this; }
    void SaveAs(const std::string& fileName) override {
        files_.calls.push_back("SaveAs " + fileName);
        if (files_.failSave) {
            throw RunTimeError(1004, "Cannot access " + fileName, "Spreadsheet");
        }
        files_.saved[fileName] = cells_;
    }
    void Close() override { files_.calls.push_back("Close"); }

    std::string Name() const override { return "Sheet1"; }
    void setName(const std::string&) override {}
    void setCellValue(std::int32_t row, std::int32_t column, const std::string& text) override {
        cells_[{row, column}] = text;
    }
    Variant cellValue(std::int32_t row, std::int32_t column) override {
        auto it = cells_.find({row, column});
        return it == cells_.end() ? Variant() : Variant(it->second);
    }
    void setColumnsFontName(const std::string&, const std::string&) override {}
    void setColumnsFontSize(const std::string&, double) override {}

private:
    FakeSpreadsheets& files_;
    Cells cells_;
};

class FakeSpreadsheetApplication : public SpreadsheetApplication {
public:
    explicit FakeSpreadsheetApplication(FakeSpreadsheets& files) : files_(files) {}
    Workbook& WorkbooksAdd() override {
        files_.calls.push_back("Add");
        workbook_ = std::make_unique<FakeWorkbook>(files_, Cells());
        return *workbook_;
    }
    Workbook& WorkbooksOpen(const std::string& fileName) override {
        files_.calls.push_back("Open " + fileName);
        if (!files_.saved.contains(fileName)) {
            throw RunTimeError(1004, "Cannot find " + fileName, "Spreadsheet");
        }
        workbook_ = std::make_unique<FakeWorkbook>(files_, files_.saved[fileName]);
        return *workbook_;
    }
    Workbook& ActiveWorkbook() override { return *workbook_; }
    void setColumnWidth(int, double) override {}
    void Quit() override { files_.calls.push_back("Quit"); }

private:
    FakeSpreadsheets& files_;
    std::unique_ptr<FakeWorkbook> workbook_;
};

inline std::unique_ptr<SpreadsheetApplication> FakeSpreadsheets::createApplication() {
    if (failCreate) {
        throw RunTimeError(429, "ActiveX component can't create object", "Spreadsheet");
    }
    return std::make_unique<FakeSpreadsheetApplication>(*this);
}

}  // namespace qm::testing

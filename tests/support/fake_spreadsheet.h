#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sheet.h"

namespace qm::testing {

using Cells = std::map<std::pair<int, int>, std::string>;

// The spreadsheet component in memory. A workbook to open is cells the test sets; a new workbook
// keeps the common names of its user entries, filed under its name when saved or abandoned.
// Opening, closing and quitting are recorded.
struct FakeSpreadsheets : SpreadsheetFactory {
    std::map<std::string, Cells> workbooks;
    std::map<std::string, std::vector<std::string>> saved;
    std::vector<std::string> calls;
    bool failCreate = false;
    bool failSave = false;

    std::unique_ptr<Spreadsheet> start() override;
};

class FakeNewWorkbook : public SheetSink {
public:
    FakeNewWorkbook(FakeSpreadsheets& files, std::string name)
        : files_(files), name_(std::move(name)) {}

    void begin(int) override {}
    void writeNames(const UserEntryNames& names) override { names_.push_back(names.commonName); }
    void writeDays(const DayStrings&) override {}
    void finish() override {
        if (files_.failSave) {
            throw RunTimeError(1004, "Cannot access " + name_, "Spreadsheet");
        }
        abandon();
    }
    void abandon() noexcept override { files_.saved[name_] = names_; }

private:
    FakeSpreadsheets& files_;
    std::string name_;
    std::vector<std::string> names_;
};

class FakeOpenedWorkbook : public WorkbookSource {
public:
    FakeOpenedWorkbook(FakeSpreadsheets& files, Cells cells)
        : files_(files), cells_(std::move(cells)) {}
    std::string cellText(std::int32_t row, int column) override {
        const auto found = cells_.find({row, column});
        return found == cells_.end() ? std::string() : found->second;
    }
    void close() override { files_.calls.push_back("Close"); }

private:
    FakeSpreadsheets& files_;
    Cells cells_;
};

class FakeSpreadsheet : public Spreadsheet {
public:
    explicit FakeSpreadsheet(FakeSpreadsheets& files) : files_(files) {}
    std::unique_ptr<SheetSink> newWorkbook(const std::string& fileName) override {
        return std::make_unique<FakeNewWorkbook>(files_, fileName);
    }
    std::unique_ptr<WorkbookSource> openWorkbook(const std::string& fileName) override {
        files_.calls.push_back("Open " + fileName);
        if (!files_.workbooks.contains(fileName)) {
            throw RunTimeError(1004, "Cannot find " + fileName, "Spreadsheet");
        }
        return std::make_unique<FakeOpenedWorkbook>(files_, files_.workbooks[fileName]);
    }
    void quit() override { files_.calls.push_back("Quit"); }

private:
    FakeSpreadsheets& files_;
};

inline std::unique_ptr<Spreadsheet> FakeSpreadsheets::start() {
    if (failCreate) {
        throw RunTimeError(429, "ActiveX component can't create object", "Spreadsheet");
    }
    return std::make_unique<FakeSpreadsheet>(*this);
}

}  // namespace qm::testing

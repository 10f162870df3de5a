#pragma once

#include <map>
#include <memory>
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

struct FakeNewWorkbook : SheetSink {
    FakeNewWorkbook(FakeSpreadsheets& files, std::string name)
        : files(files), name(std::move(name)) {}
    void begin(int) override {}
    void writeNames(const UserEntryNames& entry) override { names.push_back(entry.commonName); }
    void writeDays(const DayStrings&) override {}
    void finish() override {
        if (files.failSave) {
            throw RunTimeError(1004, "Cannot access " + name, "Spreadsheet");
        }
        abandon();
    }
    void abandon() noexcept override { files.saved[name] = names; }

    FakeSpreadsheets& files;
    std::string name;
    std::vector<std::string> names;
};

struct FakeOpenedWorkbook : WorkbookSource {
    FakeOpenedWorkbook(FakeSpreadsheets& files, Cells cells)
        : files(files), cells(std::move(cells)) {}
    std::string cellText(std::int32_t row, int column) override {
        return cells.contains({row, column}) ? cells.at({row, column}) : "";
    }
    void close() override { files.calls.push_back("Close"); }

    FakeSpreadsheets& files;
    Cells cells;
};

struct FakeSpreadsheet : Spreadsheet {
    explicit FakeSpreadsheet(FakeSpreadsheets& files) : files(files) {}
    std::unique_ptr<SheetSink> newWorkbook(const std::string& fileName) override {
        return std::make_unique<FakeNewWorkbook>(files, fileName);
    }
    std::unique_ptr<WorkbookSource> openWorkbook(const std::string& fileName) override {
        files.calls.push_back("Open " + fileName);
        if (!files.workbooks.contains(fileName)) {
            throw RunTimeError(1004, "Cannot find " + fileName, "Spreadsheet");
        }
        return std::make_unique<FakeOpenedWorkbook>(files, files.workbooks[fileName]);
    }
    void quit() override { files.calls.push_back("Quit"); }

    FakeSpreadsheets& files;
};

inline std::unique_ptr<Spreadsheet> FakeSpreadsheets::start() {
    if (failCreate) {
        throw RunTimeError(429, "ActiveX component can't create object", "Spreadsheet");
    }
    return std::make_unique<FakeSpreadsheet>(*this);
}

}  // namespace qm::testing

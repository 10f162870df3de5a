#include "platform/workbook/workbook_application.h"

#include "platform/core/text.h"
#include "platform/workbook/cell_reader.h"
#include "platform/workbook/new_workbook.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

// The first worksheet of an opened workbook; closed, it refuses further reads.
class OpenedWorkbook : public WorkbookSource {
public:
    explicit OpenedWorkbook(std::unique_ptr<CellReader> reader) : reader_(std::move(reader)) {}

    std::string cellText(std::int32_t row, int column) override {
        if (!reader_) {
            throw spreadsheetError("The workbook has been closed");
        }
        return reader_->cellValue(row, column).toText();
    }
    void close() override { reader_.reset(); }

private:
    std::unique_ptr<CellReader> reader_;
};

class WorkbookApplication : public Spreadsheet {
public:
    std::unique_ptr<SheetSink> newWorkbook(const std::string& fileName) override {
        checkRunning();
        return std::make_unique<NewWorkbook>(fileName);
    }
    std::unique_ptr<WorkbookSource> openWorkbook(const std::string& fileName) override {
        checkRunning();
        return std::make_unique<OpenedWorkbook>(openWorkbookFile(fileName));
    }
    void quit() override { running_ = false; }

private:
    void checkRunning() const {
        if (!running_) {
            throw spreadsheetError("The spreadsheet application has quit");
        }
    }

    bool running_ = true;
};

class WorkbookApplicationFactory : public SpreadsheetFactory {
public:
    std::unique_ptr<Spreadsheet> start() override {
        return std::make_unique<WorkbookApplication>();
    }
};

}  // namespace

std::unique_ptr<SpreadsheetFactory> makeSpreadsheetFactory() {
    return std::make_unique<WorkbookApplicationFactory>();
}

}  // namespace qm

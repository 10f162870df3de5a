#include "platform/workbook/workbook_application.h"

#include <vector>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/new_workbook.h"
#include "platform/workbook/opened_workbook.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

class WorkbookApplication : public SpreadsheetApplication {
public:
    Workbook& WorkbooksAdd() override {
        checkRunning();
        return activate(std::make_unique<NewWorkbook>());
    }

    Workbook& WorkbooksOpen(const std::string& fileName) override {
        checkRunning();
        return activate(std::make_unique<OpenedWorkbook>(fileName, openWorkbookFile(fileName)));
    }

    Workbook& ActiveWorkbook() override { return active(); }

    void setColumnWidth(int column, double width) override {
        active().setActiveSheetColumnWidth(column, width);
    }

    // Unsaved workbooks are discarded without a question: the application is never visible.
    void Quit() override {
        for (auto& workbook : workbooks_) {
            workbook->Close();
        }
        running_ = false;
    }

private:
    void checkRunning() const {
        if (!running_) {
            throw spreadsheetError("The spreadsheet application has quit");
        }
    }

    Workbook& activate(std::unique_ptr<ApplicationWorkbook> workbook) {
        workbooks_.push_back(std::move(workbook));
        return *workbooks_.back();
    }

    // The most recently added or opened workbook that is still open. Closed ones are kept, so a
    // reference a caller still holds refuses further calls instead of dangling.
    ApplicationWorkbook& active() {
        checkRunning();
        for (auto workbook = workbooks_.rbegin(); workbook != workbooks_.rend(); ++workbook) {
            if (!(*workbook)->isClosed()) {
                return **workbook;
            }
        }
        throw spreadsheetError("There is no open workbook");
    }

    std::vector<std::unique_ptr<ApplicationWorkbook>> workbooks_;
    bool running_ = true;
};

class WorkbookApplicationFactory : public SpreadsheetFactory {
public:
    std::unique_ptr<SpreadsheetApplication> createApplication() override {
        return std::make_unique<WorkbookApplication>();
    }
};

}  // namespace

std::unique_ptr<SpreadsheetFactory> makeSpreadsheetFactory() {
    return std::make_unique<WorkbookApplicationFactory>();
}

}  // namespace qm

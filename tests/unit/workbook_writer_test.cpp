#include "logonhours/sheet_layout.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/workbook_application.h"
#include "support/run_time_errors.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

std::string errorOf(const std::function<void()>& call) {
    const RunTimeError error = testing::errorOf(call);
    EXPECT_EQ(error.source(), kSpreadsheetSource);
    return error.description();
}

class WorkbookWriterTest : public ::testing::Test {
protected:
    // Saves a new workbook of one entry per common name, every hour allowed.
    void save(const std::string& name, const std::vector<std::string>& commonNames) {
        auto book = spreadsheet_->newWorkbook(folder_.file(name));
        book->begin(5);
        DayStrings days;
        days.fill(kAllHoursAllowed);
        for (const auto& commonName : commonNames) {
            book->writeNames({commonName, "logon", "OU=Sales", "DC=corp"});
            book->writeDays(days);
        }
        book->finish();
    }

    testing::ScratchFolder folder_{"writer"};
    std::unique_ptr<Spreadsheet> spreadsheet_ = makeSpreadsheetFactory()->start();
};

TEST_F(WorkbookWriterTest, SaveAsNamesTheFileAsTheSpreadsheetApplicationWould) {
    for (const char* name : {"legacy.xls", "dotted."}) {
        save(name, {"x"});
    }
    for (const char* name : {"legacy.xls", "dotted.xlsx"}) {
        EXPECT_EQ(testing::readBytes(folder_.file(name)).substr(0, 2), "PK") << name;
    }
    // Read by content, whatever the name says.
    EXPECT_EQ(spreadsheet_->openWorkbook(folder_.file("legacy.xls"))->cellText(3, 2), "x");
}

TEST_F(WorkbookWriterTest, AFailedSaveLeavesNoFileAndAnExistingOneUntouched) {
    EXPECT_NE(errorOf([&] { save("no/such/x.xlsx", {}); }).find("no/such/x.xlsx"),
              std::string::npos);
    std::filesystem::create_directory(folder_.file("taken.xlsx"));
    EXPECT_NE(errorOf([&] { save("taken", {}); }).find("folder"), std::string::npos);

    const std::string existing = folder_.file("existing.xlsx");
    testing::writeBytes(existing, "old content");
    // libxlsxwriter cannot make its own temporary files: the save fails after it started.
    const char* saved = std::getenv("TMPDIR");
    setenv("TMPDIR", folder_.file("missing-tmp").c_str(), 1);
    errorOf([&] { save("existing.xlsx", {"new"}); });
    saved ? setenv("TMPDIR", saved, 1) : unsetenv("TMPDIR");
    EXPECT_EQ(testing::readBytes(existing), "old content");
    // Nor does a workbook dropped unsaved, as when the run ends without abandoning it.
    spreadsheet_->newWorkbook(folder_.file("dropped.xlsx"))->begin(0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 2);
}

}  // namespace
}  // namespace qm

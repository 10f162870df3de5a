#include <gtest/gtest.h>

#include <filesystem>

#include "platform/workbook/cell_store.h"
#include "platform/workbook/spreadsheet_error.h"
#include "platform/workbook/workbook_application.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.source(), kSpreadsheetSource);
        return error.description();
    }
    ADD_FAILURE() << "no run-time error";
    return {};
}

class WorkbookWriterTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder_{"writer"};
    std::unique_ptr<SpreadsheetFactory> factory_ = makeSpreadsheetFactory();
    std::unique_ptr<SpreadsheetApplication> app_ = factory_->createApplication();
};

TEST_F(WorkbookWriterTest, EveryValueStaysTheTextItWasGiven) {
    const std::vector<std::string> texts = {
        "0123",      "1E5",         "TRUE",
        "=SUM(A1)",  "_x0041_",     "  lead and trail  ",
        "tab\there", "line\nbreak", "Jos\xC3\xA9 \xE5\xBC\xA0 \xF0\x9F\x98\x80",
        "<&>\"'",    "-5",          "2.50"};
    Worksheet& sheet = app_->WorkbooksAdd().Worksheets(1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        sheet.setCellValue(int(i + 1), 2, texts[i]);
    }
    const std::string file = folder_.file("texts.xlsx");
    app_->ActiveWorkbook().SaveAs(file);

    const std::string xml = testing::zipPart(file, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(xml.find("<v>"), std::string::npos);  // no numbers, booleans nor formulas
    Worksheet& read = app_->WorkbooksOpen(file).Worksheets(1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(read.cellValue(int(i + 1), 2), Variant(texts[i]));
    }
    EXPECT_TRUE(read.cellValue(1, 1).isEmpty());
}

// The rows above a window are moved out of memory: a late write there is refused, never lost.
TEST(CellStore, KeepsAWindowOfRowsAndRefusesWritesAboveIt) {
    CellStore cells(8);
    cells.set(10, 3, "c10");
    cells.set(17, 3, "c17");
    cells.set(11, 4, "d11");  // within the window
    cells.set(30, 1, "far");  // moves rows up to 22 out
    EXPECT_NE(errorOf([&] { cells.set(17, 4, "late"); }).find("D17"), std::string::npos);
    cells.set(23, 1, "edge");

    std::vector<std::string> seen;
    cells.forEach([&](std::int32_t row, std::int32_t column, const std::string& text) {
        seen.push_back(std::to_string(row) + "/" + std::to_string(column) + "=" + text);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"10/3=c10", "11/4=d11", "17/3=c17", "23/1=edge",
                                              "30/1=far"}));
}

TEST_F(WorkbookWriterTest, SaveAsNamesTheFileAsTheSpreadsheetApplicationWould) {
    Workbook& book = app_->WorkbooksAdd();
    book.Worksheets(1).setCellValue(1, 1, "x");
    for (const char* name : {"plain", "legacy.xls", "macro.xlsm", "dotted."}) {
        book.SaveAs(folder_.file(name));
    }
    for (const char* name : {"plain.xlsx", "legacy.xls", "macro.xlsm", "dotted.xlsx"}) {
        EXPECT_EQ(testing::readBytes(folder_.file(name)).substr(0, 2), "PK") << name;
    }
    // Read by content, whatever the name says.
    EXPECT_EQ(app_->WorkbooksOpen(folder_.file("legacy.xls")).Worksheets(1).cellValue(1, 1),
              Variant("x"));
}

TEST_F(WorkbookWriterTest, AFailedSaveLeavesNoFileAndAnExistingOneUntouched) {
    Workbook& book = app_->WorkbooksAdd();
    book.Worksheets(1).setCellValue(1, 1, "new");
    EXPECT_NE(errorOf([&] { book.SaveAs(folder_.file("no/such/x.xlsx")); }).find("no/such/x.xlsx"),
              std::string::npos);
    fs::create_directory(folder_.file("taken.xlsx"));
    EXPECT_NE(errorOf([&] { book.SaveAs(folder_.file("taken")); }).find("folder"),
              std::string::npos);

    const std::string existing = folder_.file("existing.xlsx");
    testing::writeBytes(existing, "old content");
    // libxlsxwriter cannot make its own temporary files: the save fails after it started.
    const char* saved = std::getenv("TMPDIR");
    setenv("TMPDIR", folder_.file("missing-tmp").c_str(), 1);
    errorOf([&] { book.SaveAs(existing); });
    saved ? setenv("TMPDIR", saved, 1) : unsetenv("TMPDIR");
    EXPECT_EQ(testing::readBytes(existing), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace qm

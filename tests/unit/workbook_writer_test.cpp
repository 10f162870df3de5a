#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "logonhours/sheet_layout.h"
#include "platform/cell_store.h"
#include "platform/spreadsheet_error.h"
#include "platform/workbook_application.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

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

int countOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

class WorkbookWriterTest : public ::testing::Test {
protected:
    ScratchFolder folder_{"writer"};
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
        sheet.setCellValue(static_cast<std::int32_t>(i + 1), 2, texts[i]);
    }
    const std::string file = folder_.file("texts.xlsx");
    app_->ActiveWorkbook().SaveAs(file);
    app_->ActiveWorkbook().Close();

    const std::string xml = testing::zipPart(file, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(countOf(xml, "t=\"inlineStr\""), static_cast<int>(texts.size()));
    EXPECT_EQ(countOf(xml, "<v>"), 0);
    EXPECT_NE(xml.find("_x005F_x0041_"), std::string::npos);

    Worksheet& read = app_->WorkbooksOpen(file).Worksheets(1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(read.cellValue(static_cast<std::int32_t>(i + 1), 2), Variant(texts[i]));
    }
    EXPECT_TRUE(read.cellValue(1, 1).isEmpty());
    app_->Quit();
}

TEST_F(WorkbookWriterTest, NameFontAndWidthsReachTheFile) {
    Workbook& book = app_->WorkbooksAdd();
    Worksheet& sheet = book.Worksheets(1);
    EXPECT_EQ(sheet.Name(), "Sheet1");
    sheet.setName(sheet::kWorksheetName);
    sheet.setCellValue(1, 1, "label");
    sheet.setCellValue(1, 5, "outside A:D");
    sheet.setColumnsFontName("A:D", "Courier New");
    sheet.setColumnsFontSize("A:D", 8);
    for (int column = 1; column <= 4; ++column) {
        app_->setColumnWidth(column, sheet::kColumnWidths[column - 1]);
    }
    const std::string file = folder_.file("styled.xlsx");
    book.SaveAs(file);

    const std::string workbook = testing::zipPart(file, "xl/workbook.xml");
    EXPECT_NE(workbook.find("name=\"Logon Hours\""), std::string::npos);
    const std::string styles = testing::zipPart(file, "xl/styles.xml");
    EXPECT_NE(styles.find("<sz val=\"8\"/><color theme=\"1\"/><name val=\"Courier New\"/>"),
              std::string::npos);
    const std::string xml = testing::zipPart(file, "xl/worksheets/sheet1.xml");
    for (const char* width : {"width=\"33.", "width=\"20.", "width=\"12.", "width=\"32."}) {
        EXPECT_NE(xml.find(width), std::string::npos) << width;
    }
    // The cell in A carries the column's font; the one in E does not.
    EXPECT_NE(xml.find("<c r=\"A1\" s=\"1\""), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"E1\" t=\"inlineStr\""), std::string::npos);
}

TEST_F(WorkbookWriterTest, RefusesTextsAFileCannotCarry) {
    Worksheet& sheet = app_->WorkbooksAdd().Worksheets(1);
    EXPECT_NE(errorOf([&] { sheet.setCellValue(1, 1, "bad \xC3("); }).find("UTF-8"),
              std::string::npos);
    sheet.setCellValue(1, 1, std::string(32767, 'x'));
    EXPECT_NE(errorOf([&] { sheet.setCellValue(1, 2, std::string(32768, 'x')); }).find("32767"),
              std::string::npos);
    // A character beyond the basic plane takes two of the 32,767.
    std::string astral(32766, 'x');
    astral += "\xF0\x9F\x98\x80";
    errorOf([&] { sheet.setCellValue(1, 3, astral); });
    errorOf([&] { sheet.setCellValue(0, 1, "x"); });
    errorOf([&] { sheet.setCellValue(1, 16385, "x"); });
    errorOf([&] { sheet.setCellValue(1048577, 1, "x"); });
    errorOf([&] { sheet.setName("a/b"); });
    errorOf([&] { sheet.setName(std::string(32, 'n')); });
    errorOf([&] { sheet.setColumnsFontName("A:", "Courier New"); });
    errorOf([&] { app_->setColumnWidth(1, 256); });
    EXPECT_THROW(app_->ActiveWorkbook().Worksheets(2), RunTimeError);
}

// The caller writes column D of a block's lower rows after column C of the rows below them.
TEST(CellStore, KeepsAWindowOfRowsAndRefusesWritesAboveIt) {
    CellStore cells(8);
    cells.set(10, 3, "c10");
    cells.set(17, 3, "c17");
    cells.set(11, 4, "d11");  // within the window: accepted
    cells.set(30, 1, "far");  // moves rows up to 22 out
    EXPECT_EQ(cells.firstOpenRow(), 23);
    const std::string error = errorOf([&] { cells.set(17, 4, "late"); });
    EXPECT_NE(error.find("D17"), std::string::npos);
    cells.set(23, 1, "edge");

    std::vector<std::string> seen;
    cells.forEach([&](std::int32_t row, std::int32_t column, const std::string& text) {
        seen.push_back(std::to_string(row) + "/" + std::to_string(column) + "=" + text);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"10/3=c10", "11/4=d11", "17/3=c17", "23/1=edge",
                                              "30/1=far"}));
    EXPECT_EQ(cells.get(11, 4), "d11");
    EXPECT_EQ(cells.get(30, 1), "far");
    EXPECT_FALSE(cells.get(17, 4).has_value());
}

TEST_F(WorkbookWriterTest, ThousandsOfBlocksInTheDocumentOrderReadBackCellForCell) {
    Worksheet& sheet = app_->WorkbooksAdd().Worksheets(1);
    sheet.setCellValue(1, 1, "Quillmark Version 2.0");
    const int users = 3000;
    for (int user = 0; user < users; ++user) {
        const std::int32_t r = sheet::blockFirstRow(user);
        sheet.setCellValue(r, 1, sheet::kCommonNameLabel);
        sheet.setCellValue(r, 2, "user " + std::to_string(user));
        for (int k = 1; k <= 7; ++k) {
            sheet.setCellValue(r + k, 3, sheet::kDayNames[k - 1]);
        }
        for (int k = 1; k <= 7; ++k) {
            sheet.setCellValue(r + k, 4, std::to_string(user * 7 + k));
        }
    }
    const std::string file = folder_.file("many");
    app_->ActiveWorkbook().SaveAs(file);
    ASSERT_TRUE(fs::exists(file + ".xlsx"));

    Worksheet& read = app_->WorkbooksOpen(file + ".xlsx").Worksheets(1);
    for (int pass = 0; pass < 2; ++pass) {  // the second pass starts again from the top
        for (int user = 0; user < users; user += 7) {
            const std::int32_t r = sheet::blockFirstRow(user);
            ASSERT_EQ(read.cellValue(r, 2).toText(), "user " + std::to_string(user));
            ASSERT_EQ(read.cellValue(r + 7, 4).toText(), std::to_string(user * 7 + 7));
            ASSERT_EQ(read.cellValue(r + 1, 4).toText(), std::to_string(user * 7 + 1));
            ASSERT_TRUE(read.cellValue(r - 1, 1).isEmpty());
        }
    }
    EXPECT_EQ(read.cellValue(1, 1).toText(), "Quillmark Version 2.0");
}

TEST_F(WorkbookWriterTest, SaveAsNamesTheFileAsTheSpreadsheetApplicationWould) {
    Workbook& book = app_->WorkbooksAdd();
    book.Worksheets(1).setCellValue(1, 1, "x");
    book.SaveAs(folder_.file("plain"));
    book.SaveAs(folder_.file("legacy.xls"));
    book.SaveAs(folder_.file("macro.xlsm"));
    book.SaveAs(folder_.file("dotted."));
    for (const char* name : {"plain.xlsx", "legacy.xls", "macro.xlsm", "dotted.xlsx"}) {
        ASSERT_TRUE(fs::exists(folder_.file(name))) << name;
        EXPECT_EQ(testing::readBytes(folder_.file(name)).substr(0, 2), "PK") << name;
    }
    // Read by content, whatever the name says.
    EXPECT_EQ(app_->WorkbooksOpen(folder_.file("legacy.xls")).Worksheets(1).cellValue(1, 1),
              Variant("x"));
}

TEST_F(WorkbookWriterTest, AFailedSaveLeavesNoFileAndAnExistingOneUntouched) {
    Workbook& book = app_->WorkbooksAdd();
    book.Worksheets(1).setCellValue(1, 1, "new");
    EXPECT_NE(errorOf([&] {
                  book.SaveAs(folder_.file("no/such/folder/x.xlsx"));
              }).find("no/such/folder/x.xlsx"),
              std::string::npos);
    fs::create_directory(folder_.file("taken.xlsx"));
    EXPECT_NE(errorOf([&] { book.SaveAs(folder_.file("taken")); }).find("folder"),
              std::string::npos);
    errorOf([&] { book.SaveAs(folder_.path().string() + "/"); });
    errorOf([&] { book.SaveAs(""); });

    const std::string existing = folder_.file("existing.xlsx");
    testing::writeBytes(existing, "old content");
    // libxlsxwriter cannot make its own temporary files: the save fails after it started.
    const char* saved = std::getenv("TMPDIR");
    setenv("TMPDIR", folder_.file("missing-tmp").c_str(), 1);
    EXPECT_THROW(book.SaveAs(existing), RunTimeError);
    saved ? setenv("TMPDIR", saved, 1) : unsetenv("TMPDIR");
    EXPECT_EQ(testing::readBytes(existing), "old content");

    book.SaveAs(existing);
    EXPECT_EQ(testing::readBytes(existing).substr(0, 2), "PK");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"existing.xlsx", "taken.xlsx"}));
}

TEST_F(WorkbookWriterTest, ClosedWorkbooksAndAQuitApplicationRefuseCalls) {
    Workbook& book = app_->WorkbooksAdd();
    Worksheet& sheet = book.Worksheets(1);
    book.Close();
    errorOf([&] { sheet.setCellValue(1, 1, "x"); });
    errorOf([&] { book.SaveAs(folder_.file("closed.xlsx")); });
    errorOf([&] { app_->ActiveWorkbook(); });
    app_->Quit();
    errorOf([&] { app_->WorkbooksAdd(); });
    EXPECT_FALSE(fs::exists(folder_.file("closed.xlsx")));
}

TEST_F(WorkbookWriterTest, AnOpenedWorkbookIsForReadingOnly) {
    Workbook& book = app_->WorkbooksAdd();
    book.Worksheets(1).setName("Logon Hours");
    book.SaveAs(folder_.file("read-only.xlsx"));
    Workbook& opened = app_->WorkbooksOpen(folder_.file("read-only.xlsx"));
    EXPECT_EQ(&app_->ActiveWorkbook(), &opened);
    EXPECT_EQ(opened.Worksheets(1).Name(), "Logon Hours");
    errorOf([&] { opened.Worksheets(1).setCellValue(1, 1, "x"); });
    errorOf([&] { opened.SaveAs(folder_.file("copy.xlsx")); });
    opened.Close();
    EXPECT_EQ(&app_->ActiveWorkbook(), &book);
}

}  // namespace
}  // namespace qm

#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "logonhours/sheet_layout.h"
#include "platform/textfile/text_file.h"
#include "platform/workbook/cell_reader.h"
#include "platform/workbook/workbook_application.h"
#include "support/libreoffice.h"

// Round trips against LibreOffice, a spreadsheet application written by others: what this program
// writes must open there with the exact cells and formatting, and what LibreOffice saves must read
// back here cell for cell. LibreOffice is slow to start, so every conversion runs once for the
// whole suite.

namespace qm {
namespace {

using namespace qm::testing;

// One part of a zip file, decompressed.
std::string zipPart(const std::string& path, const std::string& name) {
    return runCommand("unzip -p '" + path + "' '" + name + "'");
}

const std::vector<std::vector<std::string>> kUsers = {
    {"Jos\xC3\xA9 M\xC3\xBCller", "jmuller", "OU=Sales,OU=West", "DC=corp,DC=test"},
    {"\xE5\xBC\xA0\xE4\xBC\x9F", "0123", "OU=R&D <Lab>", "DC=corp,DC=test"},
    {"=SUM(A1)", "1E5", "PC01", "PC01"},
    {"_x0041_", "TRUE", " lead \"quoted\", comma", "DC=example,DC=org"},
    {"  lead and trail  ", "tab\there", "line\nbreak", "<&>\"'"},
    {"-5", "2.50", "Jos\xC3\xA9 \xE5\xBC\xA0 \xF0\x9F\x98\x80", "DC=x"},
};

// A day string in groups of three, of a pattern of its own for each seed.
std::string dayString(int seed) {
    std::string digits;
    for (int hour = 0; hour < 24; ++hour) {
        digits +=
            (hour % 3 == 0 && hour > 0 ? " " : "") + std::string(1, "01"[(hour + seed) % 3 == 0]);
    }
    return digits;
}

// Writes the workbook the Document run builds; the cells it should hold.
CellGrid writeLogonHoursWorkbook(const std::string& fileName) {
    const auto spreadsheet = makeSpreadsheetFactory()->start();
    const auto book = spreadsheet->newWorkbook(fileName);
    book->begin(5);
    std::vector<SheetRow> rows;
    for (const auto& names : kUsers) {
        auto& row = rows.emplace_back(SheetRow{names[0], names[1], names[2], names[3]});
        for (int day = 0; day < 7; ++day) {
            row.days[day] = dayString(int(rows.size()) + day);
        }
        book->writeNames({names[0], names[1], names[2], names[3]});
        book->writeDays(row.days);
    }
    book->finish();
    return workbookCells(rows, "UTC-05:00");
}

// Cells and rows of LibreOffice's own flat format.
std::string number(const char* value) {
    return std::string(R"(<table:table-cell office:value-type="float" office:value=")") + value +
           "\"/>";
}
std::string text(const std::string& paragraph) {
    return R"(<table:table-cell office:value-type="string"><text:p>)" + paragraph +
           "</text:p></table:table-cell>";
}
std::string row(const std::string& cells) {
    return "<table:table-row>" + cells + "</table:table-row>";
}

// A sheet made in LibreOffice: numbers, rich text, repeated texts (shared strings once saved as
// .xlsx), a far cell, and a second sheet that must not be read.
const std::string kMixedFods =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles><style:style style:name="T1" style:family="text">
<style:text-properties fo:font-weight="bold"/></style:style></office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Mixed">)" +
    row(number("5") + number("2.5") + number("-7") + number("123456789012") + number("0.1")) +
    row(text(R"(rich <text:span text:style-name="T1">bold</text:span> text)") + text("same") +
        text("same") + "<table:table-cell/>" + text("Jos&#xE9;")) +
    R"(<table:table-row table:number-rows-repeated="7"><table:table-cell/></table:table-row>)" +
    row(R"(<table:table-cell table:number-columns-repeated="26"/>)" + text("AA10")) +
    R"(</table:table><table:table table:name="Other">)" + row(text("not me")) +
    "</table:table></office:spreadsheet></office:body></office:document>";

const CellGrid kMixedCells = {
    {{1, 1}, "5"},           {{1, 2}, "2.5"},
    {{1, 3}, "-7"},          {{1, 4}, "123456789012"},
    {{1, 5}, "0.1"},         {{2, 1}, "rich bold text"},
    {{2, 2}, "same"},        {{2, 3}, "same"},
    {{2, 5}, "Jos\xC3\xA9"}, {{10, 27}, "AA10"},
};

class LibreOfficeRoundTrip : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_.emplace("libreoffice");
        ourCells_ = writeLogonHoursWorkbook(file("ours.xlsx"));
        writeLogonHoursWorkbook(file("legacy-name.xls"));
        writeBytes(file("mixed.fods"), kMixedFods);
        const auto convert = [](const char* format, const char* inputs, const char* outdir) {
            convertWithLibreOffice(folder_->path(), format, inputs, outdir);
        };
        convert(kUtf8CsvFilter, "ours.xlsx legacy-name.xls", ".");
        convert("ods", "ours.xlsx", ".");
        convert("csv:Text - txt - csv (StarCalc):44,34,1,1", "ours.xlsx", "ansi");
        convert("xlsx:Calc MS Excel 2007 XML", "ours.xlsx mixed.fods", "lo");
        convert("xls:MS Excel 97", "ours.xlsx mixed.fods", "lo");
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string file(const std::string& name) { return folder_->file(name); }

    static CellGrid readWithOurReader(const std::string& path, int rows, int columns) {
        auto reader = openWorkbookFile(path);
        CellGrid cells;
        for (int row = 1; row <= rows; ++row) {
            for (int column = 1; column <= columns; ++column) {
                const Variant value = reader->cellValue(row, column);
                if (!value.isEmpty() && !value.toText().empty()) {
                    cells[{row, column}] = value.toText();
                }
            }
        }
        return cells;
    }

    static inline std::optional<ScratchFolder> folder_;
    static inline CellGrid ourCells_;
};

// Every value stays the text it was given: no numbers, booleans nor formulas.
TEST_F(LibreOfficeRoundTrip, OurWorkbookOpensWithTheExactCells) {
    const std::string xml = zipPart(file("ours.xlsx"), "xl/worksheets/sheet1.xml");
    EXPECT_EQ(xml.find("<v>"), std::string::npos);
    EXPECT_EQ(parseLibreOfficeCsv(readBytes(file("ours.csv"))), ourCells_);
    // Saved under a .xls name it is still a workbook LibreOffice opens, with the same cells.
    EXPECT_EQ(parseLibreOfficeCsv(readBytes(file("legacy-name.csv"))), ourCells_);
}

// An administrator saves the workbook as a comma-delimited file in the Windows code page; the
// accented names must come back into the program unchanged.
TEST_F(LibreOfficeRoundTrip, AccentedNamesSurviveTheCodePageCsvOfASpreadsheet) {
    const std::string path = file("ansi/ours.csv");
    EXPECT_NE(readBytes(path).find("Jos\xE9 M\xFCller"), std::string::npos);
    TextFileReader reader(path);
    std::string text, line;
    while (reader.readLine(line)) {
        text += line + "\n";
    }
    const CellGrid cells = parseLibreOfficeCsv(text);
    EXPECT_EQ(cells.at({3, 2}), "Jos\xC3\xA9 M\xC3\xBCller");
    EXPECT_EQ(cells.at({4, 2}), "jmuller");
    EXPECT_EQ(cells.at({5, 2}), "OU=Sales,OU=West");
}

TEST_F(LibreOfficeRoundTrip, OurWorkbookKeepsItsSheetNameFontAndColumnWidths) {
    const std::string content = zipPart(file("ours.ods"), "content.xml");
    std::smatch match;
    ASSERT_TRUE(
        std::regex_search(content, match, std::regex("<table:table table:name=\"([^\"]*)\"")));
    EXPECT_EQ(match[1], "Logon Hours");

    // The four columns A:D, each with a default cell style.
    const std::regex column(
        "<table:table-column table:style-name=\"co\\d+\"(?: table:number-columns-"
        "repeated=\"(\\d+)\")?(?: table:default-cell-style-name=\"(ce\\d+)\")?");
    std::vector<std::string> cellStyles;
    for (auto it = std::sregex_iterator(content.begin(), content.end(), column);
         it != std::sregex_iterator() && cellStyles.size() < 4; ++it) {
        const std::size_t repeated = (*it)[1].matched ? std::stoi((*it)[1]) : 1;
        cellStyles.insert(cellStyles.end(), std::min(repeated, 4 - cellStyles.size()), (*it)[2]);
    }
    ASSERT_EQ(cellStyles.size(), 4u);

    for (const std::string& name : cellStyles) {
        std::smatch found;
        const std::regex style("<style:style style:name=\"" + name + "\"[^>]*>(.*?)</style:style>");
        ASSERT_TRUE(std::regex_search(content, found, style)) << name;
        EXPECT_NE(found[1].str().find("style:font-name=\"Courier New\""), std::string::npos)
            << name;
        EXPECT_NE(found[1].str().find("fo:font-size=\"8pt\""), std::string::npos) << name;
    }
    // Widths in character units leave out the cell's padding of 5 pixels at 7 pixels a digit.
    const double padding = 5.0 / 7.0;
    // LibreOffice's own .xlsx states the widths in the spreadsheet's units.
    const std::string xml = zipPart(file("lo/ours.xlsx"), "xl/worksheets/sheet1.xml");
    std::regex width("<col [^>]*max=\"(\\d)\" min=\"\\d\" style=\"\\d+\" width=\"([0-9.]+)\"");
    int seen = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), width);
         it != std::sregex_iterator(); ++it) {
        const int index = std::stoi((*it)[1]) - 1;
        ASSERT_LT(index, 4);
        EXPECT_NEAR(std::stod((*it)[2]) - padding, sheet::kColumnWidths[index], 0.05);
        ++seen;
    }
    EXPECT_EQ(seen, 4);
}

TEST_F(LibreOfficeRoundTrip, WhatLibreOfficeSavesReadsBackCellForCell) {
    const int rows = sheet::blockFirstRow(static_cast<int>(kUsers.size())) + 2;
    EXPECT_EQ(readWithOurReader(file("lo/ours.xlsx"), rows, 6), ourCells_);
    EXPECT_EQ(readWithOurReader(file("lo/ours.xls"), rows, 6), ourCells_);
    EXPECT_EQ(readWithOurReader(file("lo/mixed.xlsx"), 12, 30), kMixedCells);
    EXPECT_EQ(readWithOurReader(file("lo/mixed.xls"), 12, 30), kMixedCells);
    // LibreOffice's .xlsx keeps its texts as shared strings, the rich one in runs.
    const std::string strings = zipPart(file("lo/mixed.xlsx"), "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("<r>"), std::string::npos);
}

}  // namespace
}  // namespace qm

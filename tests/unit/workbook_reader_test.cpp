#include <gtest/gtest.h>

#include "platform/cell_reader.h"
#include "platform/spreadsheet_error.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

using testing::ScratchFolder;
using testing::ZipParts;

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string packageRels(const std::string& workbookTarget = "xl/workbook.xml") {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"" +
           kRelationships + "/officeDocument\" Target=\"" + workbookTarget + "\"/></Relationships>";
}

std::string workbookRels(const std::string& sheetTarget, bool withStrings) {
    std::string rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
        kRelationships + "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId2\" Type=\"" +
        kRelationships + "/worksheet\" Target=\"" + sheetTarget + "\"/>";
    if (withStrings) {
        rels += "<Relationship Id=\"rId3\" Type=\"" + kRelationships +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    }
    return rels + "</Relationships>";
}

std::string workbookXml() {
    return "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRelationships +
           "\"><sheets><sheet name=\"First\" sheetId=\"1\" r:id=\"rId2\"/></sheets></workbook>";
}

std::string sheetXml(const std::string& rows) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"" + kMain +
           "\"><dimension ref=\"A1\"/><sheetData>" + rows + "</sheetData></worksheet>";
}

// A workbook as another program writes it: its first worksheet named through rId2.
ZipParts workbookParts(const std::string& rows, const std::string& strings = {}) {
    ZipParts parts = {
        {"_rels/.rels", packageRels()},
        {"xl/workbook.xml", workbookXml()},
        {"xl/_rels/workbook.xml.rels", workbookRels("worksheets/sheet1.xml", !strings.empty())},
        {"xl/worksheets/sheet1.xml", sheetXml(rows)}};
    if (!strings.empty()) {
        parts.push_back(
            {"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + strings + "</sst>"});
    }
    return parts;
}

class WorkbookReaderTest : public ::testing::Test {
protected:
    std::unique_ptr<CellReader> open(const ZipParts& parts, const ReaderLimits& limits = {}) {
        testing::writeZip(file_, parts);
        return openWorkbookFile(file_, limits);
    }

    // The description of the error that opening, then reading the first rows, raises.
    std::string failureOf(const ZipParts& parts, const ReaderLimits& limits = {}) {
        testing::writeZip(file_, parts);
        return failureOfFile(limits);
    }
    std::string failureOfFile(const ReaderLimits& limits = {}) {
        try {
            auto reader = openWorkbookFile(file_, limits);
            for (std::int32_t row = 1; row <= 200; ++row) {
                (void)reader->cellValue(row, 1);
            }
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.source(), kSpreadsheetSource);
            return error.description();
        }
        ADD_FAILURE() << "no run-time error";
        return {};
    }

    ScratchFolder folder_{"reader"};
    std::string file_ = folder_.file("book.xlsx");
};

TEST_F(WorkbookReaderTest, ReadsEveryKindOfCellAsAPersonSeesIt) {
    const std::string strings =
        "<si><t>plain</t></si>"
        "<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\">text </t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
        "<si><t>_x005F_x0041_ and _x0041_</t></si>";
    const std::string rows =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>5</v></c><c r=\"B2\"><v>2.5</v></c><c r=\"C2\" t=\"n\">"
        "<v>123456789012</v></c><c r=\"D2\"><v>1E+20</v></c><c r=\"E2\"><v>0.1</v></c>"
        "<c r=\"F2\"><v>-7.0</v></c></row>"
        "<row r=\"3\"><c r=\"A3\" t=\"b\"><v>1</v></c><c r=\"B3\" t=\"b\"><v>0</v></c>"
        "<c r=\"C3\" t=\"str\"><f>A1&amp;\"x\"</f><v>plainx</v></c>"
        "<c r=\"D3\" t=\"inlineStr\"><is><t>inline &lt;&amp;&gt;</t></is></c>"
        "<c r=\"E3\" s=\"1\"/></row>"
        "<row r=\"10\"><c r=\"AA10\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r>"
        "</is></c></row>"
        "<row><c t=\"inlineStr\"><is><t>row 11 A</t></is></c><c t=\"inlineStr\"><is><t>B</t>"
        "</is></c></row>"
        "<row r=\"12\"><c r=\"A12\" t=\"e\"><v>#N/A</v></c></row>";
    auto reader = open(workbookParts(rows, strings));
    EXPECT_EQ(reader->sheetName(), "First");
    EXPECT_EQ(reader->cellValue(1, 1), Variant("plain"));
    EXPECT_EQ(reader->cellValue(1, 2), Variant("rich text "));
    EXPECT_EQ(reader->cellValue(1, 3), Variant("_x0041_ and A"));
    const std::vector<std::string> numbers = {"5", "2.5", "123456789012", "1E+20", "0.1", "-7"};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(reader->cellValue(2, static_cast<std::int32_t>(i + 1)), Variant(numbers[i]));
    }
    EXPECT_EQ(reader->cellValue(3, 1), Variant("TRUE"));
    EXPECT_EQ(reader->cellValue(3, 2), Variant("FALSE"));
    EXPECT_EQ(reader->cellValue(3, 3), Variant("plainx"));
    EXPECT_EQ(reader->cellValue(3, 4), Variant("inline <&>"));
    EXPECT_TRUE(reader->cellValue(3, 5).isEmpty());
    EXPECT_TRUE(reader->cellValue(5, 1).isEmpty());
    EXPECT_EQ(reader->cellValue(10, 27), Variant("inline"));
    EXPECT_EQ(reader->cellValue(11, 1), Variant("row 11 A"));
    EXPECT_EQ(reader->cellValue(11, 2), Variant("B"));
    try {
        reader->cellValue(12, 1);
        ADD_FAILURE() << "an error value read as text";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 13);
        EXPECT_NE(error.description().find("#N/A"), std::string::npos);
    }
    EXPECT_TRUE(reader->cellValue(1048576, 16384).isEmpty());
    // Going back to the top reads the sheet again.
    EXPECT_EQ(reader->cellValue(1, 1), Variant("plain"));
}

TEST_F(WorkbookReaderTest, FindsTheFirstWorksheetHoweverThePackageNamesIt) {
    ZipParts parts = {
        {"_rels/.rels", packageRels("/book/main.xml")},
        {"book/main.xml",
         "<x:workbook xmlns:x=\"" + kMain + "\" xmlns:r=\"" + kRelationships +
             "\"><x:sheets><x:sheet name=\"Chart\" sheetId=\"3\" r:id=\"rId9\"/>"
             "<x:sheet name=\"Data\" sheetId=\"1\" r:id=\"rId2\"/></x:sheets></x:workbook>"},
        {"book/_rels/main.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId9\" Type=\"" +
             kRelationships +
             "/chartsheet\" Target=\"charts/c1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" +
             kRelationships + "/worksheet\" Target=\"../sheets/./data.xml\"/></Relationships>"},
        {"sheets/data.xml",
         "<x:worksheet xmlns:x=\"" + kMain +
             "\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>found"
             "</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>"}};
    auto reader = open(parts);
    EXPECT_EQ(reader->sheetName(), "Data");
    EXPECT_EQ(reader->cellValue(1, 1), Variant("found"));
}

TEST_F(WorkbookReaderTest, RefusesWhatIsNoWorkbookByItsContent) {
    testing::writeBytes(file_, "\"Name\",\"Container\"\r\n");
    EXPECT_NE(failureOfFile().find("is not a workbook"), std::string::npos);
    EXPECT_NE(failureOf({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                         {"content.xml", "<office:document-content/>"}})
                  .find("is not a workbook"),
              std::string::npos);
    file_ = folder_.file("missing.xlsx");
    EXPECT_NE(failureOfFile().find("cannot be opened"), std::string::npos);
    file_ = folder_.path().string();
    EXPECT_NE(failureOfFile().find("folder"), std::string::npos);
}

TEST_F(WorkbookReaderTest, CapsEveryDecompressedPart) {
    ReaderLimits limits;
    limits.sheetBytes = 1 << 20;
    limits.sharedStringsBytes = 1 << 20;
    limits.sharedStrings = 1000;
    // A sheet of blanks that deflates to a few kilobytes.
    const std::string bomb(3 << 20, ' ');
    EXPECT_NE(failureOf(workbookParts("<row r=\"1\">" + bomb + "</row>"), limits)
                  .find("larger than 1 MB"),
              std::string::npos);
    std::string manyStrings;
    for (int i = 0; i < 1001; ++i) {
        manyStrings += "<si><t>s</t></si>";
    }
    EXPECT_NE(failureOf(workbookParts("", manyStrings), limits).find("more than 1000 shared"),
              std::string::npos);
    std::string bigStrings = "<si><t>" + std::string(2 << 20, 'x') + "</t></si>";
    EXPECT_NE(failureOf(workbookParts("", bigStrings), limits).find("larger than 1 MB"),
              std::string::npos);
    limits = ReaderLimits{};
    limits.totalBytes = 1 << 20;
    EXPECT_NE(
        failureOf(workbookParts("", "<si><t>" + std::string(2 << 20, 'y') + "</t></si>"), limits)
            .find("together"),
        std::string::npos);
}

TEST_F(WorkbookReaderTest, RefusesDocumentTypeDefinitionsBeforeExpandingThem) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            laughs += "&l" + std::to_string(i - 1) + ";";
        }
        laughs += "\">";
    }
    laughs += "]><worksheet xmlns=\"" + kMain +
              "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&l9;</t></is></c>"
              "</row></sheetData></worksheet>";
    ZipParts parts = workbookParts("");
    parts[3].second = laughs;
    EXPECT_NE(failureOf(parts).find("document type definition"), std::string::npos);
    parts = workbookParts("");
    parts[1].second = "<!DOCTYPE workbook SYSTEM \"file:///etc/passwd\">" + workbookXml();
    EXPECT_NE(failureOf(parts).find("document type definition"), std::string::npos);
    EXPECT_NE(failureOf(workbookParts("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&ext;"
                                      "</t></is></c></row>"))
                  .find("damaged"),
              std::string::npos);
}

TEST_F(WorkbookReaderTest, CallsAbsurdOrInconsistentSheetsDamaged) {
    const std::vector<std::string> broken = {
        "<row r=\"1048577\"><c r=\"A1048577\"><v>1</v></c></row>",
        "<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>",
        "<row r=\"1\"><c r=\"A99999999999\"><v>1</v></c></row>",
        "<row r=\"-3\"><c><v>1</v></c></row>",
        "<row r=\"5\"><c r=\"A5\"><v>1</v></c></row><row r=\"4\"><c r=\"A4\"><v>1</v></c></row>",
        "<row r=\"1\"><c r=\"A1\"><v>one</v></c></row>",
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>",
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>open</is></c></row>",
    };
    for (const auto& rows : broken) {
        EXPECT_NE(failureOf(workbookParts(rows)).find("damaged"), std::string::npos) << rows;
    }
}

TEST_F(WorkbookReaderTest, TruncatedCorruptAndEncryptedFilesAreErrorsNotCrashes) {
    std::string rows;
    for (int r = 1; r <= 2000; ++r) {
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
                "\" t=\"inlineStr\"><is><t>" + std::to_string(r * 7919) + "</t></is></c></row>";
    }
    testing::writeZip(file_, workbookParts(rows));
    const std::string whole = testing::readBytes(file_);
    for (std::size_t keep : {whole.size() / 2, whole.size() - 30, std::size_t{100}}) {
        testing::writeBytes(file_, whole.substr(0, keep));
        EXPECT_FALSE(failureOfFile().empty()) << keep;
    }
    std::string flipped = whole;
    for (std::size_t at = 200; at < flipped.size() - 200; at += 97) {
        flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
    }
    testing::writeBytes(file_, flipped);
    EXPECT_FALSE(failureOfFile().empty());

    // An OOXML workbook saved with a password is an OLE file holding an EncryptionInfo stream.
    std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    ole += std::string(1024, '\0');
    for (char ch : std::string("EncryptionInfo")) {
        ole += ch;
        ole += '\0';
    }
    ole += std::string(2048, '\0');
    testing::writeBytes(file_, ole);
    EXPECT_NE(failureOfFile().find("encrypted"), std::string::npos);
    testing::writeBytes(file_, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "junk");
    EXPECT_NE(failureOfFile().find("damaged"), std::string::npos);
}

}  // namespace
}  // namespace qm

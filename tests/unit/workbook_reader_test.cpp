#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/spreadsheet_error.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

// Writes a zip file holding the parts, deflated.
void writeZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& parts) {
    const testing::ScratchFolder folder("zip");
    for (const auto& [name, content] : parts) {
        std::filesystem::create_directories(std::filesystem::path(folder.file(name)).parent_path());
        testing::writeBytes(folder.file(name), content);
    }
    testing::runCommand("cd '" + folder.path().string() + "' && rm -f '" + path +
                        "' && zip -qrD '" + path + "' .");
}

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string relationship(const std::string& id, const std::string& type, const std::string& to) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRel + "/" + type + "\" Target=\"" + to +
           "\"/>";
}
std::string relationships(const std::string& entries) {
    return "<Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           entries + "</Relationships>";
}

class WorkbookReaderTest : public ::testing::Test {
protected:
    // A workbook as another program writes it, its bytes: the first worksheet named through rId2.
    std::string workbook(const std::string& rows, const std::string& strings = {},
                         const std::string& sheetPrologue = {}) {
        writeZip(
            file_,
            {{"_rels/.rels",
              relationships(relationship("rId1", "officeDocument", "xl/workbook.xml"))},
             {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                                     "\"><sheets><sheet name=\"First\" sheetId=\"1\" "
                                     "r:id=\"rId2\"/></sheets></workbook>"},
             {"xl/_rels/workbook.xml.rels",
              relationships(relationship("rId2", "worksheet", "worksheets/sheet1.xml") +
                            relationship("rId3", "sharedStrings", "sharedStrings.xml"))},
             {"xl/worksheets/sheet1.xml", sheetPrologue + "<worksheet xmlns=\"" + kMain +
                                              "\"><sheetData>" + rows + "</sheetData></worksheet>"},
             {"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + strings + "</sst>"}});
        return testing::readBytes(file_);
    }

    // The description of the error that opening the file, then reading its first rows, raises.
    std::string failureOf(const std::string& bytes, const ReaderLimits& limits) {
        testing::writeBytes(file_, bytes);
        try {
            const auto reader = openWorkbookFile(file_, limits);
            for (std::int32_t row = 1; row <= 200; ++row) {
                (void)reader->cellValue(row, 1);
            }
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.source(), kSpreadsheetSource);
            return error.description();
        }
        return "no error";
    }

    testing::ScratchFolder folder_{"reader"};
    std::string file_ = folder_.file("book.xlsx");
};

// Whatever a file holds, reading it is a run-time error of the spreadsheet, never a crash, a
// hang or an exhausted memory.
TEST_F(WorkbookReaderTest, HostileFilesAreRunTimeErrors) {
    ReaderLimits limits;
    limits.sheetBytes = limits.sharedStringsBytes = 1 << 20;
    limits.sharedStrings = 1000;
    std::string manyStrings;
    for (int i = 0; i < 1001; ++i) {
        manyStrings += "<si><t>s</t></si>";
    }
    const std::string whole = workbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    // An OOXML workbook saved with a password is an OLE file holding an EncryptionInfo stream.
    const std::string encrypted =
        std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(1024, '\0') +
        std::string("E\0n\0c\0r\0y\0p\0t\0i\0o\0n\0I\0n\0f\0o\0", 28) + std::string(2048, '\0');

    const std::pair<std::string, std::string> cases[] = {
        {workbook("<row r=\"1\">" + std::string(3 << 20, ' ') + "</row>"), "larger than 1 MB"},
        {workbook("", manyStrings), "more than 1000 shared"},
        {workbook("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>" + std::string(32767, 'x') +
                  "<!---->x</v></c></row>"),
         "longer than a cell can hold (32,767 characters)"},
        {workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&l;</t></is></c></row>", "",
                  "<!DOCTYPE worksheet [<!ENTITY l \"lol\">]>"),
         "document type definition"},
        {workbook("<row r=\"1\"><c r=\"A99999999999\"><v>1</v></c></row>"), "damaged"},
        {whole.substr(0, whole.size() / 2), ""},
        {encrypted, "encrypted"},
        {"\"Name\",\"Container\"\r\n", "is not a workbook"},
    };
    for (const auto& [bytes, expected] : cases) {
        const std::string failure = failureOf(bytes, limits);
        EXPECT_NE(failure, "no error") << bytes.substr(0, 200);
        EXPECT_NE(failure.find(expected), std::string::npos) << failure;
    }
    // A text longer than the XML reader holds, in a sheet within the default limits.
    const std::string longText = workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" +
                                          std::string(2 << 20, 'x') + "</t></is></c></row>");
    EXPECT_NE(failureOf(longText, {}).find("longer than 1 MB"), std::string::npos);
    // A pipe would never end: it is refused, not waited on.
    mkfifo(folder_.file("pipe").c_str(), 0600);
    EXPECT_THROW(openWorkbookFile(folder_.file("pipe")), RunTimeError);
    // A file written over while it is read: what is read is the file as it was opened.
    workbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    const auto reader = openWorkbookFile(file_);
    workbook(
        "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row><row r=\"2\"><c r=\"A2\"><v>3</v></c></row>");
    EXPECT_EQ(reader->cellValue(1, 1), Variant(std::string("1")));
    EXPECT_EQ(reader->cellValue(2, 1), Variant());
}

}  // namespace
}  // namespace qm

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

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
    const std::string command =
        "cd '" + folder.path().string() + "' && rm -f '" + path + "' && zip -qrD '" + path + "' .";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
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

    // Writes the file, opens it and reads its first rows.
    void readFirstRows(const std::string& bytes, const ReaderLimits& limits = {}) {
        testing::writeBytes(file_, bytes);
        auto reader = openWorkbookFile(file_, limits);
        for (std::int32_t row = 1; row <= 200; ++row) {
            (void)reader->cellValue(row, 1);
        }
    }

    // The description of the error that opening, then reading the first rows, raises.
    std::string failureOf(const std::string& bytes, const ReaderLimits& limits) {
        try {
            readFirstRows(bytes, limits);
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.source(), kSpreadsheetSource);
            return error.description();
        }
        return "no error";
    }

    // The peak memory, in MB, of reading the first rows of the file in a child process with a 1 GB
    // address space, and whether that ended as expected: "read", or with the error's description.
    std::pair<long, bool> peakOfReading(const std::string& bytes, const std::string& expected) {
        std::fflush(stdout);  // or the child prints what the test printed before, again
        const pid_t child = fork();
        if (child == 0) {
            const rlimit space{1l << 30, 1l << 30};
            setrlimit(RLIMIT_AS, &space);
            std::string outcome = "read";
            try {
                readFirstRows(bytes);
            } catch (const RunTimeError& error) {
                outcome = error.description();
            } catch (const std::bad_alloc&) {
                outcome = "out of memory";
            }
            std::printf("%s\n", outcome.c_str());
            std::fflush(stdout);
            _exit(outcome.find(expected) == std::string::npos ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        return {usage.ru_maxrss / 1024, WIFEXITED(status) && WEXITSTATUS(status) == 0};
    }

    testing::ScratchFolder folder_{"reader"};
    std::string file_ = folder_.file("book.xlsx");
};

TEST_F(WorkbookReaderTest, ReadsEveryKindOfCellAsAPersonSeesIt) {
    workbook(
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>5</v></c><c r=\"B2\"><v>2.5</v></c><c r=\"C2\" t=\"n\">"
        "<v>123456789012</v></c><c r=\"D2\"><v>1E+20</v></c><c r=\"E2\"><v>-7.0</v></c></row>"
        "<row r=\"3\"><c r=\"A3\" t=\"b\"><v>1</v></c>"
        "<c r=\"B3\" t=\"str\"><f>A1&amp;\"x\"</f><v>plainx</v></c>"
        "<c r=\"C3\" t=\"inlineStr\"><is><t>inline &lt;&amp;&gt;</t></is></c>"
        "<c r=\"D3\" s=\"1\"/></row>"
        "<row r=\"10\"><c r=\"AA10\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r>"
        "</is></c></row>"
        "<row><c t=\"inlineStr\"><is><t>row 11 A</t></is></c><c t=\"inlineStr\"><is><t>B</t>"
        "</is></c></row>",
        "<si><t>plain</t></si>"
        "<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\">text </t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
        "<si><t>_x005F_x0041_ and _x0041_</t></si>");
    auto reader = openWorkbookFile(file_);
    EXPECT_EQ(reader->sheetName(), "First");
    const std::vector<std::vector<std::string>> rows = {{"plain", "rich text ", "_x0041_ and A"},
                                                        {"5", "2.5", "123456789012", "1E+20", "-7"},
                                                        {"TRUE", "plainx", "inline <&>"}};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            EXPECT_EQ(reader->cellValue(int(r + 1), int(c + 1)), Variant(rows[r][c]));
        }
    }
    EXPECT_TRUE(reader->cellValue(3, 4).isEmpty());
    EXPECT_TRUE(reader->cellValue(5, 1).isEmpty());
    EXPECT_EQ(reader->cellValue(10, 27), Variant("inline"));
    EXPECT_EQ(reader->cellValue(11, 1), Variant("row 11 A"));
    EXPECT_EQ(reader->cellValue(11, 2), Variant("B"));
    EXPECT_TRUE(reader->cellValue(1048576, 16384).isEmpty());
    EXPECT_EQ(reader->cellValue(1, 1), Variant("plain"));  // back at the top: read again
}

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
    const std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    std::string encrypted = ole + std::string(1024, '\0');
    for (char ch : std::string("EncryptionInfo")) {
        encrypted += {ch, '\0'};
    }
    encrypted += std::string(2048, '\0');

    const std::pair<std::string, std::string> cases[] = {
        {workbook("<row r=\"1\">" + std::string(3 << 20, ' ') + "</row>"), "larger than 1 MB"},
        {workbook("", manyStrings), "more than 1000 shared"},
        {workbook("", "<si><t>" + std::string(2 << 20, 'x') + "</t></si>"), "larger than 1 MB"},
        {workbook("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>" + std::string(32767, 'x') +
                  "<!---->x</v></c></row>"),
         "longer than a cell can hold (32,767 characters)"},
        {workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&l;</t></is></c></row>", "",
                  "<!DOCTYPE worksheet [<!ENTITY l \"lol\">]>"),
         "document type definition"},
        {workbook("<row r=\"1\"><c r=\"A99999999999\"><v>1</v></c></row>"), "damaged"},
        {workbook("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>"), "damaged"},
        {workbook("<row r=\"5\"><c r=\"A5\"><v>1</v></c></row><row r=\"4\"><c r=\"A4\"><v>1</v>"
                  "</c></row>"),
         "damaged"},
        {workbook("<row r=\"1\"><c r=\"A1\"><v>one</v></c></row>"), "damaged"},
        {workbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>"), "damaged"},
        {whole.substr(0, whole.size() / 2), ""},
        {whole.substr(0, whole.size() - 30), ""},
        {encrypted, "encrypted"},
        {ole + "junk", "damaged"},
        {"\"Name\",\"Container\"\r\n", "is not a workbook"},
    };
    for (const auto& [bytes, expected] : cases) {
        const std::string failure = failureOf(bytes, limits);
        EXPECT_NE(failure, "no error") << bytes.substr(0, 200);
        EXPECT_NE(failure.find(expected), std::string::npos) << failure;
    }
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

// Small files that would expand to gigabytes: a long shared string named by 200,000 cells, and a
// text of fifty million characters in one cell.
TEST_F(WorkbookReaderTest, SmallHostileWorkbooksStayUnderTwoHundredMegabytes) {
    std::string cells;
    for (int column = 0; column < 2000; ++column) {
        cells += "<c t=\"s\"><v>0</v></c>";
    }
    std::string rows;
    for (int row = 1; row <= 100; ++row) {
        rows += "<row r=\"" + std::to_string(row) + "\">" + cells + "</row>";
    }
    const std::string named = workbook(rows, "<si><t>" + std::string(32767, 'x') + "</t></si>");
    const std::string huge = workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" +
                                      std::string(50 << 20, 'x') + "</t></is></c></row>");
    for (const auto& [bytes, expected] : {std::pair{named, "read"}, {huge, "longer than 1 MB"}}) {
        const auto [megabytes, asExpected] = peakOfReading(bytes, expected);
        std::printf("%zu KB file: %ld MB\n", bytes.size() / 1024, megabytes);
        EXPECT_LT(megabytes, 200);
        EXPECT_TRUE(asExpected) << expected;
    }
}

}  // namespace
}  // namespace qm

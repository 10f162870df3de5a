// The Set task from workbooks that LibreOffice wrote (shared strings, its own part names, a real
// error value from a formula) against the sandbox's DC and PC02: values byte for byte, the log
// line for line, the restore sheet of a workbook run, and the error block of a cell that cannot be
// read as text. Runs inside the sandbox's namespace.

#include <gtest/gtest.h>

#include <map>

#include "logonhours/sheet_layout.h"
#include "support/set_sandbox.h"

namespace qm {
namespace {

using namespace testing;

Bytes counting(std::uint8_t first) {
    Bytes value(21);
    for (std::size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<std::uint8_t>(first + 29 * i);
    }
    return value;
}

std::vector<SuiteUser> suiteUsers() {
    return {
        {"Lee; Jr <Ops>", "Lee\\; Jr \\<Ops\\>", "setwb01", counting(1), ""},
        {"Back\\Slash", "Back\\\\Slash", "setwb02", std::nullopt, ""},
        {"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "setwb03",
         counting(3), ""},
        {"\xE5\xBC\xA0\xE4\xBC\x9F", "\xE5\xBC\xA0\xE4\xBC\x9F", "setwb04", std::nullopt, ""},
        {"Say \"Hi\" + #2", "Say \\\"Hi\\\" \\+ \\#2", "setwb05", counting(5), ""},
        {"Smith, Jim", "Smith\\, Jim", "setwb06", counting(6), ""},
        {"Error Row", "Error Row", "setwb07", counting(7), ""},
        {"After Error", "After Error", "setwb08", counting(8), ""},
    };
}

// The DNs as the log shows them: the program's escape written out by hand, and the Chinese name
// as Windows-1252 stores it.
const std::map<std::string, std::string> kLoggedNames = {
    {"setwb01", "Lee\\; Jr \\<Ops\\>"},
    {"setwb02", "Back\\\\Slash"},
    {"setwb03", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m"},
    {"setwb04", "??"},
    {"setwb05", "Say \\\"Hi\\\" \\+ \\#2"},
    {"setwb06", "Smith\\, Jim"},
};

// --- a workbook in LibreOffice's flat format, laid out as the Document task lays it out
// -----------

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string textCell(const std::string& text) {
    return text.empty() ? "<table:table-cell/>"
                        : "<table:table-cell office:value-type=\"string\"><text:p>" +
                              xmlEscaped(text) + "</text:p></table:table-cell>";
}

// A day cell whose formula yields the error value #N/A.
const std::string kNotAvailableCell = "<table:table-cell table:formula=\"of:=NA()\"/>";

std::string tableRow(const std::vector<std::string>& cells) {
    std::string row = "<table:table-row>";
    for (const std::string& cell : cells) {
        row += cell;
    }
    return row + "</table:table-row>\n";
}

// One block per row; errorDays names, per block, the day whose cell holds #N/A (-1: none).
std::string flatWorkbook(const std::vector<SheetRow>& rows,
                         const std::vector<int>& errorDays = {}) {
    std::string body = tableRow({textCell("Quillmark Version 2.0")}) + tableRow({textCell("")});
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const SheetRow& row = rows[k];
        const int errorDay = k < errorDays.size() ? errorDays[k] : -1;
        auto dayCell = [&](int day) {
            return day == errorDay ? kNotAvailableCell : textCell(row.days[day]);
        };
        body += tableRow({textCell(sheet::kCommonNameLabel), textCell(row.name),
                          textCell(sheet::kLogonHoursLabel), textCell(sheet::kHoursHeading)});
        body += tableRow({textCell(sheet::kLogonNameLabel), textCell(row.account),
                          textCell("Sunday"), dayCell(0)});
        body += tableRow({textCell(sheet::kContainerLabel), textCell(row.container),
                          textCell("Monday"), dayCell(1)});
        body += tableRow(
            {textCell(sheet::kDomainLabel), textCell(row.domain), textCell("Tuesday"), dayCell(2)});
        for (int day = 3; day < 7; ++day) {
            body += tableRow(
                {textCell(""), textCell(""), textCell(sheet::kDayNames[day]), dayCell(day)});
        }
        body += tableRow({textCell("")});
    }
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Logon Hours">
)" + body + "</table:table></office:spreadsheet></office:body></office:document>\n";
}

class SetWorkbookSandbox : public ::testing::Test {
protected:
    static constexpr int kBias = 8;  // UTC = local + 8

    static void SetUpTestSuite() {
        folder = new SuiteFolder;
        ticket = administratorTicket(*folder);
        suite = new SuiteDirectory("OU=SetWorkbookTests", suiteUsers(), {"scanner"});
        for (const char* account : {"setwb01", "setwb02", "setwb03", "setwb04", "setwb05"}) {
            setRows().push_back(row(account, dayStringsFor(int(setRows().size()) + 60)));
        }
        setRows().push_back(localRow("scanner", dayStringsFor(70)));
        errorRows() = {row("setwb06", dayStringsFor(71)), row("setwb07", dayStringsFor(72)),
                       row("setwb08", dayStringsFor(73))};
        writeFile(folder->file("set.fods"), flatWorkbook(setRows()));
        writeFile(folder->file("error.fods"), flatWorkbook(errorRows(), {-1, 2, -1}));
        // One start of LibreOffice converts both. The import filter is named: guessing from the
        // content takes any file that mentions "Workbook" for an Excel 2003 XML file.
        runCommand("cd " + shellQuoted(folder->file("")) +
                   " && timeout 180 soffice -env:UserInstallation=file://" +
                   folder->file("profile") +
                   " --headless --norestore --infilter='OpenDocument Spreadsheet Flat XML'"
                   " --convert-to xlsx set.fods error.fods >soffice.out 2>&1");
    }
    static void TearDownTestSuite() {
        delete suite;
        delete folder;
    }

    static SignIn administrator() { return {ticket, "Administrator", sandboxPassword()}; }
    static std::string dn(const std::string& account) { return suite->dn(suite->user(account)); }
    static std::string loggedDn(const std::string& account) {
        return "CN=" + kLoggedNames.at(account) + "," + suite->ouDn();
    }
    static SheetRow row(const std::string& account, const DayStrings& days) {
        return directoryRow(*suite, suite->user(account), days);
    }
    static std::string storedHex(const SheetRow& row) {
        if (row.container == kSandboxComputer) {
            return hexOf(localLogonHours(row.name));
        }
        const auto value = ldapLogonHours(dn(row.account));
        return value ? hexOf(*value) : "(none)";
    }

    static std::vector<SheetRow>& setRows() {
        static std::vector<SheetRow> rows;
        return rows;
    }
    static std::vector<SheetRow>& errorRows() {
        static std::vector<SheetRow> rows;
        return rows;
    }

    inline static SuiteFolder* folder = nullptr;
    inline static SuiteDirectory* suite = nullptr;
    inline static std::string ticket;
};

TEST_F(SetWorkbookSandbox, ALibreOfficeWorkbookSetsEveryBlockAndItsRestoreSheetPutsThemBack) {
    const std::vector<SheetRow>& rows = setRows();
    std::vector<std::string> originals;
    for (const SheetRow& row : rows) {
        originals.push_back(storedHex(row));
    }
    const std::string sheet = folder->file("set.xlsx");
    const std::string program = folder->folder("workbook");

    const SetOutcome outcome = runSet(program, sheet, true, kBias, administrator());

    for (const SheetRow& row : rows) {
        EXPECT_EQ(storedHex(row), hexOf(expectedValue(row.days, kBias))) << row.name;
    }
    std::vector<std::string> log = logHeader(sheet, 6);
    for (const char* account : {"setwb01", "setwb02", "setwb03", "setwb04", "setwb05"}) {
        log.push_back("Updated " + loggedDn(account));
    }
    log.push_back("Updated PC02\\scanner");
    log.push_back(kLogTrailer);
    EXPECT_EQ(textLines(program + "/Quillmark.log"), log);
    EXPECT_EQ(outcome.messages(),
              (std::vector<std::string>{confirmation(6, sheet), summary(6, 6, sheet, program)}));
    EXPECT_EQ(outcome.progressValue, 6);

    const auto restoreSheets = filesMatching(program + "/Quillmark-restore-*.csv");
    ASSERT_EQ(restoreSheets.size(), 1u);
    const SetOutcome restore =
        runSet(program, restoreSheets.front(), false, kBias, administrator());

    EXPECT_EQ(restore.messages().back(), summary(6, 6, restoreSheets.front(), program));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // No value before means every hour allowed after: the sheet has no word for "none".
        const std::string expected =
            originals[i] == "(none)" ? hexOf(Bytes(21, 0xFF)) : originals[i];
        EXPECT_EQ(storedHex(rows[i]), expected) << rows[i].name;
    }
}

TEST_F(SetWorkbookSandbox, AnErrorValueInADayCellEndsTheProgramWithTheRowInTheErrorBlock) {
    const std::vector<SheetRow>& rows = errorRows();
    const std::string unreadBefore = storedHex(rows[1]);
    const std::string afterBefore = storedHex(rows[2]);
    const std::string sheet = folder->file("error.xlsx");
    const std::string program = folder->folder("error");

    const SetOutcome outcome = runSet(program, sheet, true, kBias, administrator());

    EXPECT_TRUE(outcome.programEnded);
    // The second block starts at row 12; its Tuesday is in row 15.
    const std::string description =
        "Type mismatch (cell D15 holds the error value #N/A, not a text)";
    EXPECT_EQ(outcome.trapMessages,
              (std::vector<std::string>{"Error 19 in QMK18\r\nError Number: 13\r\nDescription:  " +
                                        description + "\r\nSource:       Spreadsheet"}));
    std::vector<std::string> log = logHeader(sheet, 3);
    log.insert(log.end(), {
                              "Updated " + loggedDn("setwb06"),
                              "### Error & 19 in QMK18",
                              "    Error Number: 13",
                              "    Description:  " + description,
                              "    Source:       Spreadsheet",
                              "    Domain:       DC=corp,DC=test",
                              "    Container:    OU=SetWorkbookTests",
                              "    User:         setwb07",
                              "    Common Name:  Error Row",
                          });
    EXPECT_EQ(textLines(program + "/Quillmark.log"), log);
    EXPECT_EQ(outcome.messages(), (std::vector<std::string>{confirmation(3, sheet)}));
    EXPECT_EQ(storedHex(rows[0]), hexOf(expectedValue(rows[0].days, kBias)))
        << "users saved before the error keep their new hours";
    EXPECT_EQ(storedHex(rows[1]), unreadBefore);
    EXPECT_EQ(storedHex(rows[2]), afterBefore);
    const auto restoreSheets = filesMatching(program + "/Quillmark-restore-*.csv");
    ASSERT_EQ(restoreSheets.size(), 1u);
    const auto entries = textLines(restoreSheets.front());
    ASSERT_EQ(entries.size(), 2u) << "the header and the one user changed";
    EXPECT_EQ(entries[1].rfind("\"Smith, Jim\",\"OU=SetWorkbookTests\",\"DC=corp,DC=test\",", 0),
              0u)
        << entries[1];
}

}  // namespace
}  // namespace qm

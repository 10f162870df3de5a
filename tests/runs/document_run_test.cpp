#include "document/document_run.h"

#include "runs/run_fixture.h"

namespace qm {
namespace {

using testing::ProgramEnded;
using testing::ShownDialog;

const std::string kAll = kAllHoursAllowed;
const std::string kNone = "000 000 000 000 000 000 000 000";

class FakeDocumentScreen : public DocumentScreen {
public:
    std::string countCaption() override { return caption; }
    Int16 nodeCount() override { return Int16(nodes.size()); }
    TreeNodeState node(Int16 index) override { return nodes.at(index.value() - 1); }
    ProgressBar& progressBar() override { return *progress; }
    bool workbookChosen() override { return workbook; }
    std::string fileName() override { return file; }

    std::string caption = "0";
    std::vector<TreeNodeState> nodes;
    ProgressBar* progress = nullptr;
    bool workbook = false;
    std::string file;
};

// A domain with users in an OU and directly below it, and a computer with two local accounts.
class DocumentRunTest : public testing::RunFixture {
protected:
    DocumentRunTest() {
        directory.addDomain("DC=corp,DC=test");
        directory.setRootDomain("DC=corp,DC=test");
        directory.addContainer("DC=corp,DC=test", "OU=West");
        directory.addContainer("OU=West,DC=corp,DC=test", "OU=Sales");
        auto& smith = directory.addUser("OU=Sales,OU=West,DC=corp,DC=test", "Smith\\, Jim",
                                        "jsmith", officeHours());
        smith.properties["cn"] = std::string("Smith, Jim");
        directory.addUser("OU=Sales,OU=West,DC=corp,DC=test", "Zoë", "zoe");
        directory.addOther("OU=Sales,OU=West,DC=corp,DC=test", "CN=Sales Team", "group");
        directory.addOther("OU=Sales,OU=West,DC=corp,DC=test", "CN=WS01", "computer");
        directory.addUser("DC=corp,DC=test", "Direct", "direct", hours(0));
        directory.addComputer("PC01");
        directory.addLocalUser("PC01", "kiosk", hours(0xFF));
        directory.addLocalUser("PC01", "lab1", Bytes{0x01});

        connection = directory.newConnection();
        connection->Open("Active Directory Provider", "", "");
        screen.progress = &progress;
        screen.file = path("hours.csv");
    }

    // 08:00 to 18:00 local every day, five hours west of Greenwich.
    static Bytes officeHours() {
        Bytes value;
        for (int day = 0; day < 7; ++day) {
            value.insert(value.end(), {0, 224, 127});
        }
        return value;
    }

    void check(const std::string& tag, const std::string& text, const std::string& key) {
        screen.nodes.push_back({true, tag, text, key});
    }
    void uncheck(const std::string& tag, const std::string& text, const std::string& key) {
        screen.nodes.push_back({false, tag, text, key});
    }

    void run() {
        DocumentServices services{directory, connection.get(), spreadsheets, dialogs,
                                  trap,      logonHours,       system};
        cmdOK_Click(screen, services);
    }

    static std::string line(const std::vector<std::string>& fields) {
        std::string text;
        for (const auto& field : fields) {
            text += (text.empty() ? "\"" : ",\"") + field + "\"";
        }
        return text + "\r\n";
    }
    static std::vector<std::string> entry(const std::string& name, const std::string& container,
                                          const std::string& domain, const std::string& day) {
        return {name, container, domain, day, day, day, day, day, day, day};
    }

    std::unique_ptr<Connection> connection;
    FakeDocumentScreen screen;
};

TEST_F(DocumentRunTest, WritesTheCheckedNodesInTreeOrderToACsvFile) {
    logonHours.setBiasHours(5);
    check("Domain", "DC=corp", "LDAP://DC=corp,DC=test");
    uncheck("Domain Container", "OU=West", "LDAP://OU=West,DC=corp,DC=test");
    check("Domain Container", "OU=Sales", "LDAP://OU=Sales,OU=West,DC=corp,DC=test");
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "5";

    run();

    // The system's 8-bit code page: ë is one byte.
    const std::string header = line({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday",
                                     "Wednesday", "Thursday", "Friday", "Saturday"});
    // lab1's single byte allows Sunday 00:00 UTC, Saturday 19:00 local; the rest is denied.
    std::vector<std::string> lab1 = entry("lab1", "PC01", "PC01", kNone);
    lab1[9] = "000 000 000 000 000 000 010 000";
    EXPECT_EQ(readFile(screen.file),
              header + line(entry("Direct", "", "DC=corp,DC=test", kNone)) +
                  line(entry("Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test",
                             "000 000 001 111 111 111 000 000")) +
                  line(entry("Zo\xEB", "OU=Sales,OU=West", "DC=corp,DC=test", kAll)) +
                  line(entry("kiosk", "PC01", "PC01", kAll)) + line(lab1));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"File " + screen.file + " created"});
    EXPECT_EQ(dialogs.shown[0].style, MessageStyle::Information);
    EXPECT_EQ(progress.maximum, 5);
    EXPECT_EQ(progress.highest, 5);
    EXPECT_EQ(progress.value, 0);
    EXPECT_TRUE(trap.messages.empty());
}

TEST_F(DocumentRunTest, WritesOneWorkbookBlockPerUserAndFormatsTheColumnsOnce) {
    check("Domain Container", "OU=Sales", "LDAP://OU=Sales,OU=West,DC=corp,DC=test");
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "4";
    screen.workbook = true;
    screen.file = path("hours.xlsx");

    run();

    ASSERT_EQ(workbooks.saved.count(screen.file), 1u);
    auto& cells = workbooks.saved[screen.file];
    auto cell = [&](int row, int column) {
        auto it = cells.find({row, column});
        return it == cells.end() ? std::string("<empty>") : it->second;
    };
    EXPECT_EQ(cell(1, 1), "Quillmark Version 2.0");
    EXPECT_EQ(cell(2, 1), "<empty>");
    const std::vector<std::vector<std::string>> firstBlock = {
        {"Common Name", "Smith, Jim", "Logon Hours", "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M"},
        {"Pre-Windows 2000 Logon Name", "jsmith", "Sunday", "000 000 000 000 011 111 111 110"},
        {"Organizational Unit or Container", "OU=Sales,OU=West", "Monday",
         "000 000 000 000 011 111 111 110"},
        {"Domain", "DC=corp,DC=test", "Tuesday", "000 000 000 000 011 111 111 110"},
        {"<empty>", "<empty>", "Wednesday", "000 000 000 000 011 111 111 110"},
        {"<empty>", "<empty>", "Thursday", "000 000 000 000 011 111 111 110"},
        {"<empty>", "<empty>", "Friday", "000 000 000 000 011 111 111 110"},
        {"<empty>", "<empty>", "Saturday", "000 000 000 000 011 111 111 110"},
    };
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(cell(3 + row, column + 1), firstBlock[row][column])
                << "row " << 3 + row << " column " << column + 1;
        }
    }
    EXPECT_EQ(cell(11, 1), "<empty>");
    EXPECT_EQ(cell(12, 2), "Zoë");
    EXPECT_EQ(cell(13, 4), kAll);
    EXPECT_EQ(cell(21, 2), "kiosk");
    EXPECT_EQ(cell(22, 2), "kiosk");
    EXPECT_EQ(cell(23, 2), "PC01");
    EXPECT_EQ(cell(24, 2), "PC01");
    EXPECT_EQ(cell(30, 2), "lab1");
    EXPECT_EQ(cell(37, 3), "Saturday");
    EXPECT_EQ(cell(38, 1), "<empty>");

    EXPECT_EQ(workbooks.calls,
              (std::vector<std::string>{"Add", "Name=Logon Hours", "Font A:D=Courier New",
                                        "Size A:D=8", "Width 1=33", "Width 2=20", "Width 3=12",
                                        "Width 4=32", "SaveAs " + screen.file, "Close", "Quit"}));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"File " + screen.file + " created"});
}

TEST_F(DocumentRunTest, NothingToDocumentTouchesNeitherFileNorDirectory) {
    check("Domain Container", "OU=West", "LDAP://OU=West,DC=corp,DC=test");
    screen.caption = "0";
    directory.calls.clear();

    run();

    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"No users to document."});
    EXPECT_EQ(dialogs.shown[0].style, MessageStyle::Information);
    EXPECT_FALSE(std::filesystem::exists(screen.file));
    EXPECT_TRUE(directory.calls.empty());
}

TEST_F(DocumentRunTest, AnOutputThatCannotStartEndsTheRunBeforeTheDirectory) {
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "2";
    directory.calls.clear();

    for (const std::string& unusable : {std::string(), path(""), path("missing/x.csv")}) {
        screen.file = unusable;
        run();
    }
    EXPECT_EQ(dialogs.messages(),
              (std::vector<std::string>{
                  "CSV file  cannot be opened.", "CSV file " + path("") + " cannot be opened.",
                  "CSV file " + path("missing/x.csv") + " cannot be opened."}));

    screen.workbook = true;
    workbooks.failCreate = true;
    run();
    EXPECT_EQ(dialogs.messages().back(),
              "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
              "document logon hours in a spreadsheet.");
    EXPECT_EQ(dialogs.shown.back().style, MessageStyle::Critical);
    EXPECT_TRUE(directory.calls.empty());
    EXPECT_TRUE(trap.messages.empty());
}

TEST_F(DocumentRunTest, AFailedSaveIsReportedInsteadOfTheCreatedMessage) {
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "2";
    screen.workbook = true;
    screen.file = path("locked.xlsx");
    workbooks.failSave = true;

    run();

    EXPECT_EQ(dialogs.messages(),
              std::vector<std::string>{"Unable to save spreadsheet " + screen.file});
    EXPECT_EQ(workbooks.calls.back(), "Quit");
    EXPECT_EQ(workbooks.calls[workbooks.calls.size() - 2], "Close");
    EXPECT_EQ(progress.value, 0);
}

TEST_F(DocumentRunTest, AFailureMidRunKeepsTheCsvLinesWrittenSoFarAndEndsTheProgram) {
    directory.addUser("OU=Sales,OU=West,DC=corp,DC=test", "Broken").properties["samaccountname"] =
        Variant::null();
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    check("Domain Container", "OU=Sales", "LDAP://OU=Sales,OU=West,DC=corp,DC=test");
    screen.caption = "5";

    EXPECT_THROW(run(), ProgramEnded);

    ASSERT_EQ(trap.messages.size(), 1u);
    EXPECT_EQ(trap.messages[0],
              "Error 29 in QMK3\r\nError Number: 94\r\nDescription:  Invalid use of Null\r\n"
              "Source:       Quillmark");
    const std::string written = readFile(screen.file);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5);  // header and four users
    EXPECT_NE(written.find("\"Zo\xEB\""), std::string::npos);        // Windows-1252
    EXPECT_EQ(trap.events.back(), "end");
    EXPECT_EQ(trap.events[trap.events.size() - 2], "close connection");
}

TEST_F(DocumentRunTest, AFailureMidRunSavesTheWorkbookAsFarAsItGot) {
    directory.failQuery("LDAP://OU=Sales,OU=West,DC=corp,DC=test", testing::noSuchObject());
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    check("Domain Container", "OU=Sales", "LDAP://OU=Sales,OU=West,DC=corp,DC=test");
    screen.caption = "4";
    screen.workbook = true;
    screen.file = path("partial.xlsx");

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0].substr(0, 17), "Error 27 in QMK3\r");
    ASSERT_EQ(workbooks.saved.count(screen.file), 1u);
    auto& cells = workbooks.saved[screen.file];
    EXPECT_EQ((cells[{1, 1}]), "Quillmark Version 2.0");
    EXPECT_EQ((cells[{12, 2}]), "lab1");
    EXPECT_EQ(cells.count({21, 1}), 0u);
    EXPECT_EQ(workbooks.calls.back(), "Quit");
}

TEST_F(DocumentRunTest, AValueTooLongEndsTheProgramInTheDecoderWithoutSavingTheWorkbook) {
    directory.addLocalUser("PC01", "odd", Bytes(22, 0xFF));
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "3";
    screen.workbook = true;

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0].substr(0, 16), "Error 1 in QMK2\r");
    EXPECT_TRUE(workbooks.saved.empty());
    EXPECT_EQ(std::count(workbooks.calls.begin(), workbooks.calls.end(), "Quit"), 0);
}

TEST_F(DocumentRunTest, CountsBeyondSixteenBitsOverflowAtTheFirstStep) {
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    screen.caption = "32,768";

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0],
              "Error 1 in QMK3\r\nError Number: 6\r\nDescription:  Overflow\r\nSource:       "
              "Quillmark");
    EXPECT_FALSE(std::filesystem::exists(screen.file));
}

TEST_F(DocumentRunTest, ADirectoryNodeWithoutADomainConnectionFailsAtItsQuery) {
    connection.reset();
    check("Local Computer", "PC01", "WinNT://WORKGROUP/PC01");
    check("Domain", "DC=other", "LDAP://DC=other,DC=test");
    screen.caption = "2";

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0].substr(0, 17), "Error 26 in QMK3\r");
    EXPECT_NE(readFile(screen.file).find("\"kiosk\""), std::string::npos);
}

}  // namespace
}  // namespace qm

#include "document/document_run.h"

#include "runs/run_fixture.h"

namespace qm {
namespace {

using namespace qm::testing;

const std::string kAll = kAllHoursAllowed;
const std::string kSales = "OU=Sales,OU=West,DC=corp,DC=test";

// A domain with users in an OU and directly below it, and a computer with two local accounts;
// the fixture is the selection screen the run reads.
class DocumentRunTest : public testing::RunFixture, public DocumentScreen {
protected:
    DocumentRunTest() {
        directory.addDomain("DC=corp,DC=test");
        directory.addContainer("DC=corp,DC=test", "OU=West");
        directory.addContainer("OU=West,DC=corp,DC=test", "OU=Sales");
        directory.addUser(kSales, "Smith\\, Jim", "jsmith").user.commonName = "Smith, Jim";
        directory.addUser(kSales, "Zoë", "zoe");
        directory.addUser("DC=corp,DC=test", "Direct", "direct", hours(0));
        directory.addComputer("PC01");
        directory.addLocalUser("PC01", "kiosk", hours(0xFF));
        directory.addLocalUser("PC01", "lab1", Bytes{0x01});
    }

    std::string countCaption() override { return caption; }
    Int16 nodeCount() override { return Int16(nodes.size()); }
    TreeNodeState node(Int16 index) override { return nodes.at(index.value() - 1); }
    ProgressBar& progressBar() override { return progress; }
    bool workbookChosen() override { return workbook; }
    std::string fileName() override { return file; }

    void check(const std::string& tag, const std::string& key, bool checked = true) {
        nodes.push_back({checked, tag, key.substr(key.rfind('/') + 1), key});
    }
    void checkPC01() { check("Local Computer", "PC01"); }
    void checkSales() { check("Domain Container", kSales); }

    void run() { runDocument(*this, services); }

    std::unique_ptr<QueryConnection> connection = directory.openQueryConnection();
    DocumentServices services{directory, connection.get(), spreadsheets, dialogs,
                              trap,      logonHours,       system};
    std::string caption = "0";
    std::vector<TreeNodeState> nodes;
    bool workbook = false;
    std::string file = path("hours.csv");
};

TEST_F(DocumentRunTest, WritesTheCheckedNodesInTreeOrderToACsvFile) {
    logonHours.setBiasHours(5);
    check("Domain", "DC=corp,DC=test");
    check("Domain Container", "OU=West,DC=corp,DC=test", false);
    checkSales();
    checkPC01();
    caption = "5";
    writeBytes(file, "previous\r\n");
    std::string halfWay;  // what a run killed now would leave
    progress.onValue = [&](int value) { halfWay = value == 1 ? readBytes(file) : halfWay; };

    run();

    // The bytes of such a file are compared with the real domain's end to end.
    EXPECT_EQ(halfWay, "previous\r\n");
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"File " + file + " created"});

    // A name the code page cannot hold turns the whole file into UTF-8, and nothing else is left.
    directory.addUser(kSales, "Жанна", "zhanna");
    caption = "6";
    run();
    const std::string utf8 = readBytes(file);
    EXPECT_TRUE(utf8.starts_with("\xEF\xBB\xBF" + kCsvHeader));
    EXPECT_NE(utf8.find(entry("Zoë", "OU=Sales,OU=West", "DC=corp,DC=test", kAll) +
                        entry("Жанна", "OU=Sales,OU=West", "DC=corp,DC=test", kAll)),
              std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path("")), {}), 1);
}

TEST_F(DocumentRunTest, NothingToDocumentOrAnUnusableOutputEndsTheRunBeforeTheDirectory) {
    check("Domain Container", "OU=West,DC=corp,DC=test");
    run();
    checkPC01();
    caption = "2";
    for (const std::string& unusable : {std::string(), path("missing/x.csv")}) {
        file = unusable;
        run();
    }
    workbook = true;
    spreadsheets.failCreate = true;
    run();

    EXPECT_EQ(dialogs.messages(),
              (std::vector<std::string>{
                  "No users to document.", "CSV file  cannot be opened.",
                  "CSV file " + path("missing/x.csv") + " cannot be opened.",
                  "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
                  "document logon hours in a spreadsheet."}));
    EXPECT_TRUE(directory.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(path("hours.csv")));
    EXPECT_TRUE(trap.messages.empty());
}

TEST_F(DocumentRunTest, AFailureMidRunKeepsTheCsvLinesWrittenSoFarAndEndsTheProgram) {
    directory.addUser(kSales, "Broken").user.logonName.reset();
    checkPC01();
    checkSales();
    caption = "5";

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages, std::vector<std::string>{"Error 29 in QMK3\r\nError Number: 94\r\n"
                                                      "Description:  Invalid use of Null\r\n"
                                                      "Source:       Quillmark"});
    EXPECT_TRUE(
        readBytes(file).ends_with(entry("Zo\xEB", "OU=Sales,OU=West", "DC=corp,DC=test", kAll)));
}

TEST_F(DocumentRunTest, AWorkbookIsSavedAsFarAsTheRunGotAndAFailedSaveIsReported) {
    checkPC01();
    checkSales();
    caption = "4";
    workbook = true;
    file = path("partial.xlsx");
    spreadsheets.failSave = true;
    run();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Unable to save spreadsheet " + file});
    EXPECT_TRUE(spreadsheets.saved.empty());

    spreadsheets.failSave = false;
    directory.fail("users", kSales, noSuchObject());
    EXPECT_THROW(run(), ProgramEnded);
    EXPECT_EQ(trap.messages[0].substr(0, 17), "Error 27 in QMK3\r");
    EXPECT_EQ(spreadsheets.saved[file], (std::vector<std::string>{"kiosk", "lab1"}));
    EXPECT_EQ(spreadsheets.calls.back(), "Quit");
}

TEST_F(DocumentRunTest, TheDecoderAndTheCountEndTheProgramThroughTheirOwnTraps) {
    directory.addLocalUser("PC01", "odd", Bytes(22, 0xFF));
    checkPC01();
    caption = "3";
    workbook = true;
    EXPECT_THROW(run(), ProgramEnded);
    EXPECT_EQ(trap.messages[0].substr(0, 16), "Error 1 in QMK2\r");
    EXPECT_TRUE(spreadsheets.saved.empty());

    caption = "32,768";
    EXPECT_THROW(run(), ProgramEnded);
    EXPECT_EQ(trap.messages[1],
              "Error 1 in QMK3\r\nError Number: 6\r\nDescription:  Overflow\r\n"
              "Source:       Quillmark");
}

}  // namespace
}  // namespace qm

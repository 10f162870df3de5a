#include "setting/set_run.h"

#include <sys/stat.h>

#include "runs/run_fixture.h"

namespace qm {
namespace {

using namespace qm::testing;

const std::string kAll = kAllHoursAllowed;
const std::string kOffice = "000 000 001 111 111 111 000 000";  // 08:00 to 18:00
const std::string kSmith = "CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test";
const std::string kDirect = "CN=Direct,DC=corp,DC=test";
const std::string kKiosk = "PC01/kiosk";

// The fixture is the selection screen the run shows.
class SetRunTest : public testing::RunFixture, public SetScreen {
protected:
    SetRunTest() {
        directory.addDomain("DC=corp,DC=test");
        directory.addContainer("DC=corp,DC=test", "OU=West");
        directory.addContainer("OU=West,DC=corp,DC=test", "OU=Sales");
        directory.addContainer("DC=corp,DC=test", "CN=Users");
        directory.addUser("OU=Sales,OU=West,DC=corp,DC=test", "Smith\\, Jim", "jsmith", hours(0x0F))
            .user.commonName = "Smith, Jim";
        directory.addUser("CN=Users,DC=corp,DC=test", "Ann\\=Lee", "alee").user.commonName =
            "Ann=Lee";
        directory.addUser("DC=corp,DC=test", "Direct", "direct", hours(0x22));
        directory.addComputer("PC01");
        directory.addLocalUser("PC01", "kiosk", hours(0xAA));
    }

    bool workbookChosen() override { return workbook; }
    std::string fileName() override { return file; }
    ProgressBar& progressBar() override { return progress; }
    void showSelectionScreen() override {}

    void run() { SetLogonHoursFromFile(*this, services); }

    Bytes hoursOf(const std::string& account) {
        return directory.find(account)->user.logonHours.value();
    }

    std::string log() { return readBytes(path("Quillmark.log")); }

    static std::string logHeader(const std::string& file, const std::string& count) {
        return std::string(50, '-') + "\r\nQuillmark Version 2.0\r\nInput file: " + file +
               "\r\nUpdate Logon Hours for " + count +
               " users\r\nStarted at: 6/15/2026 10:30:00 AM (hours in UTC+00:00 standard time)\r\n";
    }

    const std::string kioskSheet = kCsvHeader + entry("kiosk", "PC01", "PC01", kAll);
    bool workbook = false;
    std::string file = path("input.csv");
    SetServices services{directory, spreadsheets, dialogs, trap, logonHours, system};
};

TEST_F(SetRunTest, ReadsUserBlocksOfAWorkbookUntilEightEmptyRows) {
    auto& cells = spreadsheets.workbooks[path("input.xlsx")];
    auto block = [&](int r, const std::vector<std::string>& labels, const std::string& day) {
        cells[{r, 1}] = r == 3 ? "  COMMON name " : "Common Name";
        for (int k = 0; k < 4; ++k) {
            cells[{r + k, 2}] = labels[k];
        }
        for (int d = 1; d <= 7; ++d) {
            cells[{r + d, 4}] = day;
        }
    };
    cells[{1, 1}] = "Quillmark Version 2.0";
    cells[{1, 4}] = "Hours in UTC+00:00 (standard time)";
    block(3, {"Smith, Jim", "jsmith", "OU=Sales,OU=West", "DC=corp,DC=test"}, kOffice);
    block(12, {"kiosk", "kiosk", "PC01", "PC01"}, kAll);
    block(27, {"Ann=Lee", "alee", "CN=Users", "DC=corp,DC=test"}, kAll);  // after 7 empty rows
    block(43, {"Direct", "direct", "", "DC=corp,DC=test"}, kAll);         // after 8: not read
    workbook = true;
    file = path("input.xlsx");
    dialogs.messageAnswers = {Answer::Yes};

    run();

    EXPECT_EQ(log(), logHeader(file, "3") +
                         "Updated CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test\r\n"
                         "Updated PC01\\kiosk\r\n"
                         "Updated CN=Ann\\=Lee,CN=Users,DC=corp,DC=test\r\n"
                         "Finished at: 6/15/2026 10:30:00 AM\r\n");
    EXPECT_EQ(spreadsheets.calls, (std::vector<std::string>{"Open " + file, "Close", "Quit"}));
}

// Before Yes: the accounts a domain depends on, each change day by day, the counts of the rest.
TEST_F(SetRunTest, TheConfirmationPreviewsEveryChange) {
    directory.addUser("CN=Users,DC=corp,DC=test", "krbtgt", "krbtgt", hours(0xFF)).relativeId = 502;
    writeBytes(file, kCsvHeader + entry("krbtgt", "CN=Users", "DC=corp,DC=test", kAll) +
                         entry("Ann=Lee", "CN=Users", "DC=corp,DC=test", kAll) +
                         entry("Ghost", "CN=Users", "DC=corp,DC=test", kAll) +
                         entry("kiosk", "PC01", "PC01", "1") + "a,b,c\r\n");
    run();
    std::string days;
    for (const char* day : {"Sunday   ", "Monday   ", "Tuesday  ", "Wednesday", "Thursday ",
                            "Friday   ", "Saturday "}) {
        days += "    " + std::string(day) + " none -> 111 111 111 111 111 111 111 111\r\n";
    }
    EXPECT_EQ(dialogs.shown[0].details,
              "Accounts a domain depends on:\r\n    CN=krbtgt,CN=Users,DC=corp,DC=test (krbtgt, "
              "the key distribution service account): stays as it is\r\n\r\n"
              "1 users will change:\r\nCN=Ann\\=Lee,CN=Users,DC=corp,DC=test\r\n" +
                  days +
                  "\r\n1 users already hold the sheet's value.\r\n"
                  "3 rows will fail: 1 not found, 1 with invalid day strings, 1 invalid lines.\r\n"
                  "1 users have no value today.\r\n"
                  "The day strings are read in UTC+00:00 (standard time), this computer's: a "
                  "comma-delimited sheet does not record its time zone.");
    EXPECT_TRUE(restoreSheets(folder_.path()).empty());  // No: nothing to undo
    EXPECT_EQ(hoursOf("CN=krbtgt,CN=Users,DC=corp,DC=test"), hours(0xFF));
}

// Nothing to set, a declined confirmation, an input or a log that cannot be opened.
TEST_F(SetRunTest, ARunThatCannotGoAheadChangesNobodyAndLogsNothing) {
    for (const std::string& content :
         {std::string(), kCsvHeader, csvRecord({"a", "b"}) + "\r\n\r\n"}) {
        writeBytes(file, content);
        run();
        EXPECT_EQ(dialogs.messages().back(), "No user logon hours information found");
    }
    writeBytes(file, kioskSheet);
    dialogs.messageAnswers = {Answer::No};
    run();
    EXPECT_EQ(dialogs.messages().back(), "Update 1 user logon hours per file:\r\n" + file);
    // A folder where no restore sheet can be made is said before the confirmation: No stops
    // there, Yes goes on to the confirmation and, here, to a log that cannot be opened either.
    system.applicationPath = path("no/such/folder");
    const std::string restoreQuestion =
        "The restore sheet " + path("no/such/folder") + "/Quillmark-restore-";
    run();
    EXPECT_TRUE(dialogs.messages().back().starts_with(restoreQuestion));
    EXPECT_TRUE(dialogs.messages().back().ends_with("\r\nSet the users all the same?"));
    dialogs.messageAnswers = {Answer::Yes, Answer::Yes};
    run();
    const auto shown = dialogs.messages();
    EXPECT_TRUE(shown[shown.size() - 3].starts_with(restoreQuestion));
    EXPECT_EQ(shown[shown.size() - 2], "Update 1 user logon hours per file:\r\n" + file);
    EXPECT_EQ(shown.back(), "Unable to open log file " + path("no/such/folder") + "/Quillmark.log");

    mkfifo(path("pipe.csv").c_str(), 0600);  // a pipe would never end
    for (const char* name : {"missing.csv", "pipe.csv"}) {
        file = path(name);
        run();
        EXPECT_EQ(dialogs.messages().back(), "Cannot open CSV file " + file + ".");
    }
    workbook = true;
    run();
    EXPECT_EQ(dialogs.messages().back(), "Cannot open spreadsheet " + file + ".");
    spreadsheets.failCreate = true;
    run();
    EXPECT_EQ(dialogs.messages().back(),
              "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
              "read an Excel spreadsheet.");

    EXPECT_FALSE(std::filesystem::exists(path("Quillmark.log")));
    EXPECT_TRUE(restoreSheets(folder_.path()).empty());
    EXPECT_EQ(hoursOf(kKiosk), hours(0xAA));
}

// A first line of three fields is taken for a header when counting, as a row when setting. A user
// directly in the domain object has no container. (Two runs' sections follow each other in the
// sandbox's log.)
TEST_F(SetRunTest, AThreeFieldHeaderIsCountedAsAHeaderAndSetAsARow) {
    writeBytes(file, csvRecord({"Name", "Container", "Domain"}) +
                         entry("kiosk", "PC01", "PC01", kAll) +
                         entry("Direct", "", "DC=corp,DC=test", kAll));
    dialogs.messageAnswers = {Answer::Yes};
    run();
    EXPECT_EQ(dialogs.messages()[0], "Update 2 user logon hours per file:\r\n" + file);
    EXPECT_NE(dialogs.messages()[1].find("out of 3 in file"), std::string::npos);
    EXPECT_EQ(hoursOf(kDirect), hours(0xFF));
    EXPECT_NE(log().find("### Invalid line for user: Name, container: Container, domain: "
                         "Domain\r\nUpdated PC01\\kiosk\r\nUpdated CN=Direct,DC=corp,DC=test\r\n"),
              std::string::npos);
}

// The error block holds the row being set when the error came inside one, and only the error
// when it came between rows. The header groups the digits of the count.
TEST_F(SetRunTest, AnErrorEndsTheProgramWithAnErrorBlockInTheLog) {
    std::string sheet = kCsvHeader;
    for (int user = 0; user < 1000; ++user) {
        sheet += entry("kiosk", "PC01", "PC01", kAll);
    }
    writeBytes(file, sheet);
    progress.onValue = [](int) { throw RunTimeError(6, "Overflow", "Quillmark"); };
    dialogs.messageAnswers = {Answer::Yes};
    EXPECT_THROW(run(), ProgramEnded);
    std::string text = log();
    EXPECT_TRUE(text.starts_with(logHeader(file, "1,000") +
                                 "Updated PC01\\kiosk\r\n### Error & 45 in QMK18\r\n"
                                 "    Error Number: 6\r\n    Description:"));
    EXPECT_EQ(text.find("    Domain:"), std::string::npos);
    EXPECT_EQ(text.find("Finished at:"), std::string::npos);
}

// An account that cannot be read is not bound, one whose save fails is logged with the error,
// and the run goes on.
TEST_F(SetRunTest, AnAccountThatFailsIsLoggedAndTheRunGoesOn) {
    writeBytes(file, kioskSheet + entry("Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test", kAll));
    const RunTimeError error(-2147463155, "Not in the cache.", "LDAP provider");
    directory.fail("logonHours", kSmith, error);
    directory.fail("setLogonHours", kKiosk, error);
    dialogs.messageAnswers = {Answer::Yes};
    run();
    EXPECT_NE(dialogs.shown[0].details.find("Could not be read:\r\n    OU=Sales,OU=West,DC=corp,"
                                            "DC=test\\Smith, Jim: Not in the cache.\r\n"),
              std::string::npos);
    const std::string text = log();
    EXPECT_EQ(text.substr(text.find("### Unable")),
              "### Unable to update user PC01\\kiosk\r\n"
              "###     Error Number: -2147463155, Description: Not in the cache.\r\n"
              "### Unable to bind to user " +
                  kSmith + "\r\nFinished at: 6/15/2026 10:30:00 AM\r\n");
}

}  // namespace
}  // namespace qm

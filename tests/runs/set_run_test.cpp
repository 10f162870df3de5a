#include "setting/set_run.h"

#include <glob.h>

#include "platform/text_file.h"
#include "runs/run_fixture.h"

namespace qm {
namespace {

using testing::ProgramEnded;

const std::string kAll = kAllHoursAllowed;
const std::string kOffice = "000 000 001 111 111 111 000 000";  // 08:00 to 18:00

class FakeSetScreen : public SetScreen {
public:
    bool workbookChosen() override { return workbook; }
    std::string fileName() override { return file; }
    ProgressBar& progressBar() override { return *progress; }
    void showSelectionScreen() override { ++shown; }

    bool workbook = false;
    std::string file;
    ProgressBar* progress = nullptr;
    int shown = 0;
};

std::string csvLine(const std::vector<std::string>& fields) {
    std::string text;
    for (const auto& field : fields) {
        text += (text.empty() ? "\"" : ",\"") + field + "\"";
    }
    return text + "\r\n";
}

std::vector<std::string> userLine(const std::string& name, const std::string& container,
                                  const std::string& domain, const std::string& day) {
    return {name, container, domain, day, day, day, day, day, day, day};
}

const std::string kHeader = csvLine({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday",
                                     "Wednesday", "Thursday", "Friday", "Saturday"});

Bytes officeBytes() {
    Bytes value;
    for (int day = 0; day < 7; ++day) {
        value.insert(value.end(), {0x00, 0xFF, 0x03});
    }
    return value;
}

class SetRunTest : public testing::RunFixture {
protected:
    SetRunTest() {
        directory.addDomain("DC=corp,DC=test");
        directory.addContainer("DC=corp,DC=test", "OU=West");
        directory.addContainer("OU=West,DC=corp,DC=test", "OU=Sales");
        directory.addContainer("DC=corp,DC=test", "CN=Users", "container");
        directory.addUser("OU=Sales,OU=West,DC=corp,DC=test", "Smith\\, Jim", "jsmith",
                          hours(0x0F));
        directory.addUser("CN=Users,DC=corp,DC=test", "Ann\\=Lee", "alee");
        directory.addUser("CN=Users,DC=corp,DC=test", "Locked", "locked", hours(0x11));
        directory.addUser("DC=corp,DC=test", "Direct", "direct", hours(0x22));
        directory.failSetInfo("LDAP://CN=Locked,CN=Users,DC=corp,DC=test",
                              RunTimeError(-2147024891, "Access is denied.", "LDAP provider"));
        directory.addComputer("PC01");
        directory.addLocalUser("PC01", "kiosk", hours(0xAA));
        screen.progress = &progress;
        screen.file = path("input.csv");
    }

    void writeInput(const std::string& content) {
        std::ofstream(screen.file, std::ios::binary) << content;
    }

    void run() {
        SetServices services{directory, spreadsheets, dialogs, trap, logonHours, system};
        SetLogonHoursFromFile(screen, services);
    }

    Variant valueOf(const std::string& path, const std::string& property) {
        return directory.find(path)->properties[property];
    }

    std::string log() { return readFile(path("Quillmark.log")); }

    std::vector<std::string> restoreSheets() {
        glob_t found{};
        std::vector<std::string> files;
        if (glob(path("Quillmark-restore-*.csv").c_str(), 0, nullptr, &found) == 0) {
            files.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
        }
        globfree(&found);
        return files;
    }

    static std::string header(const std::string& file, const std::string& count) {
        return std::string(50, '-') + "\r\nQuillmark Version 2.0\r\nInput file: " + file +
               "\r\nUpdate Logon Hours for " + count +
               " users\r\nStarted at: 6/15/2026 10:30:00 AM\r\n";
    }

    FakeSetScreen screen;
};

TEST_F(SetRunTest, SetsEveryRowOfACsvSheetAndLogsEachOutcome) {
    writeInput(kHeader +
               csvLine(userLine("Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test", kOffice)) +
               csvLine(userLine("kiosk", "PC01", "PC01", kAll)) + csvLine({"x", "y", "z"}) +
               csvLine(userLine("Ann=Lee", "CN=Users", "DC=corp,DC=test", std::string(23, '1'))) +
               csvLine(userLine("Nobody", "CN=Users", "DC=corp,DC=test", kAll)) +
               csvLine(userLine("Locked", "CN=Users", "DC=corp,DC=test", kAll)) +
               csvLine(userLine("Direct", "", "DC=corp,DC=test", kAll)) + "x,y\r\n");
    dialogs.messageAnswers = {Answer::Yes};

    run();

    EXPECT_EQ(valueOf("LDAP://CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test", "logonhours"),
              Variant(officeBytes()));
    EXPECT_EQ(valueOf("WinNT://PC01/kiosk", "loginhours"), Variant(hours(0xFF)));
    EXPECT_EQ(valueOf("LDAP://CN=Locked,CN=Users,DC=corp,DC=test", "logonhours"),
              Variant(hours(0x11)));
    EXPECT_EQ(valueOf("LDAP://CN=Direct,DC=corp,DC=test", "logonhours"), Variant(hours(0xFF)));

    EXPECT_EQ(log(), header(screen.file, "7") +
                         "Updated CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test\r\n"
                         "Updated PC01\\kiosk\r\n"
                         "### Invalid line for user: x, container: y, domain: z\r\n"
                         "### Invalid Logon Hours for DC=corp,DC=test\\Ann=Lee\r\n"
                         "### Unable to bind to user CN=Nobody,CN=Users,DC=corp,DC=test\r\n"
                         "### Unable to update user CN=Locked,CN=Users,DC=corp,DC=test\r\n"
                         "###     Error Number: -2147024891, Description: Access is denied.\r\n"
                         "Updated CN=Direct,DC=corp,DC=test\r\n"
                         "Finished at: 6/15/2026 10:30:00 AM\r\n");
    EXPECT_EQ(dialogs.messages(),
              (std::vector<std::string>{"Update 7 user logon hours per file:\r\n" + screen.file,
                                        "Logon Hours set for 3 users\r\nout of 7 in file\r\n" +
                                            screen.file + ".\r\nSee log file " +
                                            path("Quillmark.log") + "\r\nfor details."}));
    EXPECT_EQ(dialogs.shown[0].style, MessageStyle::Question);
    EXPECT_EQ(screen.shown, 1);
    EXPECT_EQ(progress.maximum, 7);
    EXPECT_EQ(progress.highest, 7);
    EXPECT_TRUE(trap.messages.empty());
}

TEST_F(SetRunTest, TheRestoreSheetPutsEveryOverwrittenValueBack) {
    writeInput(kHeader +
               csvLine(userLine("Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test", kOffice)) +
               csvLine(userLine("kiosk", "PC01", "PC01", kOffice)) +
               csvLine(userLine("Direct", "", "DC=corp,DC=test", kOffice)));
    logonHours.setBiasHours(-3);
    dialogs.messageAnswers = {Answer::Yes, Answer::Ok, Answer::Yes};
    run();
    ASSERT_EQ(restoreSheets().size(), 1u);
    EXPECT_EQ(readFile(restoreSheets()[0]).substr(0, 3), "\xEF\xBB\xBF");

    screen.file = restoreSheets()[0];
    std::filesystem::rename(screen.file, path("restore.csv"));
    screen.file = path("restore.csv");
    run();

    EXPECT_EQ(valueOf("LDAP://CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test", "logonhours"),
              Variant(hours(0x0F)));
    EXPECT_EQ(valueOf("WinNT://PC01/kiosk", "loginhours"), Variant(hours(0xAA)));
    EXPECT_EQ(valueOf("LDAP://CN=Direct,DC=corp,DC=test", "logonhours"), Variant(hours(0x22)));
    EXPECT_NE(log().find("Updated CN=Smith\\, Jim"), log().rfind("Updated CN=Smith\\, Jim"));
}

TEST_F(SetRunTest, ReadsUserBlocksOfAWorkbookUntilEightEmptyRows) {
    auto& cells = workbooks.saved[path("input.xlsx")];
    auto block = [&](int r, const std::string& common, const std::string& name,
                     const std::string& container, const std::string& domain,
                     const std::string& day) {
        cells[{r, 1}] = r == 3 ? "  COMMON name " : "Common Name";
        cells[{r, 2}] = common;
        cells[{r + 1, 2}] = name;
        cells[{r + 2, 2}] = container;
        cells[{r + 3, 2}] = domain;
        for (int d = 1; d <= 7; ++d) {
            cells[{r + d, 4}] = day;
        }
    };
    cells[{1, 1}] = "Quillmark Version 2.0";
    block(3, "Smith, Jim", "jsmith", "OU=Sales,OU=West", "DC=corp,DC=test", kOffice);
    block(12, "kiosk", "kiosk", "PC01", "PC01", kAll);
    block(27, "Ann=Lee", "alee", "CN=Users", "DC=corp,DC=test", kAll);  // after 7 empty rows
    block(43, "Direct", "direct", "", "DC=corp,DC=test", kAll);         // after 8: not read
    screen.workbook = true;
    screen.file = path("input.xlsx");
    dialogs.messageAnswers = {Answer::Yes};

    run();

    EXPECT_EQ(dialogs.messages()[0], "Update 3 user logon hours per file:\r\n" + screen.file);
    EXPECT_EQ(log(), header(screen.file, "3") +
                         "Updated CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test\r\n"
                         "Updated PC01\\kiosk\r\n"
                         "Updated CN=Ann\\=Lee,CN=Users,DC=corp,DC=test\r\n"
                         "Finished at: 6/15/2026 10:30:00 AM\r\n");
    EXPECT_EQ(valueOf("LDAP://CN=Direct,DC=corp,DC=test", "logonhours"), Variant(hours(0x22)));
    EXPECT_EQ(workbooks.calls, (std::vector<std::string>{"Open " + screen.file, "Close", "Quit"}));
}

TEST_F(SetRunTest, NothingToSetOrADeclinedConfirmationChangesNobodyAndLogsNothing) {
    for (const std::string& content : {std::string(), kHeader, csvLine({"a", "b"}) + "\r\n\r\n"}) {
        writeInput(content);
        run();
        EXPECT_EQ(dialogs.messages().back(), "No user logon hours information found");
    }
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)));
    dialogs.messageAnswers = {Answer::No};
    run();
    EXPECT_EQ(dialogs.messages().back(), "Update 1 user logon hours per file:\r\n" + screen.file);

    screen.file = path("missing.csv");
    run();
    EXPECT_EQ(dialogs.messages().back(), "Cannot open CSV file " + screen.file + ".");

    screen.workbook = true;
    run();
    EXPECT_EQ(dialogs.messages().back(), "Cannot open spreadsheet " + screen.file + ".");
    workbooks.failCreate = true;
    run();
    EXPECT_EQ(dialogs.messages().back(),
              "Excel cannot be initialized.\r\nExcel must be installed on this computer\r\nto "
              "read an Excel spreadsheet.");

    EXPECT_FALSE(std::filesystem::exists(path("Quillmark.log")));
    EXPECT_TRUE(restoreSheets().empty());
    EXPECT_EQ(valueOf("WinNT://PC01/kiosk", "loginhours"), Variant(hours(0xAA)));
    EXPECT_TRUE(trap.messages.empty());
}

TEST_F(SetRunTest, AnUnwritableLogFolderChangesNobody) {
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)));
    system.applicationPath = path("no/such/folder");
    dialogs.messageAnswers = {Answer::Yes};

    run();

    EXPECT_EQ(dialogs.messages().back(),
              "Unable to open log file " + path("no/such/folder") + "/Quillmark.log");
    EXPECT_EQ(valueOf("WinNT://PC01/kiosk", "loginhours"), Variant(hours(0xAA)));
}

TEST_F(SetRunTest, ThreeFieldHeaderIsSkippedWhenCountingButLoggedWhenApplying) {
    writeInput(csvLine({"Name", "Container", "Domain"}) +
               csvLine(userLine("kiosk", "PC01", "PC01", kAll)));
    dialogs.messageAnswers = {Answer::Yes};

    run();

    EXPECT_EQ(dialogs.messages()[0], "Update 1 user logon hours per file:\r\n" + screen.file);
    EXPECT_NE(log().find("### Invalid line for user: Name, container: Container, domain: "
                         "Domain\r\nUpdated PC01\\kiosk\r\n"),
              std::string::npos);
    EXPECT_NE(dialogs.messages()[1].find("out of 2 in file"), std::string::npos);
    EXPECT_EQ(progress.highest, 2);  // above the maximum of 1, which the bar accepts
}

TEST_F(SetRunTest, TwoRunsAppendTwoSectionsInTheSameLog) {
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)));
    dialogs.messageAnswers = {Answer::Yes, Answer::Ok, Answer::Yes};
    run();
    run();
    const std::string text = log();
    EXPECT_EQ(text.find(std::string(50, '-')), 0u);
    EXPECT_NE(text.rfind(std::string(50, '-')), 0u);
    EXPECT_EQ(text.substr(text.size() / 2), text.substr(0, text.size() / 2));
}

TEST_F(SetRunTest, AnUnreadableLineEndsTheProgramBeforeAnythingIsLogged) {
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)) +
               std::string(TextFileReader::kMaxLineBytes + 10, 'x') + "\r\n");

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0].substr(0, 17), "Error 10 in QMK18");
    EXPECT_FALSE(std::filesystem::exists(path("Quillmark.log")));
}

TEST_F(SetRunTest, AnErrorBetweenRowsEndsTheProgramWithAnErrorBlockWithoutARow) {
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)));
    // The file grows an unreadable line while the confirmation is up.
    dialogs.onShow = [&](const testing::ShownDialog& box) {
        if (box.style == MessageStyle::Question) {
            std::ofstream(screen.file, std::ios::app | std::ios::binary)
                << std::string(TextFileReader::kMaxLineBytes + 10, 'x');
        }
    };
    dialogs.messageAnswers = {Answer::Yes};

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0].substr(0, 17), "Error 31 in QMK18");
    const std::string text = log();
    const std::string block = text.substr(text.find("Updated PC01"));
    EXPECT_EQ(block.substr(0, block.find("    Description:")),
              "Updated PC01\\kiosk\r\n### Error & 31 in QMK18\r\n    Error Number: 75\r\n");
    EXPECT_EQ(block.find("    Domain:"), std::string::npos);
    EXPECT_EQ(text.find("Finished at:"), std::string::npos);
}

TEST_F(SetRunTest, AnErrorInsideARowAddsTheRowToTheErrorBlock) {
    writeInput(kHeader + csvLine(userLine("kiosk", "PC01", "PC01", kAll)) +
               csvLine(userLine("Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test", kAll)));
    directory.failPut(
        "LDAP://CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test",
        RunTimeError(-2147463155, "The directory property cannot be found in the cache.",
                     "LDAP provider"));
    dialogs.messageAnswers = {Answer::Yes};

    EXPECT_THROW(run(), ProgramEnded);

    EXPECT_EQ(trap.messages[0],
              "Error 43 in QMK18\r\nError Number: -2147463155\r\nDescription:  The directory "
              "property cannot be found in the cache.\r\nSource:       LDAP provider");
    const std::string text = log();
    EXPECT_EQ(text.substr(text.find("Updated PC01")),
              "Updated PC01\\kiosk\r\n"
              "### Error & 43 in QMK18\r\n"
              "    Error Number: -2147463155\r\n"
              "    Description:  The directory property cannot be found in the cache.\r\n"
              "    Source:       LDAP provider\r\n"
              "    Domain:       DC=corp,DC=test\r\n"
              "    Container:    OU=Sales,OU=West\r\n"
              "    User:         Smith\\, Jim\r\n"
              "    Common Name:  \r\n");
    EXPECT_EQ(trap.events, (std::vector<std::string>{"message", "close connection", "end"}));
}

}  // namespace
}  // namespace qm

// The Set task from a CSV sheet against the sandbox's real DC and PC02: what it stores, byte for
// byte as the servers' own tools read it back; what it logs, line for line; its restore sheet;
// and Samba's enforcement of the stored hours at sign-in. Runs inside the sandbox's namespace.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "document/document_run.h"
#include "support/set_sandbox.h"

namespace qm {
namespace {

using namespace testing;

const std::string kUserPassword = "Quill-SetTest-7x";
constexpr std::int32_t kAccessDenied = -2147024891;  // 0x80070005

// Samba ends its diagnostics with a line break; the log keeps each entry on its line.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

Bytes filled(std::uint8_t fill) {
    return Bytes(21, fill);
}

Bytes weekdaysEightToSix() {
    Bytes value;
    for (int day = 0; day < 7; ++day) {
        const bool weekday = day >= 1 && day <= 5;
        value.insert(value.end(),
                     {0x00, std::uint8_t(weekday ? 0xFF : 0), std::uint8_t(weekday ? 0x03 : 0)});
    }
    return value;
}

Bytes counting(std::uint8_t first) {
    Bytes value(21);
    for (std::size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<std::uint8_t>(first + 37 * i);
    }
    return value;
}

// Names with every character the DN escape handles, and names outside ASCII (the second outside
// Windows-1252 too, which the log can only show as question marks).
std::vector<SuiteUser> suiteUsers() {
    return {
        {"Smith, Jim", "Smith\\, Jim", "settest01", weekdaysEightToSix(), ""},
        {"a=b", "a\\=b", "settest02", std::nullopt, ""},
        {"Dept/IT Admin", "Dept/IT Admin", "settest03", counting(3), ""},
        {"#1 Fan", "\\#1 Fan", "settest04", filled(0xFF), ""},
        {"A+B", "A\\+B", "settest05", std::nullopt, ""},
        {"Say \"Hi\"", "Say \\\"Hi\\\"", "settest06", counting(6), ""},
        {"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "settest07",
         counting(7), ""},
        {"\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9 "
         "\xD0\x9E\xD1\x80\xD0\xBB\xD0\xBE\xD0\xB2",
         "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9 "
         "\xD0\x9E\xD1\x80\xD0\xBB\xD0\xBE\xD0\xB2",
         "settest08", std::nullopt, ""},
        {"Back\\Slash", "Back\\\\Slash", "settest09", counting(9), ""},
        {"Lee; Jr <Ops>", "Lee\\; Jr \\<Ops\\>", "settest10", counting(10), ""},
        {"Plain One", "Plain One", "settest11", counting(11), ""},
        {"Hours Allowed", "Hours Allowed", "settest12", std::nullopt, kUserPassword},
        {"Hours Denied", "Hours Denied", "settest13", std::nullopt, kUserPassword},
    };
}

// How the log names each user: the DN with the program's escape, written out by hand; the
// Cyrillic name as Windows-1252 stores it.
const std::map<std::string, std::string> kLoggedNames = {
    {"settest01", "Smith\\, Jim"},
    {"settest02", "a\\=b"},
    {"settest03", "Dept\\/IT Admin"},
    {"settest04", "\\#1 Fan"},
    {"settest05", "A\\+B"},
    {"settest06", "Say \\\"Hi\\\""},
    {"settest07", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m"},
    {"settest08", "??????? ?????"},
    {"settest09", "Back\\\\Slash"},
    {"settest10", "Lee\\; Jr \\<Ops\\>"},
    {"settest11", "Plain One"},
};

const std::vector<std::string> kTrickyAccounts = {
    "settest01", "settest02", "settest03", "settest04", "settest05",
    "settest06", "settest07", "settest08", "settest09", "settest10"};

class SetSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new SuiteFolder;
        ticket = administratorTicket(*folder);
        suite = new SuiteDirectory("OU=SetTests", suiteUsers(), {"lab2", "frontdesk"});
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
    static std::string writeSheet(const std::string& name, const std::string& content) {
        writeFile(folder->file(name), content);
        return folder->file(name);
    }

    // What the row's user holds now, read by the servers' own tools, as hex.
    static std::string storedHex(const SheetRow& row) {
        if (row.container == kSandboxComputer) {
            return hexOf(localLogonHours(row.name));
        }
        const auto value = ldapLogonHours(dn(row.account));
        return value ? hexOf(*value) : "(none)";
    }

    inline static SuiteFolder* folder = nullptr;
    inline static SuiteDirectory* suite = nullptr;
    inline static std::string ticket;
};

TEST_F(SetSandbox, ACsvSheetSetsTrickyNamesAndLocalAccountsByteForByte) {
    constexpr int kBias = 5;
    std::vector<SheetRow> rows;
    for (const std::string& account : kTrickyAccounts) {
        rows.push_back(row(account, dayStringsFor(int(rows.size()))));
    }
    for (const std::string& account : suite->localAccounts()) {
        rows.push_back(localRow(account, dayStringsFor(int(rows.size()))));
    }
    const std::string sheet = writeSheet("tricky.csv", csvSheet(rows));
    const std::string program = folder->folder("tricky");

    const SetOutcome outcome = runSet(program, sheet, false, kBias, administrator());

    for (const SheetRow& row : rows) {
        EXPECT_EQ(storedHex(row), hexOf(expectedValue(row.days, kBias))) << row.name;
    }
    std::vector<std::string> log = logHeader(sheet, 12);
    for (const std::string& account : kTrickyAccounts) {
        log.push_back("Updated " + loggedDn(account));
    }
    log.push_back("Updated PC02\\lab2");
    log.push_back("Updated PC02\\frontdesk");
    log.push_back(kLogTrailer);
    EXPECT_EQ(textLines(program + "/Quillmark.log"), log);
    EXPECT_EQ(outcome.messages(),
              (std::vector<std::string>{confirmation(12, sheet), summary(12, 12, sheet, program)}));
    EXPECT_FALSE(outcome.programEnded);
    EXPECT_TRUE(outcome.trapMessages.empty());
    EXPECT_EQ(outcome.progressMaximum, 12);
    EXPECT_EQ(outcome.progressValue, 12);
}

TEST_F(SetSandbox, TheLogRecordsEveryOutcomeLineForLineAndEachRunAddsASection) {
    constexpr int kBias = -1;
    const std::string program = folder->folder("outcomes");
    const SheetRow smith = row("settest01", dayStringsFor(31));
    SheetRow shortMonday = row("settest05", dayStringsFor(32));
    shortMonday.days[1] = std::string(23, '1');
    const SheetRow nobody{"Nobody Here", "", suite->ou(), kCorpDn, allDays(kAllHoursAllowed)};
    const SheetRow ghost = localRow("ghost", allDays(kAllHoursAllowed));
    const SheetRow lab2 = localRow("lab2", dayStringsFor(33));
    const SheetRow zoe = row("settest07", dayStringsFor(34));
    const std::string before = storedHex(shortMonday);
    const std::string first = writeSheet(
        "outcomes.csv", kCsvHeader + csvUserLine(smith) + csvLine({"x", "y", "z"}) +
                            csvUserLine(shortMonday) + csvUserLine(nobody) + csvUserLine(ghost) +
                            "\r\n" + csvUserLine(lab2) + "x,y\r\n" + csvUserLine(zoe));

    const SetOutcome administratorRun = runSet(program, first, false, kBias, administrator());

    // A plain user of the domain may read users but not write their logon hours.
    const SheetRow plain = row("settest11", dayStringsFor(35));
    const std::string plainBefore = storedHex(plain);
    const std::string second = writeSheet("refused.csv", csvSheet({plain}));
    const SignIn operatorSignIn{"", "qoperator@" + sandboxFact("CORP_DOMAIN"), sandboxPassword()};

    const SetOutcome operatorRun = runSet(program, second, false, kBias, operatorSignIn);

    // The refusal, as the directory services report it to anyone who tries the same.
    const RunTimeError refusal = [&] {
        setenv("KRB5CCNAME", "FILE:/nonexistent/qm-no-ticket", 1);
        FakeDialogs dialogs;
        dialogs.inputAnswers = {operatorSignIn.user, operatorSignIn.password};
        Credentials credentials(dialogs);
        auto user = makeDirectoryServices(credentials)->bind("LDAP://" + dn("settest11"));
        user->Put("logonHours", Variant(expectedValue(plain.days, kBias)));
        try {
            user->SetInfo();
        } catch (const RunTimeError& error) {
            return error;
        }
        return RunTimeError(0, "saved", "");
    }();
    EXPECT_EQ(refusal.number(), kAccessDenied);
    EXPECT_NE(refusal.description().find("CN=Plain One"), std::string::npos)
        << refusal.description();

    std::vector<std::string> log = logHeader(first, 7);
    log.insert(log.end(),
               {
                   "Updated " + loggedDn("settest01"),
                   "### Invalid line for user: x, container: y, domain: z",
                   "### Invalid Logon Hours for DC=corp,DC=test\\A+B",
                   "### Unable to bind to user CN=Nobody Here,OU=SetTests,DC=corp,DC=test",
                   "### Unable to bind to user PC02\\ghost",
                   "Updated PC02\\lab2",
                   "Updated " + loggedDn("settest07"),
                   kLogTrailer,
               });
    const auto secondHeader = logHeader(second, 1);
    log.insert(log.end(), secondHeader.begin(), secondHeader.end());
    log.insert(log.end(), {
                              "### Unable to update user CN=Plain One,OU=SetTests,DC=corp,DC=test",
                              "###     Error Number: " + std::to_string(refusal.number()) +
                                  ", Description: " + oneLine(refusal.description()),
                              kLogTrailer,
                          });
    EXPECT_EQ(textLines(program + "/Quillmark.log"), log);

    EXPECT_EQ(administratorRun.messages(),
              (std::vector<std::string>{confirmation(7, first), summary(3, 7, first, program)}));
    EXPECT_EQ(operatorRun.messages(),
              (std::vector<std::string>{confirmation(1, second), summary(0, 1, second, program)}));
    const auto inputBoxes =
        std::count_if(operatorRun.boxes.begin(), operatorRun.boxes.end(),
                      [](const ShownDialog& box) { return box.kind == ShownDialog::Kind::Input; });
    EXPECT_EQ(inputBoxes, 2) << "the plain user signs in through the input boxes";
    EXPECT_EQ(storedHex(smith), hexOf(expectedValue(smith.days, kBias)));
    EXPECT_EQ(storedHex(lab2), hexOf(expectedValue(lab2.days, kBias)));
    EXPECT_EQ(storedHex(zoe), hexOf(expectedValue(zoe.days, kBias)));
    EXPECT_EQ(storedHex(shortMonday), before) << "invalid day strings change nobody";
    EXPECT_EQ(storedHex(plain), plainBefore) << "the refused save changed nothing";
    // Invalid lines and skipped rows move no progress; the last user row leaves it at 7.
    EXPECT_EQ(administratorRun.progressValue, 7);
}

TEST_F(SetSandbox, TheRestoreSheetPutsBackEveryValueTheRunOverwrote) {
    constexpr int kBias = -7;
    // Users without a value belong in it too.
    for (const char* account : {"settest02", "settest05", "settest08"}) {
        setLdapLogonHours(dn(account), std::nullopt);
    }
    std::vector<SheetRow> rows;
    for (const std::string& account : kTrickyAccounts) {
        rows.push_back(row(account, dayStringsFor(40 + int(rows.size()))));
    }
    rows.push_back(row("settest11", dayStringsFor(51)));
    for (const std::string& account : suite->localAccounts()) {
        rows.push_back(localRow(account, dayStringsFor(52 + int(rows.size()))));
    }
    std::vector<std::string> originals;
    for (const SheetRow& row : rows) {
        originals.push_back(storedHex(row));
    }
    const std::string sheet = writeSheet("change.csv", csvSheet(rows));
    const std::string program = folder->folder("restore");

    const SetOutcome change = runSet(program, sheet, false, kBias, administrator());
    ASSERT_EQ(change.messages().back(), summary(13, 13, sheet, program));
    for (const SheetRow& row : rows) {
        ASSERT_EQ(storedHex(row), hexOf(expectedValue(row.days, kBias))) << row.name;
    }
    const auto restoreSheets = filesMatching(program + "/Quillmark-restore-*.csv");
    ASSERT_EQ(restoreSheets.size(), 1u);
    const std::string restoreSheet = restoreSheets.front();
    EXPECT_EQ(readFile(restoreSheet).substr(0, 3), "\xEF\xBB\xBF");

    const SetOutcome restore = runSet(program, restoreSheet, false, kBias, administrator());

    EXPECT_EQ(restore.messages().back(), summary(13, 13, restoreSheet, program));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // A user that had no value gets one that allows every hour: the sheet cannot say "none".
        const std::string expected = originals[i] == "(none)" ? hexOf(filled(0xFF)) : originals[i];
        EXPECT_EQ(storedHex(rows[i]), expected) << rows[i].name;
    }
    EXPECT_EQ(filesMatching(program + "/Quillmark-restore-*.csv").size(), 2u)
        << "the restoring run keeps a restore sheet of its own";
}

TEST_F(SetSandbox, SambaLetsAUserSignInOnlyInTheLocalHoursTheSheetAllows) {
    // Local time two hours ahead of UTC (UTC = local + bias).
    constexpr int kBias = -2;
    const std::string allowed = "settest12@" + sandboxFact("CORP_DOMAIN");
    const std::string denied = "settest13@" + sandboxFact("CORP_DOMAIN");
    ASSERT_TRUE(simpleBind(allowed, kUserPassword).first)
        << simpleBind(allowed, kUserPassword).second;
    ASSERT_TRUE(simpleBind(denied, kUserPassword).first)
        << simpleBind(denied, kUserPassword).second;

    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const int localHour = utc.tm_wday * 24 + utc.tm_hour - kBias;
    // The next hour too, so that the test passes when an hour ends while it runs.
    const SheetRow open = row("settest12", dayStringsAllowing({localHour, localHour + 1}));
    const SheetRow closed = row("settest13", allDays(kNoHour));
    const std::string sheet = writeSheet("hours.csv", csvSheet({open, closed}));

    const SetOutcome outcome =
        runSet(folder->folder("hours"), sheet, false, kBias, administrator());

    ASSERT_EQ(outcome.messages().size(), 2u);
    EXPECT_EQ(storedHex(open), hexOf(expectedValue(open.days, kBias)));
    const auto [allowedIn, allowedSays] = simpleBind(allowed, kUserPassword);
    EXPECT_TRUE(allowedIn) << allowedSays;
    const auto [deniedIn, deniedSays] = simpleBind(denied, kUserPassword);
    EXPECT_FALSE(deniedIn);
    EXPECT_NE(deniedSays.find("data 530"), std::string::npos) << deniedSays;
}

TEST_F(SetSandbox, AnUnwritableLogFolderStopsTheRunBeforeAnyoneChanges) {
    const std::string notAFolder = writeSheet("plain-file", "not a folder");
    const std::vector<SheetRow> rows = {row("settest01", allDays(kNoHour)),
                                        localRow("lab2", allDays(kNoHour))};
    std::vector<std::string> before;
    for (const SheetRow& row : rows) {
        before.push_back(storedHex(row));
    }
    const std::string sheet = writeSheet("unlogged.csv", csvSheet(rows));

    const SetOutcome outcome = runSet(notAFolder, sheet, false, 0, administrator());

    ASSERT_EQ(outcome.boxes.size(), 2u);
    EXPECT_EQ(outcome.boxes[1].text, "Unable to open log file " + notAFolder + "/Quillmark.log");
    EXPECT_EQ(outcome.boxes[1].style, MessageStyle::Critical);
    EXPECT_FALSE(outcome.programEnded);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(storedHex(rows[i]), before[i]) << rows[i].name;
    }
}

// The Document screen with one checked node, the suite's OU.
class OneNodeScreen : public DocumentScreen, public ProgressBar {
public:
    OneNodeScreen(std::string key, std::int32_t users, std::string file)
        : key_(std::move(key)), users_(users), file_(std::move(file)) {}
    std::string countCaption() override { return std::to_string(users_); }
    Int16 nodeCount() override { return 1; }
    TreeNodeState node(Int16) override { return {true, "Domain Container", "SetTests", key_}; }
    ProgressBar& progressBar() override { return *this; }
    bool workbookChosen() override { return true; }
    std::string fileName() override { return file_; }
    void setMaximum(Int16) override {}
    void setValue(Int16) override {}

private:
    std::string key_;
    std::int32_t users_;
    std::string file_;
};

TEST_F(SetSandbox, AWorkbookTheDocumentTaskWroteSetsBackWhatItDocumented) {
    constexpr int kBias = 3;
    std::vector<std::string> before;
    for (const SuiteUser& user : suite->users()) {
        const auto value = ldapLogonHours(suite->dn(user));
        before.push_back(value ? hexOf(*value) : "(none)");
    }
    const std::string sheet = folder->file("documented.xlsx");
    {
        setenv("KRB5CCNAME", ticket.c_str(), 1);
        FakeDialogs dialogs;
        Credentials credentials(dialogs);
        auto directory = makeDirectoryServices(credentials);
        auto connection = directory->newConnection();
        connection->Open("Active Directory Provider", "", "");
        auto spreadsheets = makeSpreadsheetFactory();
        FakeTrapServices trap;
        LogonHours logonHours(trap, Int16(kBias));
        FakeSystem system;
        OneNodeScreen screen("LDAP://" + suite->ouDn(), std::int32_t(suite->users().size()), sheet);
        DocumentServices services{*directory, connection.get(), *spreadsheets, dialogs,
                                  trap,       logonHours,       system};
        cmdOK_Click(screen, services);
        ASSERT_EQ(dialogs.messages(), std::vector<std::string>{"File " + sheet + " created"});
    }
    const std::string program = folder->folder("documented");

    const SetOutcome outcome = runSet(program, sheet, true, kBias, administrator());

    const int users = int(suite->users().size());
    EXPECT_EQ(outcome.messages().back(), summary(users, users, sheet, program));
    for (std::size_t i = 0; i < before.size(); ++i) {
        const SuiteUser& user = suite->users()[i];
        // A user without a value was documented as allowed every hour, and is set so.
        EXPECT_EQ(hexOf(*ldapLogonHours(suite->dn(user))),
                  before[i] == "(none)" ? hexOf(filled(0xFF)) : before[i])
            << user.commonName;
    }
}

}  // namespace
}  // namespace qm

// The Set button on the sandbox domain, from a comma-delimited sheet and from a workbook that
// LibreOffice wrote: the values stored, as ldapsearch and pdbedit read them back; the log, line for
// line; the restore sheet; and Samba's enforcement of the stored hours at sign-in. The users are in
// an OU the suite makes and removes itself; the restore sheets put PC02's local accounts back. The
// values expected are worked out here from the day strings and the bias.

#include <QApplication>
#include <QProgressBar>
#include <ctime>

#include "support/sandbox_runs.h"

using namespace qm;
using namespace qm::testing;

namespace {

const std::string kOu = "OU=SetTests";

// The RDN is escaped by hand as the DN holds it, and as the log shows it; no hours when empty;
// logged is set when the log shows the name otherwise.
struct SuiteUser {
    std::string commonName, rdn, account, hours;
    std::string logged = {};
};

std::string counting(int first) {
    std::string value(21, '\0');
    std::ranges::generate(value, [&] { return static_cast<char>(first += 37); });
    return value;
}

// Every character the DN escape handles, and names outside ASCII: the last one is outside
// Windows-1252 too, which the log can only show as question marks.
const std::vector<SuiteUser> kUsers = {
    {"Smith, Jim", "Smith\\, Jim", "sett01", counting(1)},
    {"#1 a=b+c", "\\#1 a\\=b\\+c", "sett02", ""},
    {"Say \"Hi\"; <Ops>", "Say \\\"Hi\\\"\\; \\<Ops\\>", "sett03", counting(3)},
    {"Dept/IT Back\\Slash", "Dept\\/IT Back\\\\Slash", "sett04", counting(4)},
    {"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "sett05", ""},
    {"\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9",
     "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9", "sett06", counting(6), "???????"},
    {"Hours Allowed", "Hours Allowed", "sett07", ""},
    {"Hours Denied", "Hours Denied", "sett08", ""},
    {"Error Row", "Error Row", "sett09", counting(9)},
    {"After Error", "After Error", "sett10", counting(10)},
};

const std::string kOuDn = kOu + "," + kCorpDomain;

const SuiteUser* user(const std::string& account) {
    const auto found = std::ranges::find(kUsers, account, &SuiteUser::account);
    return found == kUsers.end() ? nullptr : &*found;
}

std::string base64(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toBase64().toStdString();
}

std::string hexOf(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toHex().toUpper().toStdString();
}

std::string userLdif(const SuiteUser& user) {
    std::string ldif = "dn:: " + base64("CN=" + user.rdn + "," + kOuDn) +
                       "\nobjectClass: user\ncn:: " + base64(user.commonName) +
                       "\nsAMAccountName: " + user.account + "\n";
    if (!user.hours.empty()) {
        ldif += "logonHours:: " + base64(user.hours) + "\n";
    }
    // A password (quoted, in UTF-16LE; the server takes it only over TLS) so that it may sign in.
    std::string utf16;
    for (char c : "\"" + sandboxPassword() + "\"") {
        utf16 += {c, '\0'};
    }
    return ldif + "unicodePwd:: " + base64(utf16) + "\nuserAccountControl: 512\n\n";
}

// What the rows' users hold now, as the servers' own tools read it, in hex; "(none)" for no value.
std::vector<std::string> storedHex(const std::vector<SheetRow>& rows) {
    std::vector<std::string> values;
    for (const SheetRow& row : rows) {
        const std::string output =
            row.container == "PC02"
                ? sandboxPdbedit("PC02", "-L -v -u " + row.name)
                : runCommand(ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no -b " +
                             shellQuoted(kOuDn) + " '(sAMAccountName=" + row.logonName +
                             ")' logonHours");
        values.push_back("(none)");
        for (const std::string& line : nonEmptyLines(output)) {
            if (line.starts_with("Logon hours")) {
                values.back() =
                    QString::fromStdString(line.substr(line.find(':') + 1)).trimmed().toStdString();
            } else if (const auto value = ldifValue(line, "logonHours")) {
                values.back() = hexOf(*value);
            }
        }
    }
    return values;
}

// The values the rows must give: local hour h of the week is UTC hour h + bias, and UTC hour u is
// bit u % 8 of byte u / 8.
std::vector<std::string> expectedHex(const std::vector<SheetRow>& rows, int bias) {
    std::vector<std::string> values;
    for (const SheetRow& row : rows) {
        std::string digits;
        for (const std::string& day : row.days) {
            digits += day;
        }
        std::erase_if(digits, [](char c) { return c != '0' && c != '1'; });
        std::string value(21, '\0');
        for (int local = 0; local < 168; ++local) {
            if (digits.at(std::size_t(local)) == '1') {
                const int utc = ((local + bias) % 168 + 168) % 168;
                value[std::size_t(utc / 8)] |= static_cast<char>(1 << (utc % 8));
            }
        }
        values.push_back(hexOf(value));
    }
    return values;
}

// Seven day strings with a pattern of their own for each seed, written with the separators a
// person might use (spaces, hyphens, dots, none).
Week daysFor(int seed) {
    Week days;
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            days[day] += (hour * 7 + day * 5 + seed * 3) % 11 < 5 ? '1' : '0';
            days[day] +=
                hour % 3 == 2 && hour < 23 ? std::string(" -.").substr((seed + day) % 4, 1) : "";
        }
    }
    return days;
}

// Day strings that allow exactly the given local hours of the week.
Week daysAllowing(const std::vector<int>& localHours) {
    Week days;
    days.fill(std::string(24, '0'));
    for (int hour : localHours) {
        hour = (hour % 168 + 168) % 168;
        days[std::size_t(hour / 24)][std::size_t(hour % 24)] = '1';
    }
    return days;
}

SheetRow directoryRow(const std::string& account, const Week& days) {
    return {user(account)->commonName, account, kOu, kCorpDomain, days};
}

SheetRow localRow(const std::string& account, const Week& days) {
    return {account, account, "PC02", "PC02", days};
}

void logUpdated(std::vector<std::string>& log, const std::vector<SheetRow>& rows) {
    for (const SheetRow& row : rows) {
        const SuiteUser* u = user(row.logonName);
        log.push_back(u == nullptr
                          ? "Updated PC02\\" + row.name
                          : "Updated CN=" + (u->logged.empty() ? u->rdn : u->logged) + "," + kOuDn);
    }
}

std::vector<std::string> logHeader(const std::string& sheet, int users, const char* offset) {
    return {
        std::string(50, '-'), "Quillmark Version 2.0", "Input file: " + sheet,
        "Update Logon Hours for " + std::to_string(users) + " users",
        "Started at: 6/15/2026 10:30:00 AM (hours in " + std::string(offset) + " standard time)"};
}

const std::string kLogTrailer = "Finished at: 6/15/2026 10:30:00 AM";

// The log is in Windows-1252, which agrees with Latin-1 on every letter used here.
std::vector<std::string> logLines(const std::string& programFolder) {
    const QString log = QString::fromLatin1(readBytes(programFolder + "/Quillmark.log"));
    return nonEmptyLines(QString(log).remove('\r').toStdString());
}

// What a bind as the user followed by a read of the root entry prints, failing or not: Samba checks
// logon hours at the bind.
std::string signIn(const std::string& account) {
    return runCommand(ldapTool("ldapsearch", account) +
                      " -LLL -b '' -s base dnsHostName 2>&1 || true");
}

// The cells as a comma-delimited file for LibreOffice to import with quoted fields as text; a cell
// "=NA()" is a formula whose value is the error #N/A.
std::string gridCsv(const CellGrid& cells) {
    std::string text;
    for (int row = 1; row <= cells.rbegin()->first.first; ++row) {
        for (int column = 1; column <= 4; ++column) {
            const std::string value = cells.contains({row, column}) ? cells.at({row, column}) : "";
            text += (column > 1 ? "," : "") +
                    (value.empty() || value == "=NA()" ? value : csvField(value));
        }
        text += "\n";
    }
    return text;
}

}  // namespace

class SetSandboxTest : public ::testing::Test {
protected:
    const ScratchFolder folder{"set-sandbox"};

    // Called while the confirmation is up.
    std::function<void()> onConfirmation;

    // One Set run through the first screen, answering the confirmation; the Administrator signs in
    // to the directory with a ticket, anyone else with a password, and to the computers with the
    // sign-ins given (else the Administrator's).
    std::unique_ptr<ProgramRun> runSet(const std::string& programFolder, const std::string& sheet,
                                       int biasHours, const std::string& user = {},
                                       Answer answer = Answer::Yes,
                                       std::deque<std::string> signIns = {}) {
        std::error_code notAFolder;
        std::filesystem::create_directories(programFolder, notAFolder);
        auto run = std::make_unique<ProgramRun>(biasHours * 60, folder.path(), user.empty(),
                                                user.empty() ? "Administrator" : user);
        run->system.applicationPath = programFolder;
        run->dialogs.messageAnswers = {answer};
        if (!signIns.empty()) {
            run->dialogs.inputAnswers = std::move(signIns);
        }
        run->dialogs.onShow = [this](const ShownDialog& box) {
            if (box.style == MessageStyle::Question && onConfirmation) {
                onConfirmation();
            }
        };
        run->next(true, sheet.ends_with(".xlsx"), sheet);
        return run;
    }

    void removeOu() {
        runCommand(ldapTool("ldapdelete") + " -r " + shellQuoted(kOuDn) + " 2>&1 || true");
    }

    void SetUp() override {
        removeOu();
        std::string ldif = "dn: " + kOuDn + "\nobjectClass: organizationalUnit\n\n";
        for (const SuiteUser& user : kUsers) {
            ldif += userLdif(user);
        }
        writeBytes(folder.file("users.ldif"), ldif);
        runCommand(ldapTool("ldapadd") + " -f " + shellQuoted(folder.file("users.ldif")) + " 2>&1");
    }

    void TearDown() override { removeOu(); }
};

// Invalid lines (their control characters logged as "?"), invalid day strings and unknown users
// are logged and skipped; a container and domain equal in another letter case name no computer. A
// user the signed-in person may not change is logged with the directory's error, in a section of
// its own; the first run's restore sheet puts everyone back. What is set is what was confirmed,
// whatever the sheet holds by then. Samba lets a user in only at the hours stored.
TEST_F(SetSandboxTest, aCsvSheetSetsUsersLogsEveryOutcomeAndItsRestoreSheetPutsThemBack) {
    constexpr int kBias = 5;
    // The local hour of the week now: the clock's first hour was a Thursday's.
    const int hour = int((std::time(nullptr) / 3600 + 4 * 24) % 168) - kBias;
    std::vector<SheetRow> rows;
    for (const char* account : {"sett01", "sett02", "sett03", "sett04", "sett05", "sett06"}) {
        rows.push_back(directoryRow(account, daysFor(int(rows.size()))));
    }
    rows.push_back(localRow("lab2", daysFor(6)));
    rows.push_back(localRow("frontdesk", daysFor(7)));
    // The next hour too, so that the test passes when an hour ends while it runs.
    rows.push_back(directoryRow("sett07", daysAllowing({hour, hour + 1})));
    rows.push_back(directoryRow("sett08", daysAllowing({})));
    SheetRow shortMonday = directoryRow("sett10", daysFor(8));
    shortMonday.days[1] = std::string(23, '1');
    const std::vector<SheetRow> head(rows.begin(), rows.begin() + 4);
    const std::vector<SheetRow> tail(rows.begin() + 4, rows.end());
    const std::string badLines = csvRecord({"x\x1B[2J", std::string("y\0", 2), "z"}) +
                                 csvLines({shortMonday,
                                           {"Nobody Here", "", kOu, kCorpDomain, daysFor(9)},
                                           localRow("ghost", daysFor(9)),
                                           {"lab2", "", "pc02", "PC02", daysFor(9)}}) +
                                 "\r\nx,y\r\n";
    const std::string sheet = folder.file("set.csv");
    writeBytes(sheet, "\"NAME" + kCsvHeader.substr(5) + csvLines(head) + badLines + csvLines(tail));
    std::vector<std::string> originals = storedHex(rows);
    const auto shortBefore = storedHex({shortMonday});
    const auto flagsOfLab2 = [] { return sandboxPdbedit("PC02", "-v -u lab2 | grep Flags"); };
    const std::string flags = flagsOfLab2();
    const std::string program = folder.file("csv");
    // The restore sheet is complete on the disk while the confirmation is still up.
    std::string restoreAtYes;
    onConfirmation = [&] {
        restoreAtYes = readBytes(restoreSheets(program).at(0));
        writeBytes(sheet, kCsvHeader);
    };

    const auto run = runSet(program, sheet, kBias);
    onConfirmation = nullptr;

    ASSERT_EQ(storedHex(rows), expectedHex(rows, kBias));
    ASSERT_EQ(storedHex({shortMonday}), shortBefore);
    EXPECT_EQ(flagsOfLab2(), flags);  // hours written through SAMR leave the account's flags
    const int counted = int(rows.size()) + 5;
    ASSERT_EQ(run->dialogs.messages(),
              (std::vector<std::string>{
                  "Update " + std::to_string(counted) + " user logon hours per file:\r\n" + sheet,
                  "Logon Hours set for " + std::to_string(rows.size()) + " users\r\nout of " +
                      std::to_string(counted) + " in file\r\n" + sheet + ".\r\nSee log file " +
                      program + "/Quillmark.log\r\nfor details."}));
    EXPECT_NE(signIn("sett07").find("dnsHostName: "), std::string::npos);
    EXPECT_NE(signIn("sett08").find("data 530"), std::string::npos);
    const std::string restore = restoreSheets(program).at(0);

    const std::string refusedSheet = folder.file("refused.csv");
    writeBytes(refusedSheet, kCsvHeader + csvLines({directoryRow("sett01", daysFor(10))}));
    runSet(program, refusedSheet, kBias, "qoperator@" + sandboxFact("CORP_DOMAIN"));

    ASSERT_EQ(storedHex({rows[0]}), expectedHex({rows[0]}, kBias));
    std::vector<std::string> log = logHeader(sheet, counted, "UTC-05:00");
    logUpdated(log, head);
    log.insert(log.end(), {"### Invalid line for user: x?[2J, container: y?, domain: z",
                           "### Invalid Logon Hours for DC=corp,DC=test\\After Error",
                           "### Unable to bind to user CN=Nobody Here," + kOuDn,
                           "### Unable to bind to user PC02\\ghost",
                           "### Unable to bind to user CN=lab2,pc02,PC02"});
    logUpdated(log, tail);
    const auto refusedHeader = logHeader(refusedSheet, 1, "UTC-05:00");
    log.push_back(kLogTrailer);
    log.insert(log.end(), refusedHeader.begin(), refusedHeader.end());
    // Access denied (0x80070005); Samba's own diagnostic ends the description.
    const std::string smith = "CN=Smith\\, Jim," + kOuDn;
    log.insert(log.end(), {"### Unable to update user " + smith,
                           "###     Error Number: -2147024891, Description: Cannot save "
                           "logonHours of " +
                               smith + " on ldap://" + sandboxFact("CORP_DC") +
                               ":389: Access is denied (LDAP: Insufficient access; ",
                           kLogTrailer});
    std::vector<std::string> actual = logLines(program);
    if (actual.size() == log.size()) {  // the line of Samba's own diagnostic ends in it
        actual[log.size() - 2].resize(log[log.size() - 2].size());
    }
    ASSERT_EQ(actual, log);

    ASSERT_EQ(readBytes(restore), restoreAtYes);
    runSet(folder.file("restore"), restore, kBias);

    // A user that had no value has none again.
    ASSERT_EQ(storedHex(rows), originals);
}

// LibreOffice's workbook has shared strings and its own part names. Documented five hours west of
// Greenwich, it is read here at that offset; set on a computer at another offset, the confirmation
// warns first. A formula's error value in a day cell ends the run before anyone is changed.
TEST_F(SetSandboxTest, aLibreOfficeWorkbookSetsEveryBlockAndWarnsOfAnotherTimeZone) {
    constexpr int kBias = 5;
    const std::vector<SheetRow> rows = {
        directoryRow("sett03", daysFor(20)), directoryRow("sett06", daysFor(21)),
        directoryRow("sett02", daysFor(22)), localRow("scanner", daysFor(23))};
    CellGrid cells = workbookCells(rows, "UTC-05:00");
    writeBytes(folder.file("book.csv"), gridCsv(cells));
    cells[{24, 4}] = "=NA()";  // the third block's Tuesday
    writeBytes(folder.file("error.csv"), gridCsv(cells));
    for (const char* name : {"book.csv", "error.csv"}) {
        convertWithLibreOffice(folder.path(), "xlsx", name, ".",
                               "Text - txt - csv (StarCalc):44,34,76,1,,1033,true");
    }
    const std::vector<std::string> originals = storedHex(rows);
    const std::string sheet = folder.file("book.xlsx");
    const std::string program = folder.file("workbook");

    const auto elsewhere = runSet(program, sheet, 0, {}, Answer::No);
    EXPECT_EQ(elsewhere->dialogs.shown.back().note,
              "This workbook was documented in UTC-05:00 (standard time), but this computer is in "
              "UTC+00:00 (standard time): its day strings would be read as UTC+00:00 hours, and "
              "every user's logon hours would move by 5 hours. To keep them as documented, answer "
              "No and set the workbook on a computer in UTC-05:00.");
    const auto error = runSet(program, folder.file("error.xlsx"), kBias);
    ASSERT_EQ(error->dialogs.messages(),
              std::vector<std::string>{
                  "Error 14 in QMK18\r\nError Number: 13\r\nDescription:  Type mismatch (cell "
                  "D24 holds the error value #N/A, not a text)\r\nSource:       Spreadsheet"});
    ASSERT_EQ(storedHex(rows), originals);
    ASSERT_FALSE(std::filesystem::exists(program + "/Quillmark.log"));

    const auto run = runSet(program, sheet, kBias);
    EXPECT_EQ(run->dialogs.shown.front().note, "");
    ASSERT_EQ(storedHex(rows), expectedHex(rows, kBias));
    std::vector<std::string> log = logHeader(sheet, 4, "UTC-05:00");
    logUpdated(log, rows);
    log.push_back(kLogTrailer);
    ASSERT_EQ(logLines(program), log);

    runSet(folder.file("workbook-restore"), restoreSheets(program).at(0), kBias);
    ASSERT_EQ(storedHex(rows), originals);
}

// The confirmation tells which users change and how, before anything is written; the prompt for a
// computer comes before it too, and a refused password is asked again.
TEST_F(SetSandboxTest, theConfirmationPreviewsTheEditsAndSignInComesFirst) {
    std::vector<SheetRow> rows;
    for (const SuiteUser& u : kUsers) {
        rows.push_back(directoryRow(u.account, daysFor(int(rows.size()))));
    }
    rows.push_back(localRow("lab2", daysFor(40)));
    rows.push_back(localRow("frontdesk", daysFor(41)));
    const std::string sheet = folder.file("twelve.csv");
    writeBytes(sheet, kCsvHeader + csvLines(rows));
    runSet(folder.file("first"), sheet, 0);
    const std::vector<std::string> originals = storedHex(rows);
    // Days whose strings are written as the preview shows them, in groups of three.
    rows[2].days[2] = std::string(24, '1');
    rows[11].days[3] = std::string(24, '0');
    writeBytes(sheet, kCsvHeader + csvLines(rows));

    const auto run =
        runSet(folder.file("second"), sheet, 0, "", Answer::Yes,
               {"Administrator", "not-the-password", "Administrator", sandboxPassword()});

    // Two sign-ins to PC02, the confirmation, the summary: no prompt after Yes.
    const auto& shown = run->dialogs.shown;
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[5].style, MessageStyle::Information);
    EXPECT_NE(shown[2].text.find("PC02 refused the user name or password (try 2 of 3)"),
              std::string::npos);
    const std::string& details = shown[4].details;
    const std::string changes = details.substr(0, details.find("\r\n\r\n"));
    EXPECT_EQ(changes, "2 users will change:\r\nCN=" + kUsers[2].rdn + "," + kOuDn +
                           "\r\n    Tuesday   " + daysFor(2)[2] +
                           " -> 111 111 111 111 111 111 111 111\r\nPC02\\frontdesk\r\n"
                           "    Wednesday " +
                           daysFor(41)[3] + " -> 000 000 000 000 000 000 000 000");
    EXPECT_NE(details.find("\r\n10 users already hold the sheet's value.\r\n0 rows will fail"),
              std::string::npos);
    ASSERT_EQ(storedHex(rows), expectedHex(rows, 0));
    EXPECT_NE(storedHex(rows), originals);
}

// The DC stops while 2,000 users are being set, saves under way: every user the log calls
// "Updated" holds the new value, every one it logs as failed holds the old one or the new one.
TEST_F(SetSandboxTest, aDcStoppedMidRunLeavesEveryUserAsTheLogSays) {
    constexpr int kUsers = 2000;
    std::string ldif;
    std::vector<SheetRow> rows;
    for (int i = 0; i < kUsers; ++i) {
        const std::string name = "bulk" + std::to_string(10000 + i);
        ldif += "dn: CN=" + name + "," + kOuDn + "\nobjectClass: user\nsAMAccountName: " + name +
                "\n\n";
        rows.push_back({name, name, kOu, kCorpDomain, daysFor(i)});
    }
    writeBytes(folder.file("bulk.ldif"), ldif);
    runCommand(ldapTool("ldapadd") + " -f " + shellQuoted(folder.file("bulk.ldif")) +
               " >/dev/null");
    const std::string sheet = folder.file("bulk.csv");
    writeBytes(sheet, kCsvHeader + csvLines(rows));
    const std::string program = folder.file("bulk");
    const SandboxRestarter restartAtEnd;
    QMetaObject::Connection hook;
    onConfirmation = [&] {
        QProgressBar* bar = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            bar = bar != nullptr ? bar : widget->findChild<QProgressBar*>("pbrUsers");
        }
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->isVisible() ? bar->maximum() : -1, kUsers);  // the run shows its progress
        hook = QObject::connect(bar, &QProgressBar::valueChanged, [](int at) {
            if (at == 500) {
                runSandbox("stop corp");
            }
        });
    };

    runSet(program, sheet, 0);
    QObject::disconnect(hook);
    runSandbox("start");

    std::map<std::string, std::string> stored;  // by common name, in hex; none: no value
    std::string name;
    for (const std::string& line : corpSearch(kOuDn, "one", "(cn=bulk*)", "cn logonHours")) {
        if (const auto cn = ldifValue(line, "cn")) {
            stored[name = *cn] = "(none)";
        } else if (const auto value = ldifValue(line, "logonHours")) {
            stored[name] = hexOf(*value);
        }
    }
    const auto expected = expectedHex(rows, 0);
    int updated = 0, failed = 0;
    for (const std::string& line : logLines(program)) {
        const bool saved = line.starts_with("Updated CN=bulk");
        if (!saved && !line.starts_with("### Unable to update user CN=bulk")) {
            continue;
        }
        const std::string cn = line.substr(line.find("CN=") + 3, 9);
        const std::string& wanted = expected.at(std::size_t(std::stoi(cn.substr(4)) - 10000));
        (saved ? updated : failed) += 1;
        EXPECT_TRUE(stored.at(cn) == wanted || (!saved && stored.at(cn) == "(none)")) << line;
    }
    EXPECT_EQ(updated + failed, kUsers);
    EXPECT_GE(updated, 400);
    EXPECT_GT(failed, 0);
}

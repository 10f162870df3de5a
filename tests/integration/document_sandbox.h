#pragma once

// The Document run end to end on the sandbox domain: the real screens, directory providers and
// spreadsheet component, with only the dialogs, the time-zone bias and the program's end scripted.
// The expected sheets are written out here from the sandbox's sample data
// (scripts/sandbox-data); only the order of the users within a node is asked of the servers
// themselves, because it changes from one provisioning to the next.

#include <QByteArray>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/screen_fixture.h"
#include "platform/cell_reader.h"
#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/workbook_application.h"
#include "shell/main_screen.h"
#include "support/sandbox_tools.h"
#include "support/workbook_files.h"

namespace qm::testing {

// --- The sample data ----------------------------------------------------------------------------

// The logon-hours values of the sample data (named as in corp.ldif); Short and Long are OU=Odd's
// 20 and 22 bytes.
enum class Hours { None, All, Wk0818, Wk1322, Weekend, Nights, Pattern, Short, Long };

struct SampleUser {
    std::string commonName;  // UTF-8
    std::string logonName;
    Hours hours = Hours::None;
};

// A node of the tree and the users directly in it, in no particular order.
struct SampleNode {
    std::string name;  // the distinguished name of a directory node, a computer's name
    std::string container;
    std::string domain;
    std::vector<SampleUser> users;
    bool isComputer() const { return name.find('=') == std::string::npos; }
};

inline const std::string kNoHour = "000 000 000 000 000 000 000 000";
inline const std::string kEveryHour = "111 111 111 111 111 111 111 111";

using Week = std::array<std::string, 7>;

inline Week everyDay(const std::string& day) {
    Week week;
    week.fill(day);
    return week;
}

inline Week mondayToFriday(const std::string& day) {
    Week week = everyDay(day);
    week[0] = week[6] = kNoHour;
    return week;
}

// The day strings of each value in local time, worked out by hand from the UTC bits: with no
// bias, and five hours west of Greenwich (UTC = local time + 5 h).
inline Week daysOf(Hours hours, int biasHours) {
    if (biasHours != 0 && biasHours != 5) {
        throw std::invalid_argument("no day strings written out for that bias");
    }
    const bool west = biasHours == 5;
    const std::string patternA =
        west ? "101 101 010 100 101 010 110 101" : "010 101 011 010 101 001 010 101";
    const std::string patternB =
        west ? "010 010 101 011 010 101 001 010" : "101 010 100 101 010 110 101 010";
    switch (hours) {
        case Hours::None:
        case Hours::All:
            return everyDay(kEveryHour);
        case Hours::Wk0818:
            return mondayToFriday(west ? "000 111 111 111 100 000 000 000"
                                       : "000 000 001 111 111 111 000 000");
        case Hours::Wk1322:
            return mondayToFriday(west ? "000 000 001 111 111 110 000 000"
                                       : "000 000 000 000 011 111 111 100");
        case Hours::Weekend:
            if (west) {
                return {"111 111 111 111 111 111 100 000", kNoHour,   kNoHour, kNoHour, kNoHour,
                        "000 000 000 000 000 000 011 111", kEveryHour};
            }
            return {kEveryHour, kNoHour, kNoHour, kNoHour, kNoHour, kNoHour, kEveryHour};
        case Hours::Nights:
            return everyDay(west ? "100 000 000 000 000 001 111 111"
                                 : "111 111 000 000 000 000 000 011");
        case Hours::Pattern:
            return {patternA,
                    patternB,
                    patternA,
                    patternB,
                    patternA,
                    patternB,
                    west ? "101 101 010 101 111 000 001 010" : "010 101 011 010 101 011 110 000"};
        case Hours::Short: {
            Week week = everyDay(west ? "111 000 011 110 000 111 100 001"
                                      : "000 011 110 000 111 100 001 111");
            week[6] = west ? "111 000 011 110 000 000 000 001" : "000 011 110 000 111 100 000 000";
            return week;
        }
        case Hours::Long:
            break;
    }
    throw std::invalid_argument("a value longer than 21 bytes has no day strings");
}

inline const std::string kCorpDomain = "DC=corp,DC=test";

inline SampleNode corpDomainNode() {
    return {kCorpDomain, "", kCorpDomain, {{"Root User", "rootuser", Hours::Wk0818}}};
}

inline SampleNode westNode() {
    return {
        "OU=West," + kCorpDomain, "OU=West", kCorpDomain, {{"West Lead", "wlead", Hours::Wk0818}}};
}

inline SampleNode salesNode() {
    return {"OU=Sales,OU=West," + kCorpDomain,
            "OU=Sales,OU=West",
            kCorpDomain,
            {{"Smith, Jim", "jsmith", Hours::Wk0818},
             {"Ann=Lee", "alee", Hours::None},
             {"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "zangstrom", Hours::Weekend},
             {"Lee; Jr <Ops>", "leejr", Hours::Nights}}};
}

inline SampleNode eastNode() {
    return {"OU=East,OU=West," + kCorpDomain,
            "OU=East,OU=West",
            kCorpDomain,
            {{"Dept/IT Admin", "itadmin", Hours::Pattern},
             {"#1 Fan", "fan1", Hours::All},
             {"A+B", "aplusb", Hours::None},
             {"Say \"Hi\"", "sayhi", Hours::Wk1322},
             {"Back\\Slash", "bslash", Hours::None}}};
}

inline SampleNode usersNode() {
    return {"CN=Users," + kCorpDomain,
            "CN=Users",
            kCorpDomain,
            {{"Administrator", "Administrator", Hours::None},
             {"Guest", "Guest", Hours::None},
             {"krbtgt", "krbtgt", Hours::None},
             {"Quill Operator", "qoperator", Hours::None},
             {"Kim Park", "kpark", Hours::Wk1322},
             {"Lee Chan", "lchan", Hours::None},
             {"Pat Ortiz", "portiz", Hours::None}}};
}

// PC01's local accounts; a new account allows every hour.
inline SampleNode pc01Node() {
    return {"PC01",
            "PC01",
            "PC01",
            {{"Administrator", "Administrator", Hours::All},
             {"kiosk", "kiosk", Hours::Wk0818},
             {"lab1", "lab1", Hours::All},
             {"scanner", "scanner", Hours::Nights}}};
}

inline SampleNode oddNode() {
    return {
        "OU=Odd," + kCorpDomain,
        "OU=Odd",
        kCorpDomain,
        {{"Long Hours", "longhours", Hours::Long}, {"Short Hours", "shorthours", Hours::Short}}};
}

inline SampleNode emptyNode() {
    return {"OU=Empty," + kCorpDomain, "OU=Empty", kCorpDomain, {}};
}

// OU=Many: many00001 … many01200, every third one with wk0818, wk1322 or nights in turn.
inline SampleNode manyNode() {
    SampleNode node{"OU=Many," + kCorpDomain, "OU=Many", kCorpDomain, {}};
    const Hours turn[] = {Hours::Wk0818, Hours::Wk1322, Hours::Nights};
    for (int i = 1; i <= 1200; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "many%05d", i);
        node.users.push_back({name, name, i % 3 != 0 ? Hours::None : turn[(i / 3) % 3]});
    }
    return node;
}

// --- What the servers say now ------------------------------------------------------------------

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline const char* const kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// A paged one-level search of the users below the base as OpenLDAP's ldapsearch reports it.
inline std::vector<std::string> ldapsearchUsers(const std::string& base,
                                                const std::string& attribute) {
    return nonEmptyLines(runCommand(
        "ldapsearch -x -ZZ -LLL -o ldif-wrap=no -E pr=1000/noprompt -H ldap://" +
        sandboxFact("CORP_DC") + " -D Administrator@" + sandboxFact("CORP_DOMAIN") + " -y " +
        shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE")) + " -b " + shellQuoted(base) +
        " -s one " + shellQuoted(kUserFilter) + " " + attribute + " 2>&1"));
}

// The common names of the users directly below the base, in the order the DC returns them.
inline std::vector<std::string> commonNamesInDirectoryOrder(const std::string& base) {
    std::vector<std::string> names;
    for (const std::string& line : ldapsearchUsers(base, "cn")) {
        if (line.rfind("cn:: ", 0) == 0) {
            names.push_back(
                QByteArray::fromBase64(QByteArray::fromStdString(line.substr(5))).toStdString());
        } else if (line.rfind("cn: ", 0) == 0) {
            names.push_back(line.substr(4));
        }
    }
    return names;
}

// How many users the first page of a paged search (1,000 at most) brings.
inline int usersInFirstPage(const std::string& base) {
    int users = 0;
    for (const std::string& line : ldapsearchUsers(base, "1.1")) {
        if (line.rfind("# pagedresults", 0) == 0) {
            break;
        }
        users += line.rfind("dn:", 0) == 0 ? 1 : 0;
    }
    return users;
}

// A computer's local accounts in the order its account database lists them.
inline std::vector<std::string> accountsInComputerOrder(const std::string& computer) {
    std::vector<std::string> names;
    for (const std::string& line : nonEmptyLines(runCommand(
             "pdbedit -L -s " + shellQuoted(sandboxFact(computer + "_CONF")) + " 2>/dev/null"))) {
        names.push_back(line.substr(0, line.find(':')));
    }
    return names;
}

// One entry of the sheet as the run should write it.
struct SheetEntry {
    SampleUser user;
    std::string container;
    std::string domain;
};

// The node's users in the order the server lists them now; a user the sample data does not
// hold, or one missing, is a failure of the test itself.
inline std::vector<SheetEntry> entriesOf(const SampleNode& node) {
    const std::vector<std::string> order = node.isComputer()
                                               ? accountsInComputerOrder(node.name)
                                               : commonNamesInDirectoryOrder(node.name);
    if (order.size() != node.users.size()) {
        throw std::runtime_error(node.name + " lists " + std::to_string(order.size()) +
                                 " users, the sample data " + std::to_string(node.users.size()));
    }
    std::map<std::string, SampleUser> byName;
    for (const SampleUser& user : node.users) {
        byName[user.commonName] = user;
    }
    std::vector<SheetEntry> entries;
    for (const std::string& name : order) {
        const auto found = byName.find(name);
        if (found == byName.end()) {
            throw std::runtime_error(node.name + " lists " + name + ", unknown to the sample data");
        }
        entries.push_back({found->second, node.container, node.domain});
    }
    return entries;
}

// --- The expected sheets -------------------------------------------------------------------------

// Windows-1252 of a UTF-8 text whose characters are all below U+0100 (the sample data's are).
inline std::string windows1252(const std::string& utf8) {
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            const int code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
            if (code < 0xA0) {
                throw std::invalid_argument("no Windows-1252 byte written out for " + utf8);
            }
            bytes += static_cast<char>(code);
        } else {
            throw std::invalid_argument("no Windows-1252 byte written out for " + utf8);
        }
    }
    return bytes;
}

inline std::string csvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (const std::string& field : fields) {
        record += record.empty() ? "\"" : ",\"";
        for (char c : field) {
            record += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        record += "\"";
    }
    return record + "\r\n";
}

inline std::string expectedCsv(const std::vector<SheetEntry>& entries, int biasHours) {
    std::string file = csvRecord({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday",
                                  "Wednesday", "Thursday", "Friday", "Saturday"});
    for (const SheetEntry& entry : entries) {
        std::vector<std::string> fields = {windows1252(entry.user.commonName), entry.container,
                                           entry.domain};
        for (const std::string& day : daysOf(entry.user.hours, biasHours)) {
            fields.push_back(day);
        }
        file += csvRecord(fields);
    }
    return file;
}

// Cells by (row, column), empty ones left out.
using Grid = std::map<std::pair<int, int>, std::string>;

inline Grid expectedWorkbook(const std::vector<SheetEntry>& entries, int biasHours) {
    Grid cells;
    auto set = [&cells](int row, int column, const std::string& text) {
        if (!text.empty()) {
            cells[{row, column}] = text;
        }
    };
    set(1, 1, "Quillmark Version 2.0");
    const char* const dayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
    int r = 3;
    for (const SheetEntry& entry : entries) {
        set(r, 1, "Common Name");
        set(r, 2, entry.user.commonName);
        set(r, 3, "Logon Hours");
        set(r, 4, "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M");
        set(r + 1, 1, "Pre-Windows 2000 Logon Name");
        set(r + 1, 2, entry.user.logonName);
        set(r + 2, 1, "Organizational Unit or Container");
        set(r + 2, 2, entry.container);
        set(r + 3, 1, "Domain");
        set(r + 3, 2, entry.domain);
        const Week days = daysOf(entry.user.hours, biasHours);
        for (int day = 0; day < 7; ++day) {
            set(r + 1 + day, 3, dayNames[day]);
            set(r + 1 + day, 4, days[day]);
        }
        r += 9;
    }
    return cells;
}

// Every non-empty cell of the first worksheet within the rows and columns, by our reader.
inline Grid readWorkbook(const std::string& path, int rows, int columns) {
    auto reader = openWorkbookFile(path);
    Grid cells;
    for (int row = 1; row <= rows; ++row) {
        for (int column = 1; column <= columns; ++column) {
            const Variant value = reader->cellValue(row, column);
            if (!value.isEmpty() && !value.toText().empty()) {
                cells[{row, column}] = value.toText();
            }
        }
    }
    return cells;
}

// The rows a workbook of that many entries fills, and two more that must stay empty.
inline int rowsToRead(std::size_t entries) {
    return 3 + 9 * static_cast<int>(entries) + 1;
}

// Where two files or grids part, for a failure message that a person can act on.
inline std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return {};
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    const std::size_t lineStart =
        expected.rfind('\n', at) == std::string::npos ? 0 : expected.rfind('\n', at) + 1;
    auto lineAt = [lineStart](const std::string& text) {
        return text.substr(lineStart, text.find('\n', lineStart) - lineStart);
    };
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           "; first difference at byte " + std::to_string(at) + "\n  actual:   " + lineAt(actual) +
           "\n  expected: " + lineAt(expected);
}

inline std::string firstDifference(const Grid& actual, const Grid& expected) {
    for (const auto& [cell, text] : expected) {
        const auto found = actual.find(cell);
        if (found == actual.end() || found->second != text) {
            return "cell (" + std::to_string(cell.first) + ", " + std::to_string(cell.second) +
                   ") holds \"" + (found == actual.end() ? "" : found->second) + "\", expected \"" +
                   text + "\"";
        }
    }
    for (const auto& [cell, text] : actual) {
        if (!expected.contains(cell)) {
            return "cell (" + std::to_string(cell.first) + ", " + std::to_string(cell.second) +
                   ") holds \"" + text + "\", expected nothing";
        }
    }
    return {};
}

// --- The program, with its dialogs, bias and end scripted --------------------------------------

enum class SignIn { KerberosTicket, Password };

inline std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The DN inside an "LDAP://[server/]DN" key.
inline std::string dnOfKey(const std::string& key) {
    std::string rest = key.substr(std::string("LDAP://").size());
    const auto slash = rest.find('/');
    if (slash != std::string::npos && rest.substr(0, slash).find('=') == std::string::npos) {
        rest = rest.substr(slash + 1);
    }
    return rest;
}

// One program run: the first screen loaded, everything real but the dialogs (answered from a
// queue), the bias (minutes west of Greenwich) and the program's end (recorded, then unwound).
class ProgramRun {
public:
    ProgramRun(int biasMinutes, SignIn signIn, const std::filesystem::path& folder)
        : credentialCache_(folder / ("krb5cc-" + std::to_string(++runs()))) {
        // Every program run has a credential cache of its own: a fresh ticket, or none at all.
        setenv("KRB5CCNAME", ("FILE:" + credentialCache_.string()).c_str(), 1);
        if (signIn == SignIn::KerberosTicket) {
            runCommand("kinit Administrator@" + sandboxFact("CORP_REALM") + " < " +
                       shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE")) + " >/dev/null");
        }
        // The sandbox computers take no ticket, so a name and password are asked either way.
        dialogs.inputAnswers = {"Administrator@" + sandboxFact("CORP_DOMAIN"), sandboxPassword()};
        system.computerName = "PC01";
        system.bias = Variant(biasMinutes);
        directory = makeDirectoryServices(credentials);
        spreadsheets = makeSpreadsheetFactory();
        services = std::make_unique<ScreenServices>(
            ScreenServices{dialogs, system, *directory, *spreadsheets, programEnd});
        first = std::make_unique<frmMain>(*services);
        first->Form_Load();
        showScreen(*first);
    }

    ~ProgramRun() {
        if (first->selectionScreen() != nullptr) {
            closeIfOpen(first->selectionScreen()->DirectoryConnection());
        }
    }

    // The first screen's choices, then Next.
    frmSelect& next(bool workbook, const std::string& fileName) {
        (workbook ? first->optXL : first->optCSV)->setChecked(true);
        first->txtFile->setText(QString::fromStdString(fileName));
        first->cmdNext_Click();
        return select();
    }

    frmSelect& select() { return *first->selectionScreen(); }

    // The tree node of a directory object (by its DN) or of a computer (by its name); 0 if none.
    int nodeOf(const std::string& name) {
        TreeView& tree = *select().tvwContainers;
        for (int node = 1; node <= tree.Count(); ++node) {
            const bool matches = tree.Tag(node) == "Local Computer"
                                     ? lower(tree.Text(node)) == lower(name)
                                     : lower(dnOfKey(tree.Key(node))) == lower(name);
            if (matches) {
                return node;
            }
        }
        return 0;
    }

    // Clicks the node's check box, as a person does.
    void toggle(const SampleNode& node) {
        const int number = nodeOf(node.name);
        if (number == 0) {
            throw std::runtime_error(node.name + " is not in the tree");
        }
        clickCheckBox(*select().tvwContainers, select().tvwContainers->item(number));
    }

    // The entries the checked nodes give, in the tree's order.
    std::vector<SheetEntry> expectedEntries(std::vector<SampleNode> checked) {
        std::sort(checked.begin(), checked.end(),
                  [this](const auto& a, const auto& b) { return nodeOf(a.name) < nodeOf(b.name); });
        std::vector<SheetEntry> entries;
        for (const SampleNode& node : checked) {
            const auto ofNode = entriesOf(node);
            entries.insert(entries.end(), ofNode.begin(), ofNode.end());
        }
        return entries;
    }

    void pressDocument() { QTest::mouseClick(select().cmdOK, Qt::LeftButton); }

    // Whether the credential cache holds a ticket for the DC's LDAP service.
    bool holdsLdapServiceTicket() const {
        const std::string tickets =
            runCommand("klist " + shellQuoted(credentialCache_.string()) + " 2>&1 || true");
        return tickets.find("ldap/" + sandboxFact("CORP_DC")) != std::string::npos;
    }

    FakeDialogs dialogs;
    FakeSystem system;
    FakeProgramEnd programEnd;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory;
    std::unique_ptr<SpreadsheetFactory> spreadsheets;
    std::unique_ptr<ScreenServices> services;
    std::unique_ptr<frmMain> first;

private:
    static int& runs() {
        static int count = 0;
        return count;
    }
    std::filesystem::path credentialCache_;
};

// The texts of the message boxes shown, with their style.
inline std::vector<std::pair<MessageStyle, std::string>> messagesOf(const FakeDialogs& dialogs) {
    std::vector<std::pair<MessageStyle, std::string>> messages;
    for (const ShownDialog& box : dialogs.shown) {
        if (box.kind == ShownDialog::Kind::Message) {
            messages.emplace_back(box.style, box.text);
        }
    }
    return messages;
}

}  // namespace qm::testing

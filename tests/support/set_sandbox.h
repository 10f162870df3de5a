#pragma once

// The Set run end to end against the sandbox domain: users in an OU the suite makes and removes
// itself, local accounts of PC02 (put back afterwards), the real directory services, real sheet and
// log files. The servers' own tools (ldapsearch, pdbedit) are the independent view of what the run
// stored, and the values expected are worked out here from the day strings and the bias, not by the
// program's own conversions.

#include <glob.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logonhours/logon_hours.h"
#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/text_file.h"
#include "platform/winnt_provider.h"
#include "platform/workbook_application.h"
#include "setting/set_run.h"
#include "support/fake_dialogs.h"
#include "support/fake_system.h"
#include "support/fake_trap.h"
#include "support/sandbox_tools.h"

namespace qm::testing {

inline const std::string kCorpDn = "DC=corp,DC=test";
inline const std::string kSandboxComputer = "PC02";

// --- small text tools ----------------------------------------------------------------------------

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string base64Of(const std::string& bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned chunk = static_cast<unsigned char>(bytes[i]) << 16;
        chunk |= left > 1 ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0;
        chunk |= left > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        for (std::size_t j = 0; j < 4; ++j) {
            text += j <= left ? alphabet[(chunk >> (18 - 6 * j)) & 63] : '=';
        }
    }
    return text;
}

inline std::string base64Decoded(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const auto index = alphabet.find(c);
        if (index == std::string::npos) {
            continue;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return bytes;
}

inline Bytes bytesOfHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::string hexOf(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// What a command printed (stderr included) and whether it succeeded; it may fail.
inline std::pair<bool, std::string> tryCommand(const std::string& command) {
    try {
        return {true, runCommand(command + " 2>&1")};
    } catch (const std::runtime_error& failure) {
        return {false, failure.what()};
    }
}

// --- logon hours worked out by hand --------------------------------------------------------------

// Seven day strings with a pattern of their own for each seed, written with the separators a
// person might use (spaces, hyphens, dots, none).
inline DayStrings dayStringsFor(int seed) {
    static const char* separators[] = {" ", "-", ".", ""};
    DayStrings days;
    for (int day = 0; day < 7; ++day) {
        std::string text;
        for (int hour = 0; hour < 24; ++hour) {
            text += (hour * 7 + day * 5 + seed * 3) % 11 < 5 ? '1' : '0';
            if (hour % 3 == 2 && hour < 23) {
                text += separators[(seed + day) % 4];
            }
        }
        days[day] = text;
    }
    return days;
}

inline DayStrings allDays(const std::string& day) {
    DayStrings days;
    days.fill(day);
    return days;
}

inline const std::string kNoHour = "000 000 000 000 000 000 000 000";

// The value the directory must hold: local hour m of the week is UTC hour m + bias, and UTC hour
// u is bit u % 8 of byte u / 8.
inline Bytes expectedValue(const DayStrings& days, int bias) {
    std::string digits;
    for (const std::string& day : days) {
        for (char c : day) {
            if (c == '0' || c == '1') {
                digits += c;
            }
        }
    }
    Bytes value(21, 0);
    for (int local = 0; local < 168; ++local) {
        if (digits.at(static_cast<std::size_t>(local)) == '1') {
            const int utc = ((local + bias) % 168 + 168) % 168;
            value[static_cast<std::size_t>(utc / 8)] |= static_cast<std::uint8_t>(1 << (utc % 8));
        }
    }
    return value;
}

// Day strings that allow exactly the given local hours of the week.
inline DayStrings dayStringsAllowing(const std::vector<int>& localHours) {
    std::string digits(168, '0');
    for (int hour : localHours) {
        digits[static_cast<std::size_t>(((hour % 168) + 168) % 168)] = '1';
    }
    DayStrings days;
    for (int day = 0; day < 7; ++day) {
        days[day] = digits.substr(static_cast<std::size_t>(day) * 24, 24);
    }
    return days;
}

// --- the servers' own view
// -------------------------------------------------------------------------

inline std::string ldapTool(const std::string& tool) {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
           sandboxFact("CORP_DOMAIN") + " -y " + shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE"));
}

// logonHours as the DC holds it; nothing when the user has none.
inline std::optional<Bytes> ldapLogonHours(const std::string& dn) {
    const std::string output = runCommand(ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no -b " +
                                          shellQuoted(dn) + " -s base logonHours");
    for (const std::string& line : nonEmptyLines(output)) {
        if (line.rfind("logonHours:: ", 0) == 0) {
            const std::string raw = base64Decoded(line.substr(13));
            return Bytes(raw.begin(), raw.end());
        }
    }
    return std::nullopt;
}

inline void runLdif(const std::string& tool, const std::string& ldif, const std::string& options) {
    const std::string file = "/tmp/qm-set-sandbox-" + std::to_string(getpid()) + ".ldif";
    std::ofstream(file, std::ios::binary) << ldif;
    const auto [ok, output] =
        tryCommand(ldapTool(tool) + " " + options + " -f " + shellQuoted(file));
    std::filesystem::remove(file);
    if (!ok) {
        throw std::runtime_error(output);
    }
}

inline void setLdapLogonHours(const std::string& dn, const std::optional<Bytes>& value) {
    std::string ldif = "dn:: " + base64Of(dn) + "\nchangetype: modify\n";
    ldif += value ? "replace: logonHours\nlogonHours:: " +
                        base64Of(std::string(value->begin(), value->end())) + "\n-\n"
                  : "delete: logonHours\n-\n";
    // Deleting a value that is not there is no failure here.
    runLdif("ldapmodify", ldif, value ? "" : "-c");
}

inline std::string pdbeditConf() {
    return sandboxFact(kSandboxComputer + "_CONF");
}

// The 21 bytes of a local account of PC02, as its account database holds them.
inline Bytes localLogonHours(const std::string& account) {
    const std::string output = runCommand("pdbedit -s " + shellQuoted(pdbeditConf()) +
                                          " -L -v -u " + shellQuoted(account) + " 2>/dev/null");
    for (const std::string& line : nonEmptyLines(output)) {
        if (line.rfind("Logon hours", 0) == 0) {
            std::string hex = line.substr(line.find(':') + 1);
            hex.erase(0, hex.find_first_not_of(' '));
            return bytesOfHex(hex);
        }
    }
    throw std::runtime_error("pdbedit shows no logon hours of " + account);
}

// A simple bind over StartTLS followed by a read of the root entry: what Samba checks a user's
// logon hours at. Returns whether it succeeded and what the tool said.
inline std::pair<bool, std::string> simpleBind(const std::string& userPrincipal,
                                               const std::string& password) {
    return tryCommand("ldapsearch -x -ZZ -LLL -H ldap://" + sandboxFact("CORP_DC") + " -D " +
                      shellQuoted(userPrincipal) + " -w " + shellQuoted(password) +
                      " -b '' -s base dnsHostName");
}

// --- the suite's own users
// -------------------------------------------------------------------------

struct SuiteUser {
    std::string commonName;  // as a person types it, and as the sheet holds it
    std::string rdnValue;    // the same, escaped by hand as it stands in the DN
    std::string account;     // sAMAccountName
    std::optional<Bytes> initialHours;
    std::string password;  // empty: made without one (then disabled)
};

// An OU of users made for one suite, removed with everything in it when the suite ends, and the
// local accounts of PC02 the suite writes, whose values are put back.
class SuiteDirectory {
public:
    SuiteDirectory(std::string ou, std::vector<SuiteUser> users, std::vector<std::string> accounts)
        : ou_(std::move(ou)), users_(std::move(users)), accounts_(std::move(accounts)) {
        removeOu();
        std::string ldif = "dn: " + ouDn() + "\nobjectClass: organizationalUnit\n\n";
        for (const SuiteUser& user : users_) {
            ldif += userLdif(user);
        }
        runLdif("ldapadd", ldif, "");
        for (const std::string& account : accounts_) {
            localOriginals_.emplace_back(account, localLogonHours(account));
        }
    }
    ~SuiteDirectory() {
        try {
            removeOu();
            restoreLocalAccounts();
        } catch (const std::exception& failure) {
            ADD_FAILURE() << "cleaning up the sandbox: " << failure.what();
        }
    }

    const std::string& ou() const { return ou_; }  // "OU=SetTests"
    std::string ouDn() const { return ou_ + "," + kCorpDn; }
    std::string dn(const SuiteUser& user) const { return "CN=" + user.rdnValue + "," + ouDn(); }
    const std::vector<SuiteUser>& users() const { return users_; }
    const SuiteUser& user(const std::string& account) const {
        for (const SuiteUser& user : users_) {
            if (user.account == account) {
                return user;
            }
        }
        throw std::runtime_error("no suite user " + account);
    }
    const std::vector<std::string>& localAccounts() const { return accounts_; }

    // The local accounts' values back as they were when the suite began, through the WinNT
    // provider (Samba's own tools cannot write logon hours).
    void restoreLocalAccounts() {
        FakeDialogs dialogs;
        dialogs.inputAnswers = {"Administrator", sandboxPassword()};
        Credentials credentials(dialogs);
        for (const auto& [account, value] : localOriginals_) {
            auto user =
                bindWinNt("WinNT://" + kSandboxComputer + "/" + account + ",user", credentials);
            user->Put("loginHours", Variant(value));
            user->SetInfo();
        }
    }

private:
    std::string userLdif(const SuiteUser& user) const {
        std::string ldif = "dn:: " + base64Of(dn(user)) +
                           "\nobjectClass: user\ncn:: " + base64Of(user.commonName) +
                           "\nsAMAccountName: " + user.account + "\n";
        if (user.initialHours) {
            ldif += "logonHours:: " +
                    base64Of(std::string(user.initialHours->begin(), user.initialHours->end())) +
                    "\n";
        }
        if (!user.password.empty()) {
            // unicodePwd is the quoted password in UTF-16LE; the server takes it only over TLS.
            std::string utf16;
            for (char c : "\"" + user.password + "\"") {
                utf16 += c;
                utf16 += '\0';
            }
            ldif += "unicodePwd:: " + base64Of(utf16) + "\nuserAccountControl: 512\n";
        }
        return ldif + "\n";
    }

    void removeOu() {
        // Absent (the first run, or a clean end last time) is fine.
        tryCommand(ldapTool("ldapdelete") + " -r " + shellQuoted(ouDn()));
    }

    std::string ou_;
    std::vector<SuiteUser> users_;
    std::vector<std::string> accounts_;
    std::vector<std::pair<std::string, Bytes>> localOriginals_;
};

// --- sheets --------------------------------------------------------------------------------------

// One user row of a sheet: the name is the common name of a directory user and the account name
// of a local one; the workbook also carries the logon name.
struct SheetRow {
    std::string name;
    std::string account;
    std::string container;
    std::string domain;
    DayStrings days;
};

inline SheetRow directoryRow(const SuiteDirectory& suite, const SuiteUser& user,
                             const DayStrings& days) {
    return {user.commonName, user.account, suite.ou(), kCorpDn, days};
}

inline SheetRow localRow(const std::string& account, const DayStrings& days) {
    return {account, account, kSandboxComputer, kSandboxComputer, days};
}

// A CSV line as the Document task writes it: every field between quotes, nothing escaped.
inline std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) {
        line += (line.empty() ? "\"" : ",\"") + field + "\"";
    }
    return line + "\r\n";
}

inline std::string csvUserLine(const SheetRow& row) {
    std::vector<std::string> fields = {row.name, row.container, row.domain};
    fields.insert(fields.end(), row.days.begin(), row.days.end());
    return csvLine(fields);
}

inline const std::string kCsvHeader =
    csvLine({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
             "Friday", "Saturday"});

inline std::string csvSheet(const std::vector<SheetRow>& rows) {
    std::string text = kCsvHeader;
    for (const SheetRow& row : rows) {
        text += csvUserLine(row);
    }
    return text;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The lines of a text file as the program reads text (the log is in Windows-1252).
inline std::vector<std::string> textLines(const std::string& path) {
    TextFileReader reader(path);
    std::vector<std::string> lines;
    for (std::string line; reader.readLine(line);) {
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> filesMatching(const std::string& pattern) {
    glob_t found{};
    std::vector<std::string> files;
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        files.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
    }
    globfree(&found);
    return files;
}

// --- one Set run ---------------------------------------------------------------------------------

class ScriptedSetScreen : public SetScreen, public ProgressBar {
public:
    ScriptedSetScreen(bool workbook, std::string file)
        : workbook_(workbook), file_(std::move(file)) {}
    bool workbookChosen() override { return workbook_; }
    std::string fileName() override { return file_; }
    ProgressBar& progressBar() override { return *this; }
    void showSelectionScreen() override { ++shown; }
    void setMaximum(Int16 value) override { maximum = value.value(); }
    void setValue(Int16 value) override { this->value = value.value(); }

    int shown = 0;
    int maximum = -1;
    int value = -1;

private:
    bool workbook_;
    std::string file_;
};

// Who runs Set: the sandbox's Administrator with a Kerberos ticket (and the computers'
// Administrator password for local accounts), or a person without a ticket who types a name and
// password.
struct SignIn {
    std::string kerberosCache;  // empty: no ticket
    std::string user = "Administrator";
    std::string password;
};

struct SetOutcome {
    std::vector<ShownDialog> boxes;
    std::vector<std::string> trapMessages;
    bool programEnded = false;
    int progressMaximum = -1;
    int progressValue = -1;

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const ShownDialog& box : boxes) {
            if (box.kind == ShownDialog::Kind::Message) {
                texts.push_back(box.text);
            }
        }
        return texts;
    }
};

// Runs the whole Set task on a sheet with the real directory services and spreadsheet component,
// answering Yes to the confirmation. The program folder holds the log and the restore sheets.
inline SetOutcome runSet(const std::string& programFolder, const std::string& sheet, bool workbook,
                         int bias, const SignIn& signIn) {
    setenv("KRB5CCNAME",
           signIn.kerberosCache.empty() ? "FILE:/nonexistent/qm-no-ticket"
                                        : signIn.kerberosCache.c_str(),
           1);
    FakeDialogs dialogs;
    dialogs.messageAnswers = {Answer::Yes};
    dialogs.inputAnswers = {signIn.user, signIn.password};
    Credentials credentials(dialogs);
    auto directory = makeDirectoryServices(credentials);
    auto spreadsheets = makeSpreadsheetFactory();
    FakeTrapServices trap;
    LogonHours logonHours(trap, Int16(bias));
    FakeSystem system;
    system.applicationPath = programFolder;
    ScriptedSetScreen screen(workbook, sheet);
    SetServices services{*directory, *spreadsheets, dialogs, trap, logonHours, system};

    SetOutcome outcome;
    try {
        SetLogonHoursFromFile(screen, services);
    } catch (const ProgramEnded&) {
        outcome.programEnded = true;
    }
    outcome.boxes = dialogs.shown;
    outcome.trapMessages = trap.messages;
    outcome.progressMaximum = screen.maximum;
    outcome.progressValue = screen.value;
    return outcome;
}

inline std::vector<std::string> logHeader(const std::string& sheet, int users) {
    return {std::string(50, '-'), "Quillmark Version 2.0", "Input file: " + sheet,
            "Update Logon Hours for " + std::to_string(users) + " users",
            "Started at: 6/15/2026 10:30:00 AM"};
}

inline const std::string kLogTrailer = "Finished at: 6/15/2026 10:30:00 AM";

inline std::string summary(int updated, int rows, const std::string& sheet,
                           const std::string& programFolder) {
    return "Logon Hours set for " + std::to_string(updated) + " users\r\nout of " +
           std::to_string(rows) + " in file\r\n" + sheet + ".\r\nSee log file " + programFolder +
           "/Quillmark.log\r\nfor details.";
}

inline std::string confirmation(int rows, const std::string& sheet) {
    return "Update " + std::to_string(rows) + " user logon hours per file:\r\n" + sheet;
}

// A private folder per suite: program folders, sheets, Kerberos caches, LibreOffice's profile.
class SuiteFolder {
public:
    SuiteFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qm-set-sandbox-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~SuiteFolder() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // A new empty folder inside, as the program's own folder of one test.
    std::string folder(const std::string& name) const {
        std::filesystem::remove_all(file(name));
        std::filesystem::create_directories(file(name));
        return file(name);
    }

private:
    std::string path_;
};

// A Kerberos ticket of the sandbox's Administrator, in a cache of the suite's own.
inline std::string administratorTicket(const SuiteFolder& folder) {
    const std::string cache = "FILE:" + folder.file("administrator.ccache");
    runCommand("KRB5CCNAME=" + shellQuoted(cache) + " kinit Administrator@" +
               sandboxFact("CORP_REALM") + " < " +
               shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE")) + " >/dev/null");
    return cache;
}

}  // namespace qm::testing

#pragma once

// The Document and Set runs end to end on the sandbox domain: the real screens, directory providers
// and spreadsheet component, with only the dialogs, the time-zone bias and the program's end
// scripted. The sheets are laid out here by hand, and the servers' own tools (ldapsearch, pdbedit)
// are the independent view of what the domain holds.

#include <QByteArray>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ldap/directory_services.h"
#include "platform/signin/credentials.h"
#include "platform/workbook/workbook_application.h"
#include "shell/main_screen.h"
#include "support/fake_dialogs.h"
#include "support/fake_program_end.h"
#include "support/fake_system.h"
#include "support/libreoffice.h"
#include "support/qt_gtest.h"
#include "support/sandbox_tools.h"
#include "support/workbook_files.h"

namespace qm::testing {

inline const std::string kCorpDomain = "DC=corp,DC=test";

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// An OpenLDAP tool signed in as the account (the sandbox password is everyone's) over StartTLS.
inline std::string ldapTool(const std::string& tool, const std::string& account = "Administrator") {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D " + account + "@" +
           sandboxFact("CORP_DOMAIN") + " -y " + shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE"));
}

// A paged one-level search below the base, as LDIF lines (comments included).
inline std::vector<std::string> ldapsearchOneLevel(const std::string& base,
                                                   const std::string& filter,
                                                   const std::string& attributes) {
    return nonEmptyLines(runCommand(
        ldapTool("ldapsearch") + " -LL -o ldif-wrap=no -E pr=1000/noprompt -b " +
        shellQuoted(base) + " -s one " + shellQuoted(filter) + " " + attributes + " 2>&1"));
}

// The value on an LDIF line of the attribute, base64 decoded; nothing on another attribute's line.
inline std::optional<std::string> ldifValue(const std::string& line, const std::string& attribute) {
    if (line.starts_with(attribute + ":: ")) {
        const QByteArray encoded = QByteArray::fromStdString(line.substr(attribute.size() + 3));
        return QByteArray::fromBase64(encoded).toStdString();
    }
    if (line.starts_with(attribute + ": ")) {
        return line.substr(attribute.size() + 2);
    }
    return std::nullopt;
}

// --- sheets --------------------------------------------------------------------------------------

using Week = std::array<std::string, 7>;  // Sunday first

// One user of a sheet: the name is a directory user's common name or a local account's name.
struct SheetRow {
    std::string name;
    std::string logonName;
    std::string container;
    std::string domain;
    Week days;
};

inline std::string csvLines(const std::vector<SheetRow>& rows) {
    std::string lines;
    for (const SheetRow& row : rows) {
        std::vector<std::string> fields = {row.name, row.container, row.domain};
        fields.insert(fields.end(), row.days.begin(), row.days.end());
        lines += csvRecord(fields);
    }
    return lines;
}

// A workbook's cells by (row, column), empty ones left out: a title and the offset its hours are
// in ("UTC-05:00"), then a block per user.
inline CellGrid workbookCells(const std::vector<SheetRow>& rows, const std::string& offset) {
    CellGrid cells{{{1, 1}, "Quillmark Version 2.0"},
                   {{1, 4}, "Hours in " + offset + " (standard time)"}};
    const char* const dayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
    int r = 3;
    for (const SheetRow& row : rows) {
        const std::string names[][2] = {{"Common Name", row.name},
                                        {"Pre-Windows 2000 Logon Name", row.logonName},
                                        {"Organizational Unit or Container", row.container},
                                        {"Domain", row.domain}};
        for (int k = 0; k < 4; ++k) {
            cells[{r + k, 1}] = names[k][0];
            if (!names[k][1].empty()) {
                cells[{r + k, 2}] = names[k][1];
            }
        }
        cells[{r, 3}] = "Logon Hours";
        cells[{r, 4}] = "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M";
        for (int day = 0; day < 7; ++day) {
            cells[{r + 1 + day, 3}] = dayNames[day];
            cells[{r + 1 + day, 4}] = row.days[day];
        }
        r += 9;
    }
    return cells;
}

// The cells of a workbook's first sheet as LibreOffice reads them.
inline CellGrid libreOfficeCells(const std::filesystem::path& folder, const std::string& workbook) {
    convertWithLibreOffice(folder, kUtf8CsvFilter, workbook);
    return parseLibreOfficeCsv(readBytes((folder / workbook).replace_extension(".csv").string()));
}

// --- the program --------------------------------------------------------------------------------

// One program run: the first screen loaded, everything real but the dialogs (answered from
// queues), the bias (minutes west of Greenwich) and the program's end (recorded, then unwound).
// With a ticket the directory takes a fresh Kerberos ticket of the Administrator; the sandbox
// computers take none, so the user name and password are queued either way.
class ProgramRun {
public:
    ProgramRun(int biasMinutes, const std::filesystem::path& folder, bool ticket,
               const std::string& user = "Administrator@" + sandboxFact("CORP_DOMAIN"))
        : cacheNamed_(signIn(folder, ticket)) {
        dialogs.inputAnswers = {user, sandboxPassword()};
        system.computerName = "PC01";
        system.bias = Variant(biasMinutes);
        showScreen(*first);
    }
    ~ProgramRun() {
        if (first->selectionScreen() != nullptr) {
            closeIfOpen(first->selectionScreen()->directoryConnection());
        }
    }

    // The first screen's choices, then Next: Document fills the tree, Set runs at once.
    SelectionScreen& next(bool set, bool workbook, const std::string& fileName) {
        control<QRadioButton>(*first, set ? "optSet" : "optDocument").setChecked(true);
        control<QRadioButton>(*first, workbook ? "optXL" : "optCSV").setChecked(true);
        control<QLineEdit>(*first, "txtFile").setText(QString::fromStdString(fileName));
        try {
            first->next();
        } catch (const ProgramEnded&) {
        }
        return *first->selectionScreen();
    }

    void pressDocument() {
        try {
            first->selectionScreen()->documentUsers();
        } catch (const ProgramEnded&) {
        }
    }

private:
    // A credential cache of the run's own, named before the directory services exist.
    static bool signIn(const std::filesystem::path& folder, bool ticket) {
        static int runs = 0;
        const std::string cache = (folder / ("krb5cc-" + std::to_string(++runs))).string();
        setenv("KRB5CCNAME", ("FILE:" + cache).c_str(), 1);
        if (ticket) {
            runCommand("kinit Administrator@" + sandboxFact("CORP_REALM") + " < " +
                       shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE")) + " >/dev/null");
        }
        return ticket;
    }
    bool cacheNamed_;  // first of the members, so that the cache is named before the services exist

public:
    FakeDialogs dialogs;
    FakeSystem system;
    FakeProgramEnd programEnd;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
    std::unique_ptr<SpreadsheetFactory> spreadsheets = makeSpreadsheetFactory();
    ScreenServices services{dialogs, system, *directory, *spreadsheets, programEnd};
    std::unique_ptr<MainScreen> first = std::make_unique<MainScreen>(services);
};

}  // namespace qm::testing

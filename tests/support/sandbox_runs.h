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
#include "support/qt_gtest.h"
#include "support/libreoffice.h"
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

// An OpenLDAP tool signed in as the sandbox's Administrator over StartTLS.
inline std::string ldapTool(const std::string& tool) {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
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

inline std::string csvField(const std::string& text) {
    std::string field = "\"";
    for (char c : text) {
        field += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return field + "\"";
}

inline std::string csvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (const std::string& field : fields) {
        record += (record.empty() ? "" : ",") + csvField(field);
    }
    return record + "\r\n";
}

inline const std::string kCsvHeader =
    csvRecord({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday", "Wednesday",
               "Thursday", "Friday", "Saturday"});

inline std::string csvLines(const std::vector<SheetRow>& rows) {
    std::string lines;
    for (const SheetRow& row : rows) {
        std::vector<std::string> fields = {row.name, row.container, row.domain};
        fields.insert(fields.end(), row.days.begin(), row.days.end());
        lines += csvRecord(fields);
    }
    return lines;
}

// A workbook's cells by (row, column), empty ones left out: a title, then a block per user.
inline CellGrid workbookCells(const std::vector<SheetRow>& rows) {
    CellGrid cells{{{1, 1}, "Quillmark Version 2.0"}};
    const char* const dayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
    int r = 3;
    for (const SheetRow& row : rows) {
        cells[{r, 1}] = "Common Name";
        cells[{r, 2}] = row.name;
        cells[{r, 3}] = "Logon Hours";
        cells[{r, 4}] = "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M";
        cells[{r + 1, 1}] = "Pre-Windows 2000 Logon Name";
        cells[{r + 1, 2}] = row.logonName;
        cells[{r + 2, 1}] = "Organizational Unit or Container";
        cells[{r + 3, 1}] = "Domain";
        cells[{r + 3, 2}] = row.domain;
        if (!row.container.empty()) {
            cells[{r + 2, 2}] = row.container;
        }
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

// --- comparisons that say where two things part --------------------------------------------------

// An expected line ending in '*' stands for every line that starts with the rest.
inline std::string firstDifference(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const std::string a = i < actual.size() ? actual[i] : "(no line)";
        const std::string e = i < expected.size() ? expected[i] : "(no line)";
        if (e.ends_with('*') ? !a.starts_with(e.substr(0, e.size() - 1)) : a != e) {
            return "line " + std::to_string(i + 1) + "\n  actual:   " + a + "\n  expected: " + e;
        }
    }
    return {};
}

inline std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return {};
    }
    const std::string lines = firstDifference(nonEmptyLines(actual), nonEmptyLines(expected));
    return lines.empty() ? "the line ends or blank lines differ" : lines;
}

// Grids compared as lines "(row, column) text".
inline std::string firstDifference(const CellGrid& actual, const CellGrid& expected) {
    std::array<std::vector<std::string>, 2> lines;
    for (std::size_t i = 0; i < 2; ++i) {
        for (const auto& [cell, text] : i == 0 ? actual : expected) {
            lines[i].push_back("(" + std::to_string(cell.first) + ", " +
                               std::to_string(cell.second) + ") " + text);
        }
    }
    return firstDifference(lines[0], lines[1]);
}

#define QM_VERIFY_SAME(actual, expected)                                                 \
    do {                                                                                 \
        const std::string qmDifference = qm::testing::firstDifference(actual, expected); \
        ASSERT_TRUE(qmDifference.empty()) << qmDifference;                              \
    } while (false)

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

#pragma once

// The Document and Set runs end to end on the sandbox domain: the real screens, directory providers
// and spreadsheet component, with only the dialogs, the time-zone bias and the program's end
// scripted. The sheets are laid out here by hand, and the servers' own tools (ldapsearch, pdbedit)
// are the independent view of what the domain holds.

#include <QByteArray>
#include <QLineEdit>
#include <QRadioButton>

#include "gui/screen_fixture.h"
#include "platform/ldap/directory_services.h"
#include "platform/workbook/workbook_application.h"
#include "shell/main_screen.h"
#include "support/libreoffice.h"
#include "support/sandbox_tools.h"

namespace qm::testing {

// The value on an LDIF line of the attribute, base64 decoded; nothing on another attribute's line.
inline std::optional<std::string> ldifValue(const std::string& line, const std::string& attribute) {
    if (line.starts_with(attribute + ":: ")) {
        return QByteArray::fromBase64(QByteArray::fromStdString(line.substr(attribute.size() + 3)))
            .toStdString();
    }
    if (line.starts_with(attribute + ": ")) {
        return line.substr(attribute.size() + 2);
    }
    return std::nullopt;
}

// One program run: the first screen loaded, everything real but the dialogs (answered from
// queues), the bias (minutes west of Greenwich) and the program's end (recorded, then unwound).
// With a ticket the directory takes a fresh Kerberos ticket of the Administrator; the sandbox
// computers take none, so the user name and password are queued either way.
struct ProgramRun {
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
        untilItEnds([&] { first->next(); });
        return *first->selectionScreen();
    }

    void pressDocument() {
        untilItEnds([&] { first->selectionScreen()->documentUsers(); });
    }

    // The program's end is recorded and unwinds to here.
    static void untilItEnds(const std::function<void()>& act) {
        try {
            act();
        } catch (const ProgramEnded&) {
        }
    }

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

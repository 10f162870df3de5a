// Quillmark: documents and sets the logon hours of Active Directory users and of computers' local
// accounts. No command line, no settings: everything is chosen on the first screen.
#include <QApplication>
#include <memory>

#include "platform/ldap/directory_services.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_system.h"
#include "platform/qt/screen_services.h"
#include "platform/signin/credentials.h"
#include "platform/workbook/workbook_application.h"
#include "shell/main_screen.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    // Screens are hidden and shown again, never closed: only Exit or an error trap ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    // Directory calls wait on this thread, so a window closed during one is handled when the call
    // returns. No wait is open-ended: a connect, an answer, a TLS handshake or a sign-in step is
    // given up after the sessions' answer timeout, and a server that stopped answering is not
    // waited for again, so the close ends the program within one timeout. SIGINT, SIGTERM and
    // SIGHUP (a terminal's Ctrl+C, the desktop's "force quit" of a window that does not answer, the
    // session's end) keep their default action and end the program at once, even mid-call.
    QApplication::setFont(qm::screenFont());

    qm::QtDialogs dialogs;
    qm::QtSystem system;
    qm::Credentials credentials(dialogs);
    const auto directory = qm::makeDirectoryServices(credentials);
    const auto spreadsheets = qm::makeSpreadsheetFactory();
    qm::ProcessEnd programEnd;
    qm::ScreenServices services{dialogs, system, *directory, *spreadsheets, programEnd};

    qm::MainScreen mainScreen(services);
    qm::showScreen(mainScreen);
    return QApplication::exec();
}

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/qt_controls.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_system.h"
#include "selection/tree_view.h"
#include "support/fake_dialogs.h"
#include "support/fake_directory.h"
#include "support/fake_program_end.h"
#include "support/fake_spreadsheet.h"
#include "support/fake_system.h"

using namespace qm;
using namespace qm::testing;

namespace {

// Acts on the next modal dialog once it is up: a modal blocks in exec(), so the test's hands
// work from a timer that polls for it.
void whenModalAppears(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start();
}

template <typename F>
RunTimeError errorOf(F&& operation) {
    try {
        operation();
    } catch (const RunTimeError& error) {
        return error;
    }
    return RunTimeError(0, "no error", "");
}

// A program that writes its arguments to a file, standing in for an editor.
QString writeRecorder(const QDir& dir, const QString& name, const QString& output) {
    const QString path = dir.filePath(name);
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s|' \"$@\" > '%1'\n").arg(output).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        // A failed test may leave a dialog open: close it so the next test starts clean.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
            QCoreApplication::processEvents();
        }
        qunsetenv("VISUAL");
        qunsetenv("EDITOR");
    }

    // --- dialogs --------------------------------------------------------------------------------

    void messageBoxesCarryTheTitleIconButtonsAndLines() {
        QtDialogs dialogs;
        QMessageBox::Icon icon{};
        QMessageBox::StandardButtons buttons{};
        QString title;
        QString text;
        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            icon = box->icon();
            buttons = box->standardButtons();
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(dialogs.messageBox("Quillmark", "Error 5 in QMK6\r\nError Number: 91",
                                    MessageStyle::Critical),
                 Answer::Ok);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(title, QString("Quillmark"));
        QCOMPARE(text, QString("Error 5 in QMK6\nError Number: 91"));

        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(dialogs.messageBox("Quillmark", "Set?", MessageStyle::Question), Answer::No);
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

        whenModalAppears([&](QWidget* modal) {
            qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click();
        });
        QCOMPARE(dialogs.messageBox("Quillmark", "Set?", MessageStyle::Question), Answer::Yes);

        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.messageBox("Quillmark", "File x created", MessageStyle::Information);
        QCOMPARE(icon, QMessageBox::Information);
    }

    void inputBoxesAnswerTheTextOrNothingWhenCancelled() {
        QtDialogs dialogs;
        QLineEdit::EchoMode echo{};
        QString prompt;
        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QInputDialog*>(modal);
            echo = box->textEchoMode();
            prompt = box->labelText();
            box->setTextValue("s3cret");
            box->accept();
        });
        QCOMPARE(dialogs.inputBox("Quillmark", "Enter password", true), std::string("s3cret"));
        QCOMPARE(echo, QLineEdit::Password);
        QCOMPARE(prompt, QString("Enter password"));

        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QInputDialog*>(modal);
            echo = box->textEchoMode();
            box->setTextValue("PC2");
            box->reject();
        });
        QCOMPARE(dialogs.inputBox("Quillmark", "Enter NetBIOS name of computer"), std::string());
        QCOMPARE(echo, QLineEdit::Normal);
    }

    void theOpenDialogShowsTheTitleFilterAndKeptName() {
        QTemporaryDir dir;
        const QString hours = dir.filePath("hours.xlsx");
        QFile(hours).open(QIODevice::WriteOnly);
        QtDialogs dialogs;
        QString title;
        QStringList filters;
        QStringList preselected;
        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QFileDialog*>(modal);
            title = box->windowTitle();
            filters = box->nameFilters();
            preselected = box->selectedFiles();
            static_cast<QDialog*>(box)->accept();
        });
        const auto chosen =
            dialogs.openFile("Select the input Excel spreadsheet file", hours.toStdString(),
                             hours.toStdString(), "Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx");
        QCOMPARE(title, QString("Select the input Excel spreadsheet file"));
        QCOMPARE(filters, QStringList{"Excel Spreadsheet (*.xls *.xlsx)"});
        QCOMPARE(preselected, QStringList{hours});
        QCOMPARE(chosen, std::optional<std::string>(hours.toStdString()));

        whenModalAppears([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!dialogs.openFile("t", "", "", "Comma Delimited File (*.csv;*.txt)|*.csv;*.txt"));
    }

    void theFolderBrowserOpensAtTheInitialFolder() {
        QTemporaryDir dir;
        QtDialogs dialogs;
        QString title;
        QString opened;
        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QFileDialog*>(modal);
            title = box->windowTitle();
            opened = box->directory().absolutePath();
            static_cast<QDialog*>(box)->accept();
        });
        const std::string chosen =
            dialogs.browseForFolder("Select folder to save output", dir.path().toStdString());
        QCOMPARE(title, QString("Select folder to save output"));
        QCOMPARE(opened, dir.path());
        QCOMPARE(QString::fromStdString(chosen), dir.path());

        whenModalAppears([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        QCOMPARE(dialogs.browseForFolder("t", dir.path().toStdString()), std::string());
    }

    // --- system -------------------------------------------------------------------------------

    void computerNamesAreShortUpperCaseNetbiosNames() {
        QCOMPARE(netbiosName("web-srv01.corp.test"), std::string("WEB-SRV01"));
        QCOMPARE(netbiosName("averyveryverylonghostname"), std::string("AVERYVERYVERYLO"));
        const std::string own = QtSystem().ComputerName();
        QVERIFY(!own.empty() && own.size() <= 15 && own.find('.') == std::string::npos);
    }

    void theBiasIsTheStandardOffsetInMinutesWestOfUtc() {
        const QByteArray saved = qgetenv("TZ");
        QtSystem system;
        const std::pair<const char*, int> zones[] = {{"America/New_York", 300},
                                                     {"Asia/Kolkata", -330},
                                                     {"Europe/Berlin", -60},
                                                     {"UTC", 0},
                                                     {"Australia/Sydney", -600}};
        for (const auto& [zone, bias] : zones) {
            qputenv("TZ", zone);
            QCOMPARE(system.TimeZoneBias(), Variant(bias));
        }
        qputenv("TZ", "Nowhere/Atlantis");
        const RunTimeError error = errorOf([&] { system.TimeZoneBias(); });
        QCOMPARE(error.number(), 5);
        QVERIFY(error.description().find("Nowhere/Atlantis") != std::string::npos);
        if (saved.isNull()) {
            qunsetenv("TZ");
        } else {
            qputenv("TZ", saved);
        }
    }

    void filesAndTheProgramsFolder() {
        QtSystem system;
        QTemporaryDir dir;
        const QString file = dir.filePath("Quillmark.log");
        QFile(file).open(QIODevice::WriteOnly);
        QVERIFY(system.FileExists(file.toStdString()));
        QVERIFY(!system.FileExists(dir.path().toStdString()));
        QVERIFY(!system.FileExists(dir.filePath("missing.log").toStdString()));
        const std::string folder = system.ApplicationPath();
        QVERIFY(!folder.empty() && folder.back() != '/');
        QVERIFY(QFileInfo(QString::fromStdString(folder)).isDir());
    }

    void theEditorIsTheOneNamedByVisualOrTheDesktopsOpener() {
        QTemporaryDir dir;
        const QString log = dir.filePath("Quillmark.log");
        QtSystem system;
        qunsetenv("EDITOR");

        qputenv("VISUAL", (writeRecorder(QDir(dir.path()), "myeditor", dir.filePath("visual.out")) +
                           " --new-window")
                              .toUtf8());
        system.startTextEditor(log.toStdString());
        QTRY_COMPARE(readAll(dir.filePath("visual.out")), "--new-window|" + log + "|");

        qunsetenv("VISUAL");
        const QByteArray path = qgetenv("PATH");
        QDir bin(dir.filePath("bin"));
        bin.mkpath(".");
        writeRecorder(bin, "xdg-open", dir.filePath("xdg.out"));
        qputenv("PATH", bin.path().toUtf8());
        system.startTextEditor(log.toStdString());
        QTRY_COMPARE(readAll(dir.filePath("xdg.out")), log + "|");

        QFile::remove(bin.filePath("xdg-open"));
        const RunTimeError none = errorOf([&] { system.startTextEditor(log.toStdString()); });
        qputenv("PATH", path);
        QCOMPARE(none.number(), 53);
    }

    void numbersKeepTheLocalesGroupingBothWays() {
        QtSystem system;
        for (std::int64_t number : {0LL, 7LL, 1234LL, 1234567LL, -32768LL}) {
            QCOMPARE(system.parseGrouped(system.formatGrouped(number)), number);
        }
        QCOMPARE(errorOf([&] { system.parseGrouped("twelve"); }).number(), 13);
        const std::string now = system.nowText();
        QVERIFY(now.find(std::to_string(QDate::currentDate().year() % 100)) != std::string::npos);
        QVERIFY(now.find(':') != std::string::npos);
    }

    // --- controls -----------------------------------------------------------------------------

    void theProgressBarFillsUpAtMostAndRefusesNonsense() {
        QProgressBar bar;
        QtProgressBar progress(bar);
        progress.setMaximum(3);
        progress.setValue(2);
        QCOMPARE(bar.value(), 2);
        progress.setValue(5);
        QCOMPARE(bar.value(), 3);
        QCOMPARE(errorOf([&] { progress.setValue(-1); }).number(), 380);
        QCOMPARE(errorOf([&] { progress.setMaximum(0); }).number(), 380);
    }

    void treeNodesRefuseDuplicateKeysAndUnknownParents() {
        TreeView tree(nullptr);
        QCOMPARE(tree.Add("", "k1", "root"), 1);
        QCOMPARE(tree.Add("k1", "k2", "child"), 2);
        QCOMPARE(errorOf([&] { tree.Add("", "k2", "again"); }).number(), 35602);
        QCOMPARE(errorOf([&] { tree.Add("nope", "k3", "orphan"); }).number(), 35601);
        QCOMPARE(errorOf([&] { tree.Child(2); }).number(), 91);
        QCOMPARE(errorOf([&] { tree.Tag(3); }).number(), 9);
        QCOMPARE(tree.Count(), 2);
    }

    // --- the default handling of an untrapped handler -------------------------------------------

    void anErrorInAHandlerWithoutTrapIsReportedAndEndsTheProgram() {
        FakeDialogs dialogs;
        FakeSystem system;
        FakeDirectory directory;
        FakeWorkbookFiles files;
        FakeSpreadsheetFactory spreadsheets(files);
        FakeProgramEnd programEnd;
        ScreenServices services{dialogs, system, directory, spreadsheets, programEnd};

        runEventHandler(services, [] {});
        QVERIFY(dialogs.shown.empty() && !programEnd.status);

        QVERIFY_THROWS_EXCEPTION(ProgramEnded, runEventHandler(services, [] {
                                     throw RunTimeError(53, "File not found", "Quillmark");
                                 }));
        QCOMPARE(dialogs.messages(), std::vector<std::string>{"Run-time error '53':\r\n\r\n"
                                                              "File not found"});
        QCOMPARE(dialogs.shown.back().style, MessageStyle::Critical);
        QCOMPARE(programEnd.status, std::optional<int>(1));
    }
};

QTEST_MAIN(QtPlatformTest)
#include "qt_platform_test.moc"

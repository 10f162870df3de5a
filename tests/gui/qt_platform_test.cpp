#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_system.h"
#include "support/qt_gtest.h"
#include "support/run_time_errors.h"

using namespace qm;
using qm::testing::errorOf;

namespace {

// Acts on the next modal dialog once it is up: a modal blocks in exec(), so the test's hands
// work from a timer that polls for it.
void whenModalAppears(const std::function<void(QWidget*)>& act) {
    QTimer::singleShot(10, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        modal != nullptr ? act(modal) : whenModalAppears(act);
    });
}

}  // namespace

TEST(QtPlatform, inputBoxesMaskPasswordsAndAnswerNothingWhenCancelled) {
    QtDialogs dialogs;
    QString seen;
    for (const bool masked : {true, false}) {
        whenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QInputDialog*>(modal);
            seen = box->labelText() + (box->textEchoMode() == QLineEdit::Password ? "|*" : "|");
            box->setTextValue("s3cret");
            masked ? box->accept() : box->reject();
        });
        ASSERT_EQ(dialogs.inputBox("Quillmark", "Enter", masked), masked ? "s3cret" : "");
        ASSERT_EQ(seen, masked ? QString("Enter|*") : QString("Enter|"));
    }
}

TEST(QtPlatform, fileDialogsShowTheTitleFilterAndKeptName) {
    QTemporaryDir dir;
    // A name that does not exist yet is taken as typed: the Set run tells a missing file itself.
    const QString hours = dir.filePath("hours.xlsx");
    QtDialogs dialogs;
    QString seen;
    whenModalAppears([&](QWidget* modal) {
        auto* box = qobject_cast<QFileDialog*>(modal);
        seen = box->windowTitle() + "|" + control<QComboBox>(*box, "fileTypeCombo").currentText() +
               "|" + box->selectedFiles().join(";");
        static_cast<QDialog*>(box)->accept();
        if (box->isVisible()) {
            static_cast<QDialog*>(box)->reject();
        }
    });
    const auto chosen =
        dialogs.openFile("Select the input Excel spreadsheet file", dir.path().toStdString(),
                         hours.toStdString(), "Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx");
    ASSERT_EQ(seen,
              "Select the input Excel spreadsheet file|Excel Spreadsheet (*.xls;*.xlsx)|" + hours);
    ASSERT_EQ(chosen, std::optional<std::string>(hours.toStdString()));
}

// The standard offset, never the daylight-saving one, whatever the date.
TEST(QtPlatform, theBiasIsTheStandardOffsetInMinutesWestOfUtc) {
    const QByteArray saved = qgetenv("TZ");
    QtSystem system;
    const std::pair<const char*, int> zones[] = {{"America/New_York", 300},
                                                 {"Australia/Sydney", -600}};
    for (const auto& [zone, bias] : zones) {
        qputenv("TZ", zone);
        ASSERT_EQ(system.TimeZoneBias(), Variant(bias));
    }
    qputenv("TZ", "Nowhere/Atlantis");
    const RunTimeError error = errorOf([&] { system.TimeZoneBias(); });
    saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved);
    ASSERT_EQ(error.number(), 5);
    ASSERT_TRUE(error.description().find("Nowhere/Atlantis") != std::string::npos);
}

TEST(QtPlatform, digitGroupingAndTheEditor) {
    QtSystem system;
    for (std::int64_t number : {1234567LL, -32768LL}) {
        ASSERT_EQ(system.parseGrouped(system.formatGrouped(number)), number);
    }
    ASSERT_EQ(errorOf([&] { system.parseGrouped("twelve"); }).number(), 13);

    // The editor gets the file as one argument of its own, with no shell in between. A terminal
    // editor starts only inside a terminal emulator, after any graphical editor; the log's CR LF
    // line ends keep the others out.
    QTemporaryDir dir;
    const QString log = dir.filePath("Quillmark; $(log).log");
    const auto install = [&](const QString& name) {
        QFile script(dir.filePath(name));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"$0.out\"\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const auto argumentsOf = [&](const QString& name) {
        QFile out(dir.filePath(name + ".out"));
        return out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString();
    };
    const QByteArray saved[] = {qgetenv("PATH"), qgetenv("XDG_CURRENT_DESKTOP"), qgetenv("EDITOR")};
    qputenv("PATH", dir.path().toUtf8());
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("EDITOR");
    const std::pair<const char*, const char*> cases[] = {
        {"my editor", "\"%1\" --new-window"}, {"x-terminal-emulator", "vim"}, {"mousepad", "vim"}};
    for (const auto& [program, visual] : cases) {
        install(program);
        install("vim");
        qputenv("VISUAL", QString::fromLatin1(visual).arg(dir.filePath(program)).toUtf8());
        system.startTextEditor(log.toStdString());
    }
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toUtf8());
    const RunTimeError none = errorOf([&] { system.startTextEditor(log.toStdString()); });
    qunsetenv("VISUAL");
    qputenv("PATH", saved[0]);
    saved[1].isNull() ? qunsetenv("XDG_CURRENT_DESKTOP") : qputenv("XDG_CURRENT_DESKTOP", saved[1]);
    saved[2].isNull() ? qunsetenv("EDITOR") : qputenv("EDITOR", saved[2]);
    QM_WAIT_EQ(argumentsOf("my editor"), "--new-window|" + log + "|");
    QM_WAIT_EQ(argumentsOf("x-terminal-emulator"), "-e|vim|" + log + "|");
    QM_WAIT_EQ(argumentsOf("mousepad"), log + "|");
    ASSERT_EQ(argumentsOf("vim"), QString());
    ASSERT_EQ(none.number(), 53);
    ASSERT_NE(none.description().find("CR LF"), std::string::npos);
}

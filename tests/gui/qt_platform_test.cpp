#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/core/run_time_error.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_system.h"
#include "support/qt_gtest.h"

using namespace qm;

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

}  // namespace

class QtPlatformTest : public ::testing::Test {
    void TearDown() override {
        // A failed test may leave a dialog open: close it so the next test starts clean.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
            QCoreApplication::processEvents();
        }
    }
};

TEST_F(QtPlatformTest, inputBoxesMaskPasswordsAndAnswerNothingWhenCancelled) {
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

TEST_F(QtPlatformTest, fileDialogsShowTheTitleFilterAndKeptName) {
    QTemporaryDir dir;
    const QString hours = dir.filePath("hours.xlsx");
    QFile(hours).open(QIODevice::WriteOnly);
    QtDialogs dialogs;
    QString seen;
    whenModalAppears([&](QWidget* modal) {
        auto* box = qobject_cast<QFileDialog*>(modal);
        seen = box->windowTitle() + "|" + box->nameFilters().join(";") + "|" +
               box->selectedFiles().join(";");
        static_cast<QDialog*>(box)->accept();
    });
    const auto chosen =
        dialogs.openFile("Select the input Excel spreadsheet file", hours.toStdString(),
                         hours.toStdString(), "Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx");
    ASSERT_EQ(seen,
              "Select the input Excel spreadsheet file|Excel Spreadsheet (*.xls *.xlsx)|" + hours);
    ASSERT_EQ(chosen, std::optional<std::string>(hours.toStdString()));

    whenModalAppears([&](QWidget* modal) {
        auto* box = qobject_cast<QFileDialog*>(modal);
        seen = box->windowTitle() + "|" + box->directory().absolutePath();
        static_cast<QDialog*>(box)->reject();
    });
    ASSERT_EQ(dialogs.browseForFolder("Select folder", dir.path().toStdString()), "");
    ASSERT_EQ(seen, "Select folder|" + dir.path());
}

// The standard offset, never the daylight-saving one, whatever the date.
TEST_F(QtPlatformTest, theBiasIsTheStandardOffsetInMinutesWestOfUtc) {
    const QByteArray saved = qgetenv("TZ");
    QtSystem system;
    const std::pair<const char*, int> zones[] = {{"America/New_York", 300},
                                                 {"Asia/Kolkata", -330},
                                                 {"Europe/Berlin", -60},
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

TEST_F(QtPlatformTest, digitGroupingAndTheEditor) {
    QtSystem system;
    for (std::int64_t number : {0LL, 1234LL, 1234567LL, -32768LL}) {
        ASSERT_EQ(system.parseGrouped(system.formatGrouped(number)), number);
    }
    ASSERT_EQ(errorOf([&] { system.parseGrouped("twelve"); }).number(), 13);

    // The editor gets the file as one argument of its own, with no shell in between.
    QTemporaryDir dir;
    const QString editor = dir.filePath("my editor");
    QFile script(editor);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"$0.out\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("VISUAL", ("\"" + editor + "\" --new-window").toUtf8());
    const QString log = dir.filePath("Quillmark; $(log).log");
    system.startTextEditor(log.toStdString());
    qunsetenv("VISUAL");
    const auto written = [&] {
        QFile out(editor + ".out");
        return out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()) : QString();
    };
    QM_WAIT_EQ(written(), "--new-window|" + log + "|");
}

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "screen_fixture.h"
#include "shell/about_screen.h"
#include "shell/main_screen.h"

using namespace qm;
using namespace qm::testing;

class MainScreenTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScreenFixture> fixture;
    std::unique_ptr<frmMain> main;

    void showMain() {
        main = std::make_unique<frmMain>(fixture->services);
        showScreen(*main);
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
    }

    std::size_t callCount() { return fixture->directory.calls.size(); }

    const ShownDialog& lastDialog() { return fixture->dialogs.shown.back(); }

private slots:
    void init() {
        fixture = std::make_unique<ScreenFixture>();
        buildCorpDomain(fixture->directory);
    }
    void cleanup() {
        main.reset();
        fixture.reset();
    }

    // --- the first screen ---------------------------------------------------------------------

    void startsWithDocumentAndExcelChosenAndEmptyTexts() {
        showMain();
        QVERIFY(main->optDocument->isChecked() && !main->optSet->isChecked());
        QVERIFY(main->optXL->isChecked() && !main->optCSV->isChecked());
        QVERIFY(main->txtFile->text().isEmpty());
        QVERIFY(main->lblNotice->text().isEmpty());
        QCOMPARE(main->AppTitle(), std::string("Quillmark"));
        QVERIFY(main->selectionScreen() == nullptr && main->aboutScreen() == nullptr);
        QCOMPARE(main->focusWidget(), main->optDocument);
    }

    void controlsHaveTheirCaptionsTipsPlacesAndTabOrder() {
        showMain();
        QCOMPARE(main->windowTitle(), QString("Quillmark"));
        QCOMPARE(main->size(), QSize(388, 375));
        QCOMPARE(main->frmOptions->title(), QString("Options"));
        QCOMPARE(main->frmOptions->toolTip(), QString("Select one option"));
        QCOMPARE(main->frmOptions->geometry(), QRect(80, 13, 193, 105));
        QCOMPARE(main->frmFormat->title(), QString("File Format"));
        QCOMPARE(main->frmFormat->toolTip(), QString("Select one file type"));
        QCOMPARE(main->optSet->geometry(), QRect(16, 64, 160, 25));  // inside its frame
        QCOMPARE(main->optCSV->text(), QString("CSV File (Comma Delimited)"));
        QCOMPARE(main->lblPrompt->text(), QString("Enter file name"));
        QCOMPARE(main->txtFile->toolTip(), QString("Spreadsheet or CSV file"));
        QCOMPARE(main->txtFile->geometry(), QRect(32, 280, 241, 33));
        const std::tuple<QAbstractButton*, const char*, const char*, QRect> buttons[] = {
            {main->cmdAbout, "&About", "About Quillmark, View Log", QRect(293, 96, 81, 33)},
            {main->cmdBrowse, "&Browse...", "Browse for file or folder", QRect(280, 280, 81, 33)},
            {main->cmdExit, "E&xit", "Quit the program", QRect(24, 328, 81, 33)},
            {main->cmdNext, "&Next", "Continue", QRect(253, 328, 81, 33)},
        };
        for (const auto& [button, caption, tip, place] : buttons) {
            QCOMPARE(button->text(), QString(caption));
            QCOMPARE(button->toolTip(), QString(tip));
            QCOMPARE(button->geometry(), place);
        }
        QCOMPARE(main->lblNotice->geometry(), QRect(136, 328, 89, 25));
        QCOMPARE(main->cmdNext->font().pointSizeF(), 8.25);

        const auto order = tabOrderFrom(*main, *main->optDocument, 7);
        QCOMPARE(order.front(), QString("optDocument"));
        QCOMPARE(order.back(), QString("cmdAbout"));
        const std::vector<QString> tail(order.end() - 5, order.end());
        QCOMPARE(tail,
                 (std::vector<QString>{"txtFile", "cmdBrowse", "cmdNext", "cmdExit", "cmdAbout"}));
        QVERIFY(std::find(order.begin(), order.end(), QString("optXL")) < order.end() - 5);
    }

    void choosingAnOptionChangesNothingElseOnTheScreen() {
        showMain();
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        QTest::mouseClick(main->optCSV, Qt::LeftButton);
        QVERIFY(main->optSet->isChecked() && !main->optDocument->isChecked());
        QVERIFY(main->optCSV->isChecked() && !main->optXL->isChecked());
        QCOMPARE(main->lblPrompt->text(), QString("Enter file name"));
        QCOMPARE(main->txtFile->toolTip(), QString("Spreadsheet or CSV file"));
    }

    // --- the flow between screens ---------------------------------------------------------------

    void nextShowsTheSelectionScreenRunningItsStartUpOnceAndBackKeepsItsTree() {
        showMain();
        QTest::keyClick(main.get(), Qt::Key_N, Qt::AltModifier);  // &Next, with no file name
        QTRY_VERIFY(main->selectionScreen() != nullptr && main->selectionScreen()->isVisible());
        frmSelect& select = *main->selectionScreen();
        QVERIFY(!main->isVisible());
        QCOMPARE(main->lblNotice->text(), QString("Please standby..."));
        QCOMPARE(select.tvwContainers->Count(), 11);

        clickCheckBox(*select.tvwContainers, select.tvwContainers->item(2));
        QCOMPARE(select.lblCount->text(), QString("4"));
        const std::size_t callsAfterStartUp = callCount();

        QTest::mouseClick(select.cmdBack, Qt::LeftButton);
        QVERIFY(main->isVisible() && !select.isVisible());
        QVERIFY(main->lblNotice->text().isEmpty());

        // Set and CSV now chosen: the same screen comes back as it was, with no start-up.
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        QTest::mouseClick(main->optCSV, Qt::LeftButton);
        QTest::mouseClick(main->cmdNext, Qt::LeftButton);
        QCOMPARE(main->selectionScreen(), &select);
        QVERIFY(select.isVisible() && !main->isVisible());
        QCOMPARE(callCount(), callsAfterStartUp);
        QVERIFY(select.tvwContainers->isVisible());
        QVERIFY(select.tvwContainers->Checked(2));
        QCOMPARE(select.lblCount->text(), QString("4"));
        QVERIFY(fixture->dialogs.shown.empty());

        // The selection screen reads the first screen's choices when asked, not a copy.
        main->txtFile->setText("/srv/hours.csv");
        QVERIFY(!select.workbookChosen());
        QCOMPARE(select.fileName(), std::string("/srv/hours.csv"));
    }

    void setTaskRunsInsideNextBeforeTheFirstScreenIsHidden() {
        showMain();
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        bool firstScreenVisibleDuringRun = false;
        QString noticeDuringRun;
        fixture->dialogs.onShow = [&](const ShownDialog&) {
            if (noticeDuringRun.isEmpty()) {
                firstScreenVisibleDuringRun = main->isVisible();
                noticeDuringRun = main->lblNotice->text();
            }
        };
        try {
            main->cmdNext_Click();
        } catch (const ProgramEnded&) {
            // The run may end the program through its trap; what matters is what it saw.
        }
        QVERIFY(firstScreenVisibleDuringRun);
        QCOMPARE(noticeDuringRun, QString("Please standby..."));
        QVERIFY(main->selectionScreen() != nullptr);
        QVERIFY(main->selectionScreen()->tvwContainers->isHidden());
    }

    void exitEndsTheProgramEvenWithTheSelectionScreenLoaded() {
        showMain();
        QTest::mouseClick(main->cmdNext, Qt::LeftButton);
        QTest::mouseClick(main->selectionScreen()->cmdBack, Qt::LeftButton);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, main->cmdExit_Click());
        QCOMPARE(fixture->programEnd.status, std::optional<int>(0));
    }

    // --- Browse ---------------------------------------------------------------------------------

    void browseForDocumentOpensTheFolderBrowserAtTheProgramsFolder() {
        showMain();
        main->txtFile->setText("/somewhere/else.xlsx");
        fixture->dialogs.folderAnswers = {"", "  /home/admin/out  "};

        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);  // cancelled
        QCOMPARE(main->txtFile->text(), QString("/somewhere/else.xlsx"));
        QCOMPARE(lastDialog().kind, ShownDialog::Kind::Folder);
        QCOMPARE(lastDialog().title, std::string("Select folder to save output"));
        QCOMPARE(lastDialog().initialDir, std::string("/opt/quillmark"));

        QTest::keyClick(main.get(), Qt::Key_B, Qt::AltModifier);  // &Browse...
        QTRY_COMPARE(main->txtFile->text(), QString("/home/admin/out"));
        QCOMPARE(fixture->dialogs.shown.size(), std::size_t(2));
    }

    void browseForSetOpensTheFileDialogTitledAndFilteredForTheFormat() {
        showMain();
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        fixture->dialogs.openAnswers = {" /data/hours.xlsx "};
        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);
        QCOMPARE(lastDialog().kind, ShownDialog::Kind::OpenFile);
        QCOMPARE(lastDialog().title, std::string("Select the input Excel spreadsheet file"));
        QCOMPARE(lastDialog().filter, std::string("Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx"));
        QCOMPARE(lastDialog().initialDir, std::string());
        QCOMPARE(lastDialog().fileName, std::string());
        QCOMPARE(main->txtFile->text(), QString("/data/hours.xlsx"));

        // The dialog keeps its last name: cleared text and Cancel bring it back.
        main->txtFile->clear();
        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);
        QCOMPARE(main->txtFile->text(), QString("/data/hours.xlsx"));

        QTest::mouseClick(main->optCSV, Qt::LeftButton);
        main->txtFile->setText("/data/week.csv");
        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);
        QCOMPARE(lastDialog().title, std::string("Select the input CSV file"));
        QCOMPARE(lastDialog().filter,
                 std::string("Comma Delimited File (*.csv;*.txt)|*.csv;*.txt"));
        QCOMPARE(lastDialog().initialDir, std::string("/data/week.csv"));
        QCOMPARE(lastDialog().fileName, std::string("/data/week.csv"));
        QCOMPARE(main->txtFile->text(), QString("/data/week.csv"));
        QCOMPARE(main->dlgFiles.DialogTitle, std::string("Select the input CSV file"));
    }

    void aFailingFolderBrowserIsTrappedInBrowseForFolder() {
        showMain();
        fixture->dialogs.failure = {ShownDialog::Kind::Folder,
                                    RunTimeError(7, "Out of memory", "Quillmark")};
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, main->cmdBrowse_Click());
        QCOMPARE(fixture->dialogs.messages(),
                 std::vector<std::string>{"Error 3 in QMK10\r\nError Number: 7\r\n"
                                          "Description:  Out of memory\r\n"
                                          "Source:       Quillmark"});
        QCOMPARE(fixture->programEnd.status, std::optional<int>(1));
    }

    void aFailingOpenDialogIsTrappedInBrowse() {
        showMain();
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        fixture->dialogs.failure = {ShownDialog::Kind::OpenFile,
                                    RunTimeError(32755, "Dialog failed", "CommonDialog")};
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, main->cmdBrowse_Click());
        QVERIFY(fixture->dialogs.messages().front().starts_with("Error 6 in QMK15\r\n"));
    }

    // --- About ----------------------------------------------------------------------------------

    void aboutShowsTheIdentityOnceAndOkGoesBack() {
        showMain();
        QTest::keyClick(main.get(), Qt::Key_A, Qt::AltModifier);  // &About
        QTRY_VERIFY(main->aboutScreen() != nullptr && main->aboutScreen()->isVisible());
        frmAbout& about = *main->aboutScreen();
        QVERIFY(!main->isVisible());
        QCOMPARE(about.windowTitle(), QString("Quillmark"));
        QCOMPARE(about.size(), QSize(304, 327));
        QCOMPARE(about.lblApp->text(), QString("Application: Quillmark"));
        QCOMPARE(about.lblPath->text(), QString("Path: /opt/quillmark"));
        QCOMPARE(about.lblVersion->text(), QString("Version: 2.0.87"));
        QVERIFY(about.lblCopyright->text().startsWith("Copyright"));
        QCOMPARE(about.lblOther->text(),
                 QString("Document and Set Logon Hours for Active Directory and Windows Users"));
        QVERIFY(about.lblContact->text().startsWith("Email Contact: "));
        QVERIFY(about.lblWeb->text().startsWith("Web site: "));
        QCOMPARE(about.cmdReturn->text(), QString("&OK"));
        QCOMPARE(about.cmdReturn->toolTip(), QString("Go back to main screen"));
        QCOMPARE(about.cmdLog->text(), QString("&View Log"));
        QCOMPARE(about.cmdLog->toolTip(), QString("View the log created when Logon Hours are set"));
        QCOMPARE(about.cmdLog->geometry(), QRect(187, 273, 81, 33));
        QCOMPARE(about.lblOther->geometry(), QRect(53, 147, 200, 33));
        QCOMPARE(tabOrderFrom(about, *about.cmdReturn, 3),
                 (std::vector<QString>{"cmdReturn", "cmdLog", "cmdReturn"}));

        QTest::mouseClick(about.cmdReturn, Qt::LeftButton);
        QVERIFY(main->isVisible() && !about.isVisible());

        fixture->system.applicationPath = "/elsewhere";  // labels are not filled again
        QTest::mouseClick(main->cmdAbout, Qt::LeftButton);
        QCOMPARE(main->aboutScreen(), &about);
        QVERIFY(about.isVisible());
        QCOMPARE(about.lblPath->text(), QString("Path: /opt/quillmark"));
    }

    void viewLogExplainsAMissingLogAndOpensAnExistingOne() {
        showMain();
        QTest::mouseClick(main->cmdAbout, Qt::LeftButton);
        frmAbout& about = *main->aboutScreen();

        QTest::mouseClick(about.cmdLog, Qt::LeftButton);
        QVERIFY(fixture->system.editorStarted.empty());
        QCOMPARE(lastDialog().kind, ShownDialog::Kind::Message);
        QCOMPARE(lastDialog().title, std::string("Quillmark"));
        QCOMPARE(lastDialog().style, MessageStyle::Information);
        QCOMPARE(lastDialog().text, std::string("Log file not found. The file is created\r\n"
                                                "when you set logon hours with Quillmark."));

        fixture->system.files.insert("/opt/quillmark/Quillmark.log");
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QTest::keyClick(&about, Qt::Key_V, Qt::AltModifier);  // &View Log
        QTRY_COMPARE(fixture->system.editorStarted,
                     std::vector<std::string>{"/opt/quillmark/Quillmark.log"});
        QCOMPARE(fixture->dialogs.shown.size(), std::size_t(1));
        QVERIFY(about.isVisible() && about.isEnabled());
    }
};

QTEST_MAIN(MainScreenTest)
#include "main_screen_test.moc"

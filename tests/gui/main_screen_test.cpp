#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "screen_fixture.h"
#include "selection/tree_view.h"
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

    void nextRunsTheSelectionStartUpOnceAndBackKeepsItsTree() {
        showMain();
        QVERIFY(main->optDocument->isChecked() && main->optXL->isChecked());
        QTest::keyClick(main.get(), Qt::Key_N, Qt::AltModifier);  // &Next, with no file name
        QTRY_VERIFY(main->selectionScreen() != nullptr && main->selectionScreen()->isVisible());
        auto& select = *main->selectionScreen();
        auto& tree = *select.findChild<TreeView*>("tvwContainers");
        auto& count = *select.findChild<QLabel*>("lblCount");
        QVERIFY(!main->isVisible());
        QCOMPARE(select.containerTree().Count(), 9);
        clickCheckBox(tree, tree.item(2));
        QCOMPARE(count.text(), QString("4"));
        const std::size_t callsAfterStartUp = fixture->directory.calls.size();

        QTest::mouseClick(select.findChild<QWidget*>("cmdBack"), Qt::LeftButton);
        QVERIFY(main->isVisible() && !select.isVisible());

        // Set and CSV chosen now: the same screen comes back as it was, with no start-up.
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        QTest::mouseClick(main->optCSV, Qt::LeftButton);
        QTest::mouseClick(main->cmdNext, Qt::LeftButton);
        QCOMPARE(main->selectionScreen(), &select);
        QVERIFY(select.isVisible() && !main->isVisible());
        QCOMPARE(fixture->directory.calls.size(), callsAfterStartUp);
        QVERIFY(tree.isVisible() && select.containerTree().Checked(2));
        QCOMPARE(count.text(), QString("4"));
        QVERIFY(fixture->dialogs.shown.empty());

        // The runs read the first screen's choices when they ask, not a copy.
        main->txtFile->setText("/srv/hours.csv");
        QVERIFY(!select.workbookChosen());
        QCOMPARE(select.fileName(), std::string("/srv/hours.csv"));
    }

    void browseForDocumentOpensTheFolderBrowserAtTheProgramsFolder() {
        showMain();
        main->txtFile->setText("/somewhere/else.xlsx");
        fixture->dialogs.inputAnswers = {"", "  /home/admin/out  "};

        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);  // cancelled
        QCOMPARE(main->txtFile->text(), QString("/somewhere/else.xlsx"));
        QCOMPARE(lastDialog().title, std::string("Select folder to save output"));
        QCOMPARE(lastDialog().initialDir, std::string("/opt/quillmark"));

        QTest::keyClick(main.get(), Qt::Key_B, Qt::AltModifier);  // &Browse...
        QTRY_COMPARE(main->txtFile->text(), QString("/home/admin/out"));
    }

    void browseForSetOpensTheFileDialogTitledAndFilteredForTheFormat() {
        showMain();
        QTest::mouseClick(main->optSet, Qt::LeftButton);
        fixture->dialogs.inputAnswers = {" /data/hours.xlsx "};
        QTest::mouseClick(main->cmdBrowse, Qt::LeftButton);
        QCOMPARE(lastDialog().title, std::string("Select the input Excel spreadsheet file"));
        QCOMPARE(lastDialog().filter, std::string("Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx"));
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
    }

    void aboutShowsTheIdentityAndViewLogOpensTheLog() {
        showMain();
        QTest::keyClick(main.get(), Qt::Key_A, Qt::AltModifier);  // &About
        QTRY_VERIFY(main->aboutScreen() != nullptr && main->aboutScreen()->isVisible());
        frmAbout& about = *main->aboutScreen();
        QVERIFY(!main->isVisible());
        QCOMPARE(about.lblApp->text(), QString("Application: Quillmark"));
        QCOMPARE(about.lblPath->text(), QString("Path: /opt/quillmark"));
        QCOMPARE(about.lblVersion->text(), QString("Version: 2.0.87"));
        QCOMPARE(about.lblOther->text(),
                 QString("Document and Set Logon Hours for Active Directory and Windows Users"));

        QTest::mouseClick(about.cmdLog, Qt::LeftButton);
        QVERIFY(fixture->system.editorStarted.empty());
        QCOMPARE(lastDialog().style, MessageStyle::Information);
        QCOMPARE(lastDialog().text, std::string("Log file not found. The file is created\r\n"
                                                "when you set logon hours with Quillmark."));
        fixture->system.files.insert("/opt/quillmark/Quillmark.log");
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QTest::keyClick(&about, Qt::Key_V, Qt::AltModifier);  // &View Log
        QTRY_COMPARE(fixture->system.editorStarted,
                     std::vector<std::string>{"/opt/quillmark/Quillmark.log"});

        QTest::mouseClick(about.cmdReturn, Qt::LeftButton);
        QVERIFY(main->isVisible() && !about.isVisible());
    }
};

QTEST_MAIN(MainScreenTest)
#include "main_screen_test.moc"

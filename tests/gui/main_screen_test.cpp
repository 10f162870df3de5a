#include <QApplication>
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

class MainScreenTest : public ::testing::Test {
protected:
    MainScreenTest() { buildCorpDomain(fixture.directory); }

    ScreenFixture fixture;
    std::unique_ptr<MainScreen> main;

    void showMain() {
        main = std::make_unique<MainScreen>(fixture.services);
        showScreen(*main);
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    }

    QRadioButton& option(const char* name) { return control<QRadioButton>(*main, name); }
    QLineEdit& txtFile() { return control<QLineEdit>(*main, "txtFile"); }
    QWidget& button(const char* name) { return control(*main, name); }

    const ShownDialog& lastDialog() { return fixture.dialogs.shown.back(); }
};

TEST_F(MainScreenTest, nextRunsTheSelectionStartUpOnceAndBackKeepsItsTree) {
    showMain();
    ASSERT_TRUE(option("optDocument").isChecked() && option("optXL").isChecked());
    // The caret starts in the file name, the first control in tab order that takes focus.
    ASSERT_EQ(QApplication::focusWidget(), &txtFile());
    QTest::keyClick(main.get(), Qt::Key_N, Qt::AltModifier);  // &Next, with no file name
    QM_WAIT_TRUE(main->selectionScreen() != nullptr && main->selectionScreen()->isVisible());
    auto& select = *main->selectionScreen();
    auto& tree = *select.findChild<TreeView*>("tvwContainers");
    auto& count = *select.findChild<QLabel*>("lblCount");
    ASSERT_TRUE(!main->isVisible());
    QM_WAIT_TRUE(QApplication::focusWidget() == select.findChild<QWidget*>("cmdAdd"));
    ASSERT_EQ(select.containerTree().Count(), 9);
    clickCheckBox(tree, tree.item(2));
    ASSERT_EQ(count.text(), QString("4"));
    const std::size_t callsAfterStartUp = fixture.directory.calls.size();

    QTest::mouseClick(select.findChild<QWidget*>("cmdBack"), Qt::LeftButton);
    ASSERT_TRUE(main->isVisible() && !select.isVisible());

    // Set and CSV chosen now: the same screen comes back as it was, with no start-up.
    QTest::mouseClick(&option("optSet"), Qt::LeftButton);
    QTest::mouseClick(&option("optCSV"), Qt::LeftButton);
    QTest::mouseClick(&button("cmdNext"), Qt::LeftButton);
    ASSERT_EQ(main->selectionScreen(), &select);
    ASSERT_TRUE(select.isVisible() && !main->isVisible());
    ASSERT_EQ(fixture.directory.calls.size(), callsAfterStartUp);
    ASSERT_TRUE(tree.isVisible() && select.containerTree().Checked(2));
    ASSERT_EQ(count.text(), QString("4"));
    ASSERT_TRUE(fixture.dialogs.shown.empty());

    // The runs read the first screen's choices when they ask, not a copy.
    txtFile().setText("/srv/hours.csv");
    ASSERT_TRUE(!select.workbookChosen());
    ASSERT_EQ(select.fileName(), std::string("/srv/hours.csv"));
}

TEST_F(MainScreenTest, browseForDocumentOpensTheFolderBrowserAtTheProgramsFolder) {
    showMain();
    txtFile().setText("/somewhere/else.xlsx");
    fixture.dialogs.inputAnswers = {"", "  /home/admin/out  "};

    QTest::mouseClick(&button("cmdBrowse"), Qt::LeftButton);  // cancelled
    ASSERT_EQ(txtFile().text(), QString("/somewhere/else.xlsx"));
    ASSERT_EQ(lastDialog().title, std::string("Select folder to save output"));
    ASSERT_EQ(lastDialog().initialDir, std::string("/opt/quillmark"));

    QTest::keyClick(main.get(), Qt::Key_B, Qt::AltModifier);  // &Browse...
    QM_WAIT_EQ(txtFile().text(), QString("/home/admin/out"));
}

TEST_F(MainScreenTest, browseForSetOpensTheFileDialogTitledAndFilteredForTheFormat) {
    showMain();
    QTest::mouseClick(&option("optSet"), Qt::LeftButton);
    fixture.dialogs.inputAnswers = {" /data/hours.xlsx "};
    QTest::mouseClick(&button("cmdBrowse"), Qt::LeftButton);
    ASSERT_EQ(lastDialog().title, std::string("Select the input Excel spreadsheet file"));
    ASSERT_EQ(lastDialog().filter, std::string("Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx"));
    ASSERT_EQ(txtFile().text(), QString("/data/hours.xlsx"));

    // The dialog keeps its last name: cleared text and Cancel bring it back.
    txtFile().clear();
    QTest::mouseClick(&button("cmdBrowse"), Qt::LeftButton);
    ASSERT_EQ(txtFile().text(), QString("/data/hours.xlsx"));

    QTest::mouseClick(&option("optCSV"), Qt::LeftButton);
    txtFile().setText("/data/week.csv");
    QTest::mouseClick(&button("cmdBrowse"), Qt::LeftButton);
    ASSERT_EQ(lastDialog().title, std::string("Select the input CSV file"));
    ASSERT_EQ(lastDialog().filter, std::string("Comma Delimited File (*.csv;*.txt)|*.csv;*.txt"));
    ASSERT_EQ(lastDialog().initialDir, std::string("/data/week.csv"));
    ASSERT_EQ(lastDialog().fileName, std::string("/data/week.csv"));
    ASSERT_EQ(txtFile().text(), QString("/data/week.csv"));
}

TEST_F(MainScreenTest, aboutShowsTheIdentityAndViewLogOpensTheLog) {
    showMain();
    QTest::keyClick(main.get(), Qt::Key_A, Qt::AltModifier);  // &About
    QM_WAIT_TRUE(main->aboutScreen() != nullptr && main->aboutScreen()->isVisible());
    AboutScreen& about = *main->aboutScreen();
    ASSERT_TRUE(!main->isVisible());
    const auto label = [&](const char* name) { return control<QLabel>(about, name).text(); };
    ASSERT_EQ(label("lblApp"), QString("Application: Quillmark"));
    ASSERT_EQ(label("lblPath"), QString("Path: /opt/quillmark"));
    ASSERT_EQ(label("lblVersion"), QString("Version: 2.0.87"));
    ASSERT_EQ(label("lblOther"),
              QString("Document and Set Logon Hours for Active Directory and Windows Users"));

    QTest::mouseClick(&control(about, "cmdLog"), Qt::LeftButton);
    ASSERT_TRUE(fixture.system.editorStarted.empty());
    ASSERT_EQ(lastDialog().style, MessageStyle::Information);
    ASSERT_EQ(lastDialog().text, std::string("Log file not found. The file is created\r\n"
                                             "when you set logon hours with Quillmark."));
    fixture.system.files.insert("/opt/quillmark/Quillmark.log");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    QTest::keyClick(&about, Qt::Key_V, Qt::AltModifier);  // &View Log
    QM_WAIT_EQ(fixture.system.editorStarted,
               std::vector<std::string>{"/opt/quillmark/Quillmark.log"});

    QTest::mouseClick(&control(about, "cmdReturn"), Qt::LeftButton);
    ASSERT_TRUE(main->isVisible() && !about.isVisible());
}

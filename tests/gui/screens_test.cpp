// The first screen, the About screen and the selection screen with the platform services faked.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "screen_fixture.h"
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

    QLineEdit& txtFile() { return control<QLineEdit>(*main, "txtFile"); }

    const ShownDialog& lastDialog() { return fixture.dialogs.shown.back(); }
};

TEST_F(MainScreenTest, nextRunsTheSelectionStartUpOnceAndBackKeepsItsTree) {
    showMain();
    ASSERT_TRUE(control<QRadioButton>(*main, "optDocument").isChecked() &&
                control<QRadioButton>(*main, "optXL").isChecked());
    // The caret starts in the file name, the first control in tab order that takes focus.
    ASSERT_EQ(QApplication::focusWidget(), &txtFile());
    QTest::keyClick(main.get(), Qt::Key_N, Qt::AltModifier);  // &Next, with no file name
    QM_WAIT_TRUE(main->selectionScreen() != nullptr && main->selectionScreen()->isVisible());
    auto& select = *main->selectionScreen();
    auto& count = *select.findChild<QLabel*>("lblCount");
    ASSERT_TRUE(!main->isVisible());
    QM_WAIT_TRUE(QApplication::focusWidget() == select.findChild<QWidget*>("cmdAdd"));
    ASSERT_EQ(select.containerTree().Count(), 9);
    clickNode(select, 2);
    ASSERT_EQ(count.text(), QString("4"));
    const std::size_t callsAfterStartUp = fixture.directory.calls.size();

    press(select, "cmdBack");
    ASSERT_TRUE(main->isVisible() && !select.isVisible());

    // Set and CSV chosen now: the same screen comes back as it was, with no start-up.
    press(*main, "optSet");
    press(*main, "optCSV");
    press(*main, "cmdNext");
    ASSERT_EQ(main->selectionScreen(), &select);
    ASSERT_TRUE(select.isVisible() && !main->isVisible());
    ASSERT_EQ(fixture.directory.calls.size(), callsAfterStartUp);
    ASSERT_TRUE(control(select, "tvwContainers").isVisible() && select.containerTree().Checked(2));
    ASSERT_EQ(count.text(), QString("4"));
    ASSERT_TRUE(fixture.dialogs.shown.empty());

    // The runs read the first screen's choices when they ask, not a copy.
    txtFile().setText("/srv/hours.csv");
    ASSERT_TRUE(!select.workbookChosen());
    ASSERT_EQ(select.fileName(), std::string("/srv/hours.csv"));
}

// Document: the folder browser at the program's folder; Set: the file dialog of the format.
TEST_F(MainScreenTest, browseOpensTheFolderBrowserOrTheFileDialogTitledAndFilteredForTheFormat) {
    showMain();
    txtFile().setText("/somewhere/else.xlsx");
    fixture.dialogs.inputAnswers = {"", "  /home/admin/out  "};

    press(*main, "cmdBrowse");  // cancelled
    ASSERT_EQ(txtFile().text(), QString("/somewhere/else.xlsx"));
    ASSERT_EQ(lastDialog().title, std::string("Select folder to save output"));
    ASSERT_EQ(lastDialog().initialDir, std::string("/opt/quillmark"));

    QTest::keyClick(main.get(), Qt::Key_B, Qt::AltModifier);  // &Browse...
    QM_WAIT_EQ(txtFile().text(), QString("/home/admin/out"));

    press(*main, "optSet");
    fixture.dialogs.inputAnswers = {" /data/hours.xlsx "};
    press(*main, "cmdBrowse");
    ASSERT_EQ(lastDialog().title, std::string("Select the input Excel spreadsheet file"));
    ASSERT_EQ(lastDialog().filter, std::string("Excel Spreadsheet (*.xls;*.xlsx)|*.xls;*.xlsx"));
    ASSERT_EQ(txtFile().text(), QString("/data/hours.xlsx"));

    // The dialog keeps its last name: cleared text and Cancel bring it back.
    txtFile().clear();
    press(*main, "cmdBrowse");
    ASSERT_EQ(txtFile().text(), QString("/data/hours.xlsx"));

    press(*main, "optCSV");
    txtFile().setText("/data/week.csv");
    press(*main, "cmdBrowse");
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

    press(about, "cmdLog");
    ASSERT_TRUE(fixture.system.editorStarted.empty());
    ASSERT_EQ(lastDialog().style, MessageStyle::Information);
    ASSERT_EQ(lastDialog().text, std::string("Log file not found. The file is created\r\n"
                                             "when you set logon hours with Quillmark."));
    fixture.system.files.insert("/opt/quillmark/Quillmark.log");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    QTest::keyClick(&about, Qt::Key_V, Qt::AltModifier);  // &View Log
    QM_WAIT_EQ(fixture.system.editorStarted,
               std::vector<std::string>{"/opt/quillmark/Quillmark.log"});

    press(about, "cmdReturn");
    ASSERT_TRUE(main->isVisible() && !about.isVisible());
}

// The screen around the container tree, whose rules have tests of their own: layouts, captions,
// the traps of start-up and Add Computer, and what a person's clicks and keys reach.
class SelectionScreenTest : public ::testing::Test {
protected:
    SelectionScreenTest() { buildCorpDomain(fixture->directory); }

    std::unique_ptr<ScreenFixture> fixture = std::make_unique<ScreenFixture>();
    FakeFirstScreen firstScreen;
    std::unique_ptr<SelectionScreen> screen;

    void load() {
        screen = std::make_unique<SelectionScreen>(fixture->services, firstScreen);
        screen->startUp();
    }
    void startUp() {
        load();
        showScreen(*screen);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    }

    QWidget* widget(const char* name) { return screen->findChild<QWidget*>(name); }
    TreeView& tree() { return *screen->findChild<TreeView*>("tvwContainers"); }
    QString count() { return screen->findChild<QLabel*>("lblCount")->text(); }

    // "1" for each widget visible on its screen and enabled, "0" for each other one.
    std::string flags(std::initializer_list<const char*> names) {
        std::string result;
        for (const char* name : names) {
            QWidget* control = widget(name);
            result += control->isVisibleTo(screen.get()) && control->isEnabled() ? '1' : '0';
        }
        return result;
    }
    std::string selectionButtons() { return flags({"cmdExpand", "cmdClear", "cmdOK"}); }
};

TEST_F(SelectionScreenTest, DocumentStartUpShowsTheTreeAndDisablesWhatNeedsASelection) {
    startUp();
    EXPECT_EQ(tree().item(2).childCount(), 4);  // the model's nodes, shown under their parent
    EXPECT_EQ(count(), QString("0"));
    EXPECT_EQ(selectionButtons(), std::string("000"));
    EXPECT_EQ(flags({"tvwContainers", "cmdAdd", "cmdAddDomain", "lblNumber"}), std::string("1111"));
    EXPECT_TRUE(fixture->dialogs.shown.empty());

    // Enlarged, the tree takes the room; below it, controls keep their distances from the bottom
    // edge and from the nearer side edge, the progress bar widens. The first size is the smallest.
    const QRect tree = widget("tvwContainers")->geometry(), exit = widget("cmdExit")->geometry(),
                ok = widget("cmdOK")->geometry(), bar = widget("pbrUsers")->geometry();
    const QSize first = screen->size();
    screen->resize(first + QSize(200, 300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget("cmdExit")->geometry() != exit; }));
    ASSERT_EQ(widget("tvwContainers")->geometry(), tree.adjusted(0, 0, 200, 300));
    ASSERT_EQ(widget("cmdExit")->geometry(), exit.translated(0, 300));
    ASSERT_EQ(widget("cmdOK")->geometry(), ok.translated(200, 300));
    ASSERT_EQ(widget("pbrUsers")->geometry(), bar.adjusted(0, 300, 200, 300));
    ASSERT_EQ(screen->minimumSize(), first);

    EXPECT_THROW(press(*screen, "cmdExit"), ProgramEnded);
    EXPECT_EQ(fixture->directory.calls.back(), std::string("close connection"));
    EXPECT_EQ(fixture->programEnd.status, std::optional<int>(kExitNormally));
}

TEST_F(SelectionScreenTest, SetStartUpHidesTheSelectionControlsBeforeTheSetRun) {
    firstScreen.document = false;
    std::string duringRun;
    fixture->dialogs.onShow = [&](const ShownDialog&) {
        duringRun =
            flags({"tvwContainers", "cmdExpand", "cmdClear", "cmdAdd", "cmdAddDomain", "cmdOK",
                   "lblNumber", "lblCount", "lblSelect", "pbrUsers", "cmdBack", "cmdExit"});
    };
    load();  // no file named: the run shows a box and returns
    EXPECT_EQ(duringRun, std::string("000000001111"));
    EXPECT_EQ(screen->containerTree().Count(), 0);
    EXPECT_TRUE(fixture->directory.calls.empty());
}

// A trapped handler shows a critical box naming its routine and step, closes the query
// connection when it is open, and ends the program.
TEST_F(SelectionScreenTest, TrapsNameTheirRoutineAndStepAndEndTheProgram) {
    const auto expectTrap = [&](const std::string& message, bool closesConnection) {
        EXPECT_EQ(fixture->dialogs.messages(), std::vector<std::string>{message});
        EXPECT_EQ(fixture->dialogs.shown.back().style, MessageStyle::Critical);
        EXPECT_EQ(fixture->programEnd.status, std::optional<int>(kExitAfterError));
        EXPECT_EQ(fixture->directory.calls.back() == "close connection", closesConnection);
    };
    fixture->directory.fail("computer", "PC1", noSuchObject());
    EXPECT_THROW(load(), ProgramEnded);
    expectTrap(
        "Error 6 in QMK1\r\nError Number: -2147016656\r\nDescription:  There is no such "
        "object on the server.\r\nSource:       Active Directory",
        false);

    screen.reset();
    fixture = std::make_unique<ScreenFixture>();
    buildCorpDomain(fixture->directory);
    load();
    fixture->dialogs.inputAnswers = {"pc1"};
    EXPECT_THROW(press(*screen, "cmdAdd"), ProgramEnded);
    expectTrap(
        "Error 3 in QMK22\r\nError Number: 35602\r\nDescription:  Key is not unique in "
        "collection\r\nSource:       TreeView",
        true);
}

// The buttons follow the marks; the program's own marks show too.
TEST_F(SelectionScreenTest, ClicksAndMnemonicsReachTheTree) {
    startUp();
    clickNode(*screen, 2);
    EXPECT_EQ(selectionButtons(), std::string("111"));
    press(*screen, "cmdExpand");
    EXPECT_EQ(count(), QString("7"));  // 4 + 1 + 2
    EXPECT_EQ(tree().item(3).checkState(0), Qt::Checked);
    QTest::keyClick(screen.get(), Qt::Key_N, Qt::AltModifier);  // Clear All &Nodes
    QM_WAIT_EQ(count(), QString("0"));
    EXPECT_EQ(tree().item(2).checkState(0), Qt::Unchecked);
    EXPECT_EQ(selectionButtons(), std::string("000"));
}

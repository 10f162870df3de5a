#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "screen_fixture.h"
#include "selection/selection_screen.h"
#include "selection/tree_view.h"

using namespace qm;
using namespace qm::testing;

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
    void click(int node) { clickCheckBox(tree(), tree().item(node)); }
    QString count() { return screen->findChild<QLabel*>("lblCount")->text(); }
    void press(const char* button, int times = 1) {
        for (int i = 0; i < times; ++i) {
            QTest::mouseClick(widget(button), Qt::LeftButton);
        }
    }

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
    EXPECT_EQ(screen->biasHours().value(), 5);
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

    EXPECT_THROW(press("cmdExit"), ProgramEnded);
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
    const std::tuple<std::function<void()>, std::string, bool> cases[] = {
        {[&] {
             fixture->directory.fail("computer", "PC1", noSuchObject());
             load();
         },
         "Error 6 in QMK1\r\nError Number: -2147016656\r\n"
         "Description:  There is no such object on the server.\r\n"
         "Source:       Active Directory",
         false},
        {[&] {
             load();
             fixture->dialogs.inputAnswers = {"pc1"};
             press("cmdAdd");
         },
         "Error 3 in QMK22\r\nError Number: 35602\r\n"
         "Description:  Key is not unique in collection\r\nSource:       TreeView",
         true},
    };
    for (const auto& [act, message, closesConnection] : cases) {
        screen.reset();
        fixture = std::make_unique<ScreenFixture>();
        buildCorpDomain(fixture->directory);
        EXPECT_THROW(act(), ProgramEnded);
        EXPECT_EQ(fixture->dialogs.messages(), std::vector<std::string>{message});
        EXPECT_EQ(fixture->dialogs.shown.back().style, MessageStyle::Critical);
        EXPECT_EQ(fixture->programEnd.status, std::optional<int>(kExitAfterError));
        EXPECT_EQ(fixture->directory.calls.back() == "close connection", closesConnection);
    }
}

// The buttons follow the marks; the program's own marks show too.
TEST_F(SelectionScreenTest, ClicksAndMnemonicsReachTheTree) {
    startUp();
    click(2);
    EXPECT_EQ(selectionButtons(), std::string("111"));
    press("cmdExpand");
    EXPECT_EQ(count(), QString("7"));  // 4 + 1 + 2
    EXPECT_EQ(tree().item(3).checkState(0), Qt::Checked);
    QTest::keyClick(screen.get(), Qt::Key_N, Qt::AltModifier);  // Clear All &Nodes
    QM_WAIT_EQ(count(), QString("0"));
    EXPECT_EQ(tree().item(2).checkState(0), Qt::Unchecked);
    EXPECT_EQ(selectionButtons(), std::string("000"));
}

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "screen_fixture.h"
#include "selection/selection_screen.h"

using namespace qm;
using namespace qm::testing;

namespace {

struct FakeFirstScreen : FirstScreen {
    bool document = true;
    bool optDocumentValue() override { return document; }
    bool optXLValue() override { return false; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

// "1" for each widget visible on its screen, "0" for each hidden or disabled one.
std::string flags(std::initializer_list<QWidget*> widgets) {
    std::string result;
    for (QWidget* widget : widgets) {
        result += widget->isVisibleTo(widget->window()) && widget->isEnabled() ? '1' : '0';
    }
    return result;
}

}  // namespace

class SelectionScreenTest : public ::testing::Test {
protected:
    std::unique_ptr<ScreenFixture> fixture;
    FakeFirstScreen firstScreen;
    std::unique_ptr<frmSelect> screen;

    void load() {
        screen = std::make_unique<frmSelect>(fixture->services, firstScreen);
        screen->Form_Load();
    }
    void startUp() {
        load();
        showScreen(*screen);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    }

    TreeView& tree() { return *screen->tvwContainers; }
    void click(int node) { clickCheckBox(tree(), tree().item(node)); }
    QString count() { return screen->lblCount->text(); }
    // Include Sub Nodes, Clear All and Document.
    std::string selectionButtons() {
        return flags({screen->cmdExpand, screen->cmdClear, screen->cmdOK});
    }

    // The tree as an outline: a dot for each level below the root, "+" before a checked node, "#"
    // after a local computer, "*" after a domain.
    std::string outline() {
        std::string text;
        for (int i = 1; i <= tree().Count(); ++i) {
            for (auto* up = tree().item(i).parent(); up != nullptr; up = up->parent()) {
                text += '.';
            }
            const std::string& tag = tree().Tag(i);
            text += (tree().Checked(i) ? "+" : "") + tree().Text(i) +
                    (tag == "Local Computer" ? "# "
                     : tag == "Domain"       ? "* "
                                             : " ");
        }
        return text;
    }

    int queries() {
        const auto& calls = fixture->directory.calls;
        return int(std::ranges::count_if(calls, [](auto& c) { return c.starts_with("query "); }));
    }

    void SetUp() override {
        fixture = std::make_unique<ScreenFixture>();
        firstScreen = {};
        buildCorpDomain(fixture->directory);
    }

    void TearDown() override {
        screen.reset();
        fixture.reset();
    }
};

TEST_F(SelectionScreenTest,
       documentStartUpBuildsTheTreeDepthFirstWithoutTheDomainsSystemContainer) {
    startUp();
    ASSERT_EQ(outline(), std::string("PC1# DC=corp* .CN=Builtin .CN=Users .OU=Sales ..OU=East "
                                     "..CN=System .DC=emea* ..CN=Users "));
    ASSERT_EQ(tree().Key(1), std::string("WinNT://PC1"));
    ASSERT_EQ(tree().Key(7), "LDAP://CN=System,OU=Sales," + kCorp);
    ASSERT_EQ(count(), QString("0"));
    ASSERT_EQ(selectionButtons(), std::string("000"));
    ASSERT_EQ(
        flags({screen->tvwContainers, screen->cmdAdd, screen->cmdAddDomain, screen->lblNumber}),
        std::string("1111"));
    ASSERT_EQ(screen->BiasHours().value(), 5);
    ASSERT_TRUE(fixture->dialogs.shown.empty());

    // Enlarged, the tree takes the room; below it, controls keep their distances from the bottom
    // edge and from the nearer side edge, the progress bar widens. The first size is the smallest.
    const QRect tree = rectFromTwips(1320, 600, 6855, 5055),
                exit = rectFromTwips(1440, 7700, 1215, 495),
                ok = rectFromTwips(7200, 7700, 1600, 495),
                bar = rectFromTwips(1560, 7050, 6075, 495);
    ASSERT_EQ(screen->tvwContainers->geometry(), tree);
    ASSERT_EQ(screen->cmdOK->geometry(), ok);
    const QSize first = screen->size();
    screen->resize(first + QSize(200, 300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen->cmdExit->geometry() != exit; }));
    ASSERT_EQ(screen->tvwContainers->geometry(), tree.adjusted(0, 0, 200, 300));
    ASSERT_EQ(screen->cmdExit->geometry(), exit.translated(0, 300));
    ASSERT_EQ(screen->cmdOK->geometry(), ok.translated(200, 300));
    ASSERT_EQ(screen->pbrUsers->geometry(), bar.adjusted(0, 300, 200, 300));
    ASSERT_EQ(screen->minimumSize(), first);

    ASSERT_THROW(screen->cmdExit_Click(), ProgramEnded);
    ASSERT_EQ(fixture->directory.calls.back(), std::string("close connection"));
    ASSERT_EQ(fixture->programEnd.status, std::optional<int>(kExitNormally));
}

TEST_F(SelectionScreenTest, setStartUpHidesTheSelectionControlsBeforeTheSetRun) {
    firstScreen.document = false;
    std::string duringRun;
    fixture->dialogs.onShow = [&](const ShownDialog&) {
        duringRun =
            flags({screen->tvwContainers, screen->cmdExpand, screen->cmdClear, screen->cmdAdd,
                   screen->cmdAddDomain, screen->cmdOK, screen->lblNumber, screen->lblCount,
                   screen->lblSelect, screen->pbrUsers, screen->cmdBack, screen->cmdExit});
    };
    load();  // no file named: the run shows a box and returns
    ASSERT_EQ(duringRun, std::string("000000001111"));
    ASSERT_EQ(tree().Count(), 0);
    ASSERT_TRUE(std::ranges::none_of(fixture->directory.calls,
                                     [](auto& call) { return call.ends_with("RootDSE"); }));
}

// A trapped handler shows a critical box naming its routine and step, closes the query
// connection when it is open, and ends the program.
TEST_F(SelectionScreenTest, trapsNameTheirRoutineAndStepAndEndTheProgram) {
    const std::string sales = "LDAP://OU=Sales," + kCorp;
    const std::tuple<std::function<void()>, std::string, bool> cases[] = {
        {[&] {
             fixture->directory.fail("bind", "WinNT://PC1,computer", noSuchObject());
             load();
         },
         "Error 6 in QMK1\r\nError Number: -2147016656\r\n"
         "Description:  There is no such object on the server.\r\n"
         "Source:       Active Directory",
         false},
        {[&] {
             load();
             fixture->directory.fail("query", sales, RunTimeError(1, "Failed", "Provider"));
             tree().setChecked(5, true);
             screen->tvwContainers_NodeCheck(5);
         },
         "Error 5 in QMK6\r\n", true},
        {[&] {
             load();
             fixture->dialogs.inputAnswers = {"pc1"};
             screen->cmdAdd_Click();
         },
         "Error 3 in QMK22\r\nError Number: 35602\r\n"
         "Description:  Key is not unique in collection\r\nSource:       TreeView",
         true},
        {[&] {
             load();
             fixture->dialogs.inputAnswers = {kCorp};
             screen->cmdAddDomain_Click();
         },
         "Error 2 in QMK4\r\nError Number: 35602\r\n", true},
    };
    for (const auto& [act, message, closesConnection] : cases) {
        TearDown();
        SetUp();
        ASSERT_THROW(act(), ProgramEnded);
        const auto messages = fixture->dialogs.messages();
        ASSERT_EQ(messages.size(), std::size_t(1));
        QM_VERIFY2(messages[0].starts_with(message), messages[0].c_str());
        ASSERT_EQ(fixture->dialogs.shown.back().style, MessageStyle::Critical);
        ASSERT_EQ(fixture->programEnd.status, std::optional<int>(kExitAfterError));
        ASSERT_EQ(fixture->directory.calls.back() == "close connection", closesConnection);
    }
}

// Only a person's change of a check mark counts: marks set by the program do not.
TEST_F(SelectionScreenTest, checkingAndUncheckingCountsTheUsersDirectlyInEachNode) {
    startUp();
    click(2);  // the domain: 4 users, not the contact nor the computer account
    ASSERT_EQ(count(), QString("4"));
    ASSERT_EQ(selectionButtons(), std::string("111"));
    click(5);  // OU=Sales: 2, not OU=East's
    click(4);  // CN=Users: a user, not the group
    click(1);  // PC1: 3 local users, not the group
    ASSERT_EQ(count(), QString("10"));

    const int queriesBefore = queries();
    click(2);
    ASSERT_EQ(queries(), queriesBefore + 1);  // counted afresh on uncheck
    ASSERT_EQ(count(), QString("6"));
    for (int node : {5, 4, 1}) {
        click(node);
    }
    ASSERT_EQ(count(), QString("0"));
    ASSERT_EQ(selectionButtons(), std::string("000"));

    const int quiet = queries();
    tree().setChecked(2, true);
    tree().item(3).setText(0, "renamed");
    ASSERT_EQ(queries(), quiet);
    ASSERT_EQ(count(), QString("0"));
    click(2);  // a person's uncheck of the program's mark is counted
    ASSERT_EQ(count(), QString("-4"));
}

// The example: 1 the local computer, 2 domain D, 3 OU A, 4 OU A1 below A, 5 OU B, 6 OU B1
// below B, with 1, 2, 3, 4, 5 users in D, A, A1, B, B1.
TEST_F(SelectionScreenTest, includeSubNodesChecksFromTheFirstToTheLastChildOnly) {
    fixture = std::make_unique<ScreenFixture>();
    auto& directory = fixture->directory;
    directory.addComputer("PC1");
    directory.setRootDomain("DC=d");
    directory.addDomain("DC=d");
    directory.addContainer("DC=d", "OU=A");
    directory.addContainer("OU=A,DC=d", "OU=A1");
    directory.addContainer("DC=d", "OU=B");
    directory.addContainer("OU=B,DC=d", "OU=B1");
    int users = 1;
    for (const char* dn :
         {"DC=d", "OU=A,DC=d", "OU=A1,OU=A,DC=d", "OU=B,DC=d", "OU=B1,OU=B,DC=d"}) {
        for (int user = 0; user < users; ++user) {
            directory.addUser(dn, std::to_string(users) + "-" + std::to_string(user));
        }
        ++users;
    }
    startUp();
    click(2);
    QTest::mouseClick(screen->cmdExpand, Qt::LeftButton);
    QTest::mouseClick(screen->cmdExpand, Qt::LeftButton);  // node 6 stays out of reach
    ASSERT_EQ(outline(), std::string("PC1# +DC=d* .+OU=A ..+OU=A1 .+OU=B ..OU=B1 "));
    ASSERT_EQ(count(), QString("10"));  // 1 + 2 + 3 + 4
}

TEST_F(SelectionScreenTest, clearAllRemovesEveryMarkWithoutAQuery) {
    startUp();
    for (int node : {1, 2, 5}) {
        click(node);
    }
    const int before = queries();
    QTest::keyClick(screen.get(), Qt::Key_N, Qt::AltModifier);  // Clear All &Nodes
    QM_WAIT_EQ(count(), QString("0"));
    ASSERT_EQ(queries(), before);
    ASSERT_TRUE(outline().find('+') == std::string::npos);
    ASSERT_EQ(selectionButtons(), std::string("000"));
    click(2);  // a new check counts from zero
    ASSERT_EQ(count(), QString("4"));
}

TEST_F(SelectionScreenTest, addComputerAndAddDomainAddUncheckedRootNodesAndReportUnknownNames) {
    fixture->directory.addComputer("FILESRV");
    fixture->directory.addLocalUser("FILESRV", "svc1");
    const std::string remote = "OU=Remote,DC=other,DC=test";
    fixture->directory.addDomain("DC=other,DC=test");
    fixture->directory.addContainer("DC=other,DC=test", "OU=Remote");
    fixture->directory.addContainer(remote, "CN=SYSTEM");
    fixture->directory.addContainer(remote, "OU=Inner");
    fixture->directory.addUser(remote, "Ida");
    fixture->directory.addUser(remote, "Jon");
    fixture->dialogs.inputAnswers = {
        "", "   ", "  nope  ", " filesrv ", "", "   ", " DC=nowhere,DC=test ", remote};
    startUp();
    for (int press = 0; press < 3; ++press) {
        QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
    }
    ASSERT_EQ(tree().Count(), 9);
    QTest::keyClick(screen.get(), Qt::Key_C, Qt::AltModifier);  // Add &Computer
    QM_WAIT_EQ(tree().Count(), 10);
    for (int press = 0; press < 3; ++press) {
        QTest::mouseClick(screen->cmdAddDomain, Qt::LeftButton);
    }
    ASSERT_EQ(tree().Count(), 10);
    QTest::keyClick(screen.get(), Qt::Key_A, Qt::AltModifier);  // &Add Domain
    QM_WAIT_EQ(tree().Count(), 12);

    ASSERT_EQ(fixture->dialogs.messages(),
              (std::vector<std::string>{"Computer nope not found",
                                        "Domain DC=nowhere,DC=test not found"}));
    ASSERT_EQ(fixture->dialogs.shown[0].text, std::string("Enter NetBIOS name of computer"));
    ASSERT_EQ(fixture->dialogs.shown[5].text, std::string("Enter distinguished name of domain"));
    // An organizational unit named so becomes a "Domain" node counting its own users.
    ASSERT_TRUE(outline().ends_with(" FILESRV# OU=Remote* .OU=Inner "));
    ASSERT_TRUE(outline().find('+') == std::string::npos);
    click(10);
    click(11);
    ASSERT_EQ(count(), QString("3"));
}

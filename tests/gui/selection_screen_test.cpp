#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <algorithm>
#include <memory>

#include "screen_fixture.h"
#include "selection/selection_screen.h"

namespace qm::testing {
namespace {

// The first screen's choices as the selection screen reads them.
struct FakeFirstScreen : FirstScreen {
    bool document = true;
    bool workbook = true;
    std::string file;
    int shown = 0;
    int noticesCleared = 0;

    bool optDocumentValue() override { return document; }
    bool optXLValue() override { return workbook; }
    std::string txtFileText() override { return file; }
    void showFirstScreen() override { ++shown; }
    void clearNotice() override { ++noticesCleared; }
};

struct NodeView {
    std::string text;
    std::string tag;
    std::string key;
    friend bool operator==(const NodeView&, const NodeView&) = default;
};

}  // namespace
}  // namespace qm::testing

using namespace qm;
using namespace qm::testing;

class SelectionScreenTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScreenFixture> fixture;
    std::unique_ptr<FakeFirstScreen> firstScreen;
    std::unique_ptr<frmSelect> screen;

    frmSelect& startUp() {
        screen = std::make_unique<frmSelect>(fixture->services, *firstScreen);
        screen->Form_Load();
        showScreen(*screen);
        if (!QTest::qWaitForWindowExposed(screen.get())) {
            qWarning("selection screen not exposed");
        }
        return *screen;
    }

    QTreeWidgetItem& item(int node) { return screen->tvwContainers->item(node); }

    std::vector<NodeView> nodes() {
        std::vector<NodeView> result;
        for (int i = 1; i <= screen->tvwContainers->Count(); ++i) {
            result.push_back({screen->tvwContainers->Text(i), screen->tvwContainers->Tag(i),
                              screen->tvwContainers->Key(i)});
        }
        return result;
    }

    int queries() {
        return static_cast<int>(
            std::count_if(fixture->directory.calls.begin(), fixture->directory.calls.end(),
                          [](const std::string& call) { return call.rfind("query ", 0) == 0; }));
    }

    bool selectionButtonsEnabled() {
        const bool enabled = screen->cmdExpand->isEnabled();
        if (screen->cmdClear->isEnabled() != enabled || screen->cmdOK->isEnabled() != enabled) {
            qWarning("Include Sub Nodes, Clear All and Document disagree");
        }
        return enabled;
    }

    // The one critical box a trap showed.
    std::string trapMessage() {
        const auto messages = fixture->dialogs.messages();
        return messages.empty() ? std::string() : messages.back();
    }

    // The example tree: 1 local computer, 2 domain D, 3 OU A, 4 OU A1 below A, 5 OU B, 6 OU B1
    // below B, with users 1, 2, 3, 4, 5 in D, A, A1, B, B1.
    void buildExampleDomain() {
        auto& directory = fixture->directory;
        const std::string d = "DC=d,DC=test";
        directory.addDomain(d);
        directory.setRootDomain(d);
        directory.addComputer("PC1");
        directory.addContainer(d, "OU=A");
        directory.addContainer("OU=A," + d, "OU=A1");
        directory.addContainer(d, "OU=B");
        directory.addContainer("OU=B," + d, "OU=B1");
        const std::pair<std::string, int> users[] = {{d, 1},
                                                     {"OU=A," + d, 2},
                                                     {"OU=A1,OU=A," + d, 3},
                                                     {"OU=B," + d, 4},
                                                     {"OU=B1,OU=B," + d, 5}};
        for (const auto& [dn, count] : users) {
            for (int i = 0; i < count; ++i) {
                directory.addUser(dn, dn.substr(3, dn.find(',') - 3) + std::to_string(i));
            }
        }
    }

private slots:
    void init() {
        fixture = std::make_unique<ScreenFixture>();
        firstScreen = std::make_unique<FakeFirstScreen>();
    }
    void cleanup() {
        screen.reset();
        firstScreen.reset();
        fixture.reset();
    }

    // --- start-up ---------------------------------------------------------------------------

    void documentStartUpBuildsTheTreeDepthFirstWithoutTheDomainsSystemContainer() {
        buildCorpDomain(fixture->directory);
        startUp();

        const std::string corp = "LDAP://" + kCorp;
        const std::vector<NodeView> expected = {
            {"PC1", "Local Computer", "WinNT://WORKGROUP/PC1"},
            {"DC=corp", "Domain", corp},
            {"CN=Builtin", "Domain Container", "LDAP://CN=Builtin," + kCorp},
            {"CN=Users", "Domain Container", "LDAP://CN=Users," + kCorp},
            {"CN=Computers", "Domain Container", "LDAP://CN=Computers," + kCorp},
            {"OU=Sales", "Domain Container", "LDAP://OU=Sales," + kCorp},
            {"OU=East", "Domain Container", "LDAP://OU=East,OU=Sales," + kCorp},
            {"CN=System", "Domain Container", "LDAP://CN=System,OU=Sales," + kCorp},
            {"OU=Domain Controllers", "Domain Container", "LDAP://OU=Domain Controllers," + kCorp},
            {"DC=emea", "Domain", "LDAP://" + kEmea},
            {"CN=Users", "Domain Container", "LDAP://CN=Users," + kEmea},
        };
        QVERIFY(nodes() == expected);
        QCOMPARE(screen->LastNode(), 11);

        // Parents as the directory has them; every node unchecked.
        QCOMPARE(item(7).parent(), &item(6));
        QCOMPARE(item(10).parent(), &item(2));
        QCOMPARE(item(11).parent(), &item(10));
        QVERIFY(item(1).parent() == nullptr && item(2).parent() == nullptr);
        for (int i = 1; i <= 11; ++i) {
            QCOMPARE(item(i).checkState(0), Qt::Unchecked);
        }

        QCOMPARE(screen->AppTitle(), std::string("Quillmark"));
        QCOMPARE(screen->BiasHours().value(), 5);
        QCOMPARE(screen->lblCount->text(), QString("0"));
        QVERIFY(!selectionButtonsEnabled());
        QVERIFY(screen->cmdAdd->isEnabled() && screen->cmdAddDomain->isEnabled());
        QVERIFY(screen->tvwContainers->isVisible() && screen->lblNumber->isVisible());

        QVERIFY(screen->DirectoryConnection() != nullptr);
        QCOMPARE(screen->DirectoryConnection()->State(), 1);
        const auto& calls = fixture->directory.calls;
        QVERIFY(std::find(calls.begin(), calls.end(),
                          "open connection Active Directory Provider user= password=") !=
                calls.end());
        QCOMPARE(calls.front(), std::string("bind WinNT://PC1,computer"));
        QVERIFY(fixture->dialogs.shown.empty());
    }

    void startUpOutsideADomainShowsOnlyTheLocalComputer() {
        fixture->directory.addComputer("PC1");
        fixture->system.bias = Variant(-330);
        startUp();

        QVERIFY(
            (nodes() == std::vector<NodeView>{{"PC1", "Local Computer", "WinNT://WORKGROUP/PC1"}}));
        QVERIFY(screen->DirectoryConnection() == nullptr);
        QCOMPARE(screen->BiasHours().value(), -5);
        QVERIFY(fixture->dialogs.shown.empty());
    }

    void setStartUpHidesTheSelectionControlsBeforeTheSetRun() {
        buildCorpDomain(fixture->directory);
        firstScreen->document = false;
        std::vector<bool> visibleDuringRun;
        fixture->dialogs.onShow = [&](const ShownDialog&) {
            if (visibleDuringRun.empty()) {
                for (QWidget* control : std::initializer_list<QWidget*>{
                         screen->tvwContainers, screen->cmdExpand, screen->cmdClear, screen->cmdAdd,
                         screen->cmdAddDomain, screen->cmdOK, screen->lblNumber,
                         screen->lblCount}) {
                    visibleDuringRun.push_back(control->isVisibleTo(screen.get()));
                }
                for (QWidget* control : std::initializer_list<QWidget*>{
                         screen->lblSelect, screen->pbrUsers, screen->cmdBack, screen->cmdExit}) {
                    visibleDuringRun.push_back(!control->isVisibleTo(screen.get()));
                }
            }
        };
        screen = std::make_unique<frmSelect>(fixture->services, *firstScreen);
        try {
            screen->Form_Load();
        } catch (const ProgramEnded&) {
            // The run may end the program through its own trap; the layout is what counts here.
        }

        QVERIFY2(!visibleDuringRun.empty(), "the Set run showed no box");
        QVERIFY(std::none_of(visibleDuringRun.begin(), visibleDuringRun.end(),
                             [](bool wrong) { return wrong; }));
        QCOMPARE(screen->tvwContainers->Count(), 0);
        QVERIFY(screen->lblCount->text().isEmpty());
        QVERIFY(std::none_of(
            fixture->directory.calls.begin(), fixture->directory.calls.end(),
            [](const std::string& call) { return call.find("RootDSE") != std::string::npos; }));
    }

    void startUpFailureReportsTheStepAndEndsTheProgram() {
        buildCorpDomain(fixture->directory);
        fixture->directory.failBind("WinNT://PC1,computer", networkPathNotFound());
        screen = std::make_unique<frmSelect>(fixture->services, *firstScreen);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->Form_Load());
        QCOMPARE(trapMessage(), std::string("Error 6 in QMK1\r\nError Number: -2147024843\r\n"
                                            "Description:  The network path was not found.\r\n"
                                            "Source:       Active Directory"));
        QCOMPARE(fixture->dialogs.shown.back().title, std::string("Quillmark"));
        QCOMPARE(fixture->dialogs.shown.back().style, MessageStyle::Critical);
        QCOMPARE(fixture->programEnd.status, std::optional<int>(1));
    }

    void aMissingBiasFailsAtStepTwo() {
        fixture->directory.addComputer("PC1");
        fixture->system.biasError = RunTimeError(5, "The system time zone is unknown", "System");
        screen = std::make_unique<frmSelect>(fixture->services, *firstScreen);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->Form_Load());
        QVERIFY(trapMessage().starts_with("Error 2 in QMK1\r\nError Number: 5\r\n"));
    }

    void anUnreadableContainerEndsTheProgramThroughItsOwnTrapAndClosesTheConnection() {
        buildCorpDomain(fixture->directory);
        fixture->directory.failChildren(
            "LDAP://OU=Sales," + kCorp,
            RunTimeError(-2147024891, "Access is denied.", "Active Directory"));
        screen = std::make_unique<frmSelect>(fixture->services, *firstScreen);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->Form_Load());
        QVERIFY(trapMessage().starts_with("Error 4 in QMK5\r\n"));
        QCOMPARE(fixture->dialogs.messages().size(), std::size_t(1));
        QCOMPARE(fixture->directory.calls.back(), std::string("close connection"));
    }

    // --- counting -----------------------------------------------------------------------------

    void checkingAndUncheckingByMouseAndKeyCountsTheUsersDirectlyInEachNode() {
        buildCorpDomain(fixture->directory);
        startUp();

        clickCheckBox(*screen->tvwContainers, item(2));  // the domain: 4 users directly in it
        QCOMPARE(item(2).checkState(0), Qt::Checked);
        QCOMPARE(screen->lblCount->text(), QString("4"));
        QCOMPARE(screen->CheckedNodeCount().value(), 1);
        QVERIFY(selectionButtonsEnabled());
        QCOMPARE(fixture->directory.calls.back(),
                 "query <LDAP://" + kCorp +
                     ">;(&(objectCategory=person)(objectClass=user));distinguishedName;oneLevel");

        pressSpaceOn(*screen->tvwContainers, item(6));  // OU=Sales: 2, not East's
        QCOMPARE(screen->lblCount->text(), QString("6"));
        pressSpaceOn(*screen->tvwContainers, item(4));  // CN=Users: a user, not the group
        QCOMPARE(screen->lblCount->text(), QString("7"));
        clickCheckBox(*screen->tvwContainers, item(1));  // PC1: 3 local users, not the group
        QCOMPARE(screen->lblCount->text(), QString("10"));
        QCOMPARE(screen->CheckedNodeCount().value(), 4);

        const int queriesBefore = queries();
        clickCheckBox(*screen->tvwContainers, item(2));
        QCOMPARE(queries(), queriesBefore + 1);  // counted afresh on uncheck
        QCOMPARE(screen->lblCount->text(), QString("6"));
        for (int node : {6, 4, 1}) {
            clickCheckBox(*screen->tvwContainers, item(node));
        }
        QCOMPARE(screen->lblCount->text(), QString("0"));
        QCOMPARE(screen->CheckedNodeCount().value(), 0);
        QVERIFY(!selectionButtonsEnabled());
    }

    void countsShowTheLocalesDigitGrouping() {
        buildCorpDomain(fixture->directory);
        fixture->directory.addContainer(kCorp, "OU=Big");
        for (int i = 0; i < 1234; ++i) {
            fixture->directory.addUser("OU=Big," + kCorp, "u" + std::to_string(i));
        }
        startUp();
        clickCheckBox(*screen->tvwContainers, item(screen->tvwContainers->Count() - 2));
        QCOMPARE(screen->lblCount->text(), QString("1,234"));
        QCOMPARE(screen->countCaption(), std::string("1,234"));
    }

    void marksSetByCodeOrTextChangesRaiseNoCount() {
        buildCorpDomain(fixture->directory);
        startUp();
        const int before = queries();
        screen->tvwContainers->setChecked(2, true);
        item(3).setText(0, "renamed");
        item(3).setText(0, "CN=Builtin");
        QCOMPARE(queries(), before);
        QCOMPARE(screen->lblCount->text(), QString("0"));
        QVERIFY(screen->tvwContainers->Checked(2));

        clickCheckBox(*screen->tvwContainers, item(2));  // a person's uncheck is counted
        QCOMPARE(queries(), before + 1);
        QCOMPARE(screen->lblCount->text(), QString("-4"));
    }

    void includeSubNodesChecksFromTheFirstToTheLastChildOnly() {
        buildExampleDomain();
        startUp();
        QCOMPARE(screen->tvwContainers->Count(), 6);
        clickCheckBox(*screen->tvwContainers, item(2));
        QCOMPARE(screen->lblCount->text(), QString("1"));

        QTest::mouseClick(screen->cmdExpand, Qt::LeftButton);
        const std::vector<bool> expected = {false, true, true, true, true, false};
        for (int i = 1; i <= 6; ++i) {
            QCOMPARE(screen->tvwContainers->Checked(i), bool(expected[i - 1]));
        }
        QCOMPARE(screen->CheckedNodeCount().value(), 4);
        QCOMPARE(screen->lblCount->text(), QString("10"));  // 1 + 2 + 3 + 4

        QTest::mouseClick(screen->cmdExpand, Qt::LeftButton);  // node 6 stays out of reach
        QVERIFY(!screen->tvwContainers->Checked(6));
        QCOMPARE(screen->CheckedNodeCount().value(), 4);

        for (int node : {2, 3, 4, 5}) {
            clickCheckBox(*screen->tvwContainers, item(node));
        }
        QCOMPARE(screen->CheckedNodeCount().value(), 0);
        QCOMPARE(screen->lblCount->text(), QString("0"));
        QVERIFY(!selectionButtonsEnabled());
    }

    void includeSubNodesWithNoCheckedParentChangesNothing() {
        buildExampleDomain();
        startUp();
        clickCheckBox(*screen->tvwContainers, item(4));  // OU A1 has no children
        const int before = queries();
        QTest::mouseClick(screen->cmdExpand, Qt::LeftButton);
        QCOMPARE(queries(), before);
        QCOMPARE(screen->CheckedNodeCount().value(), 1);
    }

    void clearAllRemovesEveryMarkWithoutAQuery() {
        buildCorpDomain(fixture->directory);
        startUp();
        for (int node : {1, 2, 6}) {
            clickCheckBox(*screen->tvwContainers, item(node));
        }
        const int before = queries();
        QTest::keyClick(screen.get(), Qt::Key_N, Qt::AltModifier);  // Clear All &Nodes
        QTRY_COMPARE(screen->lblCount->text(), QString("0"));
        QCOMPARE(queries(), before);
        for (int i = 1; i <= screen->tvwContainers->Count(); ++i) {
            QVERIFY(!screen->tvwContainers->Checked(i));
        }
        QCOMPARE(screen->CheckedNodeCount().value(), 0);
        QCOMPARE(screen->UserCount().value(), 0);
        QVERIFY(!selectionButtonsEnabled());

        clickCheckBox(*screen->tvwContainers, item(2));  // and a new check counts from zero
        QCOMPARE(screen->lblCount->text(), QString("4"));
    }

    void aFailingCountReportsItsStepClosesTheConnectionAndEnds() {
        buildCorpDomain(fixture->directory);
        startUp();
        fixture->directory.failQuery("LDAP://OU=Sales," + kCorp,
                                     RunTimeError(-2147016672, "Operations error", "Provider"));
        screen->tvwContainers->setChecked(6, true);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->tvwContainers_NodeCheck(6));
        QCOMPARE(trapMessage(), std::string("Error 5 in QMK6\r\nError Number: -2147016672\r\n"
                                            "Description:  Operations error\r\n"
                                            "Source:       Provider"));
        QCOMPARE(fixture->directory.calls.back(), std::string("close connection"));
        QCOMPARE(fixture->programEnd.status, std::optional<int>(1));
    }

    void aComputerThatNoLongerAnswersFailsAtStepEight() {
        buildCorpDomain(fixture->directory);
        startUp();
        fixture->directory.failBind("WinNT://PC1,computer", networkPathNotFound());
        screen->tvwContainers->setChecked(1, true);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->tvwContainers_NodeCheck(1));
        QVERIFY(trapMessage().starts_with("Error 8 in QMK6\r\n"));
    }

    void aDirectoryNodeWithoutAQueryConnectionFailsInTheCountsTrap() {
        fixture->directory.addComputer("PC1");
        fixture->directory.addDomain("DC=other,DC=test");
        fixture->dialogs.inputAnswers = {"DC=other,DC=test"};
        startUp();
        QTest::mouseClick(screen->cmdAddDomain, Qt::LeftButton);
        QCOMPARE(screen->tvwContainers->Count(), 2);
        screen->tvwContainers->setChecked(2, true);
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->tvwContainers_NodeCheck(2));
        QVERIFY(trapMessage().starts_with("Error 5 in QMK6\r\nError Number: 3709\r\n"));
    }

    // --- adding computers and domains -----------------------------------------------------------

    void addComputerAsksAndAddsAnUncheckedRootNodeAtTheEnd() {
        buildCorpDomain(fixture->directory);
        fixture->directory.addComputer("FILESRV");
        fixture->directory.addLocalUser("FILESRV", "svc1");
        fixture->directory.addLocalUser("FILESRV", "svc2");
        fixture->dialogs.inputAnswers = {"", "   ", "  nope  ", " filesrv "};
        startUp();
        const auto before = nodes();

        for (int press = 0; press < 3; ++press) {
            QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
        }
        QVERIFY(nodes() == before);
        QCOMPARE(fixture->dialogs.messages(), std::vector<std::string>{"Computer nope not found"});
        const ShownDialog& input = fixture->dialogs.shown.front();
        QCOMPARE(input.kind, ShownDialog::Kind::Input);
        QCOMPARE(input.title, std::string("Quillmark"));
        QCOMPARE(input.text, std::string("Enter NetBIOS name of computer"));
        QCOMPARE(fixture->dialogs.shown.back().style, MessageStyle::Critical);

        QTest::keyClick(screen.get(), Qt::Key_C, Qt::AltModifier);  // Add &Computer
        QTRY_COMPARE(screen->tvwContainers->Count(), 12);
        QVERIFY(nodes().back() ==
                (NodeView{"FILESRV", "Local Computer", "WinNT://WORKGROUP/FILESRV"}));
        QVERIFY(item(12).parent() == nullptr);
        QCOMPARE(screen->LastNode(), 12);
        clickCheckBox(*screen->tvwContainers, item(12));
        QCOMPARE(screen->lblCount->text(), QString("2"));
    }

    void addingAComputerAlreadyShownIsADuplicateKeyThatEndsTheProgram() {
        buildCorpDomain(fixture->directory);
        fixture->dialogs.inputAnswers = {"pc1"};
        startUp();
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->cmdAdd_Click());
        QCOMPARE(trapMessage(), std::string("Error 3 in QMK22\r\nError Number: 35602\r\n"
                                            "Description:  Key is not unique in collection\r\n"
                                            "Source:       TreeView"));
        QCOMPARE(fixture->directory.calls.back(), std::string("close connection"));
    }

    void addDomainAddsTheNamedContainerWithItsSubtreeAsARootDomainNode() {
        buildCorpDomain(fixture->directory);
        const std::string other = "DC=other,DC=test";
        fixture->directory.addDomain(other);
        fixture->directory.addContainer(other, "CN=SYSTEM");
        fixture->directory.addContainer(other, "OU=Staff");
        fixture->directory.addUser("OU=Staff," + other, "Hal");
        const std::string third = "DC=third,DC=test";
        fixture->directory.addDomain(third);
        fixture->directory.addContainer(third, "OU=Remote");
        fixture->directory.addContainer("OU=Remote," + third, "OU=Inner");
        fixture->directory.addUser("OU=Remote," + third, "Ida");
        fixture->directory.addUser("OU=Remote," + third, "Jon");
        fixture->dialogs.inputAnswers = {"", " DC=nowhere,DC=test ", other, "OU=Remote," + third};
        startUp();

        QTest::mouseClick(screen->cmdAddDomain, Qt::LeftButton);
        QTest::mouseClick(screen->cmdAddDomain, Qt::LeftButton);
        QCOMPARE(fixture->dialogs.messages(),
                 std::vector<std::string>{"Domain DC=nowhere,DC=test not found"});
        QCOMPARE(fixture->dialogs.shown.front().text,
                 std::string("Enter distinguished name of domain"));
        QCOMPARE(screen->tvwContainers->Count(), 11);

        QTest::keyClick(screen.get(), Qt::Key_A, Qt::AltModifier);  // &Add Domain
        QTRY_COMPARE(screen->tvwContainers->Count(), 13);
        QVERIFY(nodes()[11] == (NodeView{"DC=other", "Domain", "LDAP://" + other}));
        QVERIFY(nodes()[12] ==
                (NodeView{"OU=Staff", "Domain Container", "LDAP://OU=Staff," + other}));
        QVERIFY(item(12).parent() == nullptr);

        // An organizational unit's name makes a "Domain" root node that counts its own users.
        QTest::mouseClick(screen->cmdAddDomain, Qt::LeftButton);
        QCOMPARE(screen->tvwContainers->Count(), 15);
        QVERIFY(nodes()[13] == (NodeView{"OU=Remote", "Domain", "LDAP://OU=Remote," + third}));
        QVERIFY(nodes()[14] ==
                (NodeView{"OU=Inner", "Domain Container", "LDAP://OU=Inner,OU=Remote," + third}));
        clickCheckBox(*screen->tvwContainers, item(14));
        QCOMPARE(screen->lblCount->text(), QString("2"));
    }

    void addingADomainAlreadyShownEndsTheProgramInAddDomainNode() {
        buildCorpDomain(fixture->directory);
        fixture->dialogs.inputAnswers = {kCorp};
        startUp();
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->cmdAddDomain_Click());
        QVERIFY(trapMessage().starts_with("Error 2 in QMK4\r\nError Number: 35602\r\n"));
        QCOMPARE(fixture->dialogs.messages().size(), std::size_t(1));
    }

    // --- leaving the screen -------------------------------------------------------------------

    void backShowsTheFirstScreenClearsItsNoticeAndHidesThisOne() {
        buildCorpDomain(fixture->directory);
        startUp();
        clickCheckBox(*screen->tvwContainers, item(2));
        QTest::keyClick(screen.get(), Qt::Key_B, Qt::AltModifier);
        QTRY_VERIFY(!screen->isVisible());
        QCOMPARE(firstScreen->shown, 1);
        QCOMPARE(firstScreen->noticesCleared, 1);
        QVERIFY(screen->tvwContainers->Checked(2));
        QCOMPARE(screen->lblCount->text(), QString("4"));
    }

    void exitClosesTheOpenConnectionAndEndsNormally() {
        buildCorpDomain(fixture->directory);
        startUp();
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->cmdExit_Click());
        QCOMPARE(fixture->directory.calls.back(), std::string("close connection"));
        QCOMPARE(fixture->programEnd.status, std::optional<int>(0));
    }

    void exitWithoutADomainJustEnds() {
        fixture->directory.addComputer("PC1");
        startUp();
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, screen->cmdExit_Click());
        QCOMPARE(fixture->programEnd.status, std::optional<int>(0));
        QCOMPARE(std::count(fixture->directory.calls.begin(), fixture->directory.calls.end(),
                            "close connection"),
                 0);
    }

    // --- what the runs read ---------------------------------------------------------------------

    void theRunsReadTheTreeTheCountAndTheFirstScreensChoicesWhenTheyAsk() {
        buildCorpDomain(fixture->directory);
        startUp();
        clickCheckBox(*screen->tvwContainers, item(6));
        QCOMPARE(screen->nodeCount().value(), 11);
        const TreeNodeState sales = screen->node(6);
        QVERIFY(sales.checked);
        QCOMPARE(sales.tag, std::string("Domain Container"));
        QCOMPARE(sales.text, std::string("OU=Sales"));
        QCOMPARE(sales.key, "LDAP://OU=Sales," + kCorp);
        QCOMPARE(screen->countCaption(), std::string("2"));

        firstScreen->workbook = false;
        firstScreen->file = "/tmp/hours.csv";
        QVERIFY(!screen->workbookChosen());
        QCOMPARE(screen->fileName(), std::string("/tmp/hours.csv"));

        screen->progressBar().setMaximum(10);
        screen->progressBar().setValue(4);
        QCOMPARE(screen->pbrUsers->value(), 4);
        screen->progressBar().setValue(12);  // the directory grew since counting: a full bar
        QCOMPARE(screen->pbrUsers->value(), 10);
    }

    // --- the controls -------------------------------------------------------------------------

    void controlsHaveTheirCaptionsTipsPlacesAndTabOrder() {
        buildCorpDomain(fixture->directory);
        startUp();
        QCOMPARE(screen->windowTitle(), QString("Quillmark"));
        QCOMPARE(screen->size(), QSize(638, 566));
        struct Expected {
            QWidget* control;
            const char* caption;
            const char* tip;
            QRect place;
        };
        const Expected expected[] = {
            {screen->cmdClear, "Clear All &Nodes", "Remove check from all nodes",
             QRect(80, 387, 81, 33)},
            {screen->cmdExpand, "Include &Sub Nodes of Checked Nodes",
             "Check all nodes that are children of nodes already checked",
             QRect(467, 387, 107, 33)},
            {screen->cmdAdd, "Add &Computer", "Add a node for a remote computer",
             QRect(136, 427, 81, 33)},
            {screen->cmdAddDomain, "&Add Domain", "Add a node for a domain in another tree",
             QRect(368, 427, 81, 33)},
            {screen->cmdExit, "E&xit", "Quit the program", QRect(96, 513, 81, 33)},
            {screen->cmdBack, "&Back", "Go back to the previous screen", QRect(368, 513, 81, 33)},
            {screen->cmdOK, "&Document Users in Checked Nodes",
             "Document Logon Hours of users in selected nodes", QRect(480, 513, 107, 33)},
        };
        for (const Expected& e : expected) {
            QCOMPARE(static_cast<QAbstractButton*>(e.control)->text(), QString(e.caption));
            QCOMPARE(e.control->toolTip(), QString(e.tip));
            QCOMPARE(e.control->geometry(), e.place);
        }
        QCOMPARE(screen->tvwContainers->toolTip(),
                 QString("One node for each computer, domain, container/OU"));
        QCOMPARE(screen->lblNumber->text(), QString("Number of users in nodes selected"));
        QCOMPARE(screen->tvwContainers->geometry(), QRect(88, 40, 457, 337));
        QCOMPARE(screen->pbrUsers->geometry(), QRect(104, 470, 405, 33));
        QCOMPARE(screen->cmdAdd->font().pointSizeF(), 8.25);

        // Disabled buttons are passed over.
        clickCheckBox(*screen->tvwContainers, item(2));
        QCOMPARE(tabOrderFrom(*screen, *screen->cmdClear, 9),
                 (std::vector<QString>{"cmdClear", "cmdExpand", "cmdAdd", "cmdAddDomain", "cmdOK",
                                       "cmdExit", "cmdBack", "tvwContainers", "cmdClear"}));
    }
};

QTEST_MAIN(SelectionScreenTest)
#include "selection_screen_test.moc"

// The selection screen on the sandbox domain corp.test with the real directory providers: the tree
// start-up builds, and the users its check marks count, against what ldapsearch and PC01's own
// account database report. Runs inside the sandbox's namespace (scripts/sandbox exec).
#include <QLabel>

#include "support/sandbox_runs.h"

using namespace qm;
using namespace qm::testing;

namespace {

const char* const kContainerFilter =
    "(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=builtinDomain))";
const char* const kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// The DNs a paged search of the corp DC finds, in its order.
std::vector<std::string> corpDns(const std::string& base, const std::string& filter) {
    std::vector<std::string> dns;
    for (const std::string& line : corpSearch(base, "one", filter, "1.1")) {
        if (line.starts_with("dn:")) {  // not the paged search's comments
            dns.push_back(line.substr(line.find_first_not_of(": ", 3)));
        }
    }
    return dns;
}

// The keys of the tree below a container in the DC's own order, each container before what it
// holds; the domain's own System container is left out, one below an OU is not.
void appendSubtree(const std::string& dn, bool isDomain, std::vector<std::string>& tree) {
    tree.push_back(dn);
    for (const std::string& child : corpDns(dn, kContainerFilter)) {
        if (!isDomain || !child.starts_with("CN=System,")) {
            appendSubtree(child, false, tree);
        }
    }
}

}  // namespace

class SelectionSandboxTest : public ::testing::Test {
protected:
    const ScratchFolder folder{"selection-sandbox"};
    std::optional<ProgramRun> run;
    SelectionScreen* screen = nullptr;

    const ContainerTree& tree() { return screen->containerTree(); }
    QString count() { return screen->findChild<QLabel*>("lblCount")->text().remove(','); }

    // The program afresh, up to the selection screen's start-up; without a Kerberos ticket the
    // providers ask once for a name and a password.
    void SetUp() override {
        run.emplace(0, folder.path(), false);
        screen = &run->next(false, false, folder.file("hours.csv"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen));
    }
};

TEST_F(SelectionSandboxTest, startUpBuildsTheDomainsTreeInTheDirectorysOrder) {
    std::vector<std::string> expected;
    appendSubtree(sandboxFact("CORP_DN"), true, expected);
    ASSERT_EQ(tree().Text(1), std::string("PC01"));
    std::vector<std::string> shown;
    for (int node = 2; node <= tree().Count(); ++node) {
        shown.push_back(tree().Key(node));
    }
    ASSERT_TRUE(expected.size() > 10);
    ASSERT_EQ(shown, expected);
    ASSERT_TRUE(run->dialogs.messages().empty());
}

TEST_F(SelectionSandboxTest, checkMarksCountTheUsersDirectlyInEachNode) {
    const std::string domain = sandboxFact("CORP_DN");
    int expected = 0;
    for (int node = 2; node <= tree().Count(); ++node) {
        const std::string& dn = tree().Key(node);
        if (dn == domain || dn == "OU=West," + domain || dn == "CN=Users," + domain) {
            clickNode(*screen, node);
            expected += static_cast<int>(corpDns(dn, kUserFilter).size());
            ASSERT_EQ(count(), QString::number(expected));
        }
    }
    ASSERT_EQ(tree().CheckedNodeCount().value(), 3);
    // PC01's local accounts, as its own account database lists them.
    expected += static_cast<int>(nonEmptyLines(sandboxPdbedit("PC01", "-L")).size());
    clickNode(*screen, 1);
    ASSERT_EQ(count(), QString::number(expected));
}

// A blank name adds nothing; a name is taken without its outer blanks.
TEST_F(SelectionSandboxTest, addComputerAddsASecondComputerAndReportsAnUnknownOne) {
    const int before = tree().Count();
    const std::size_t asked = run->dialogs.shown.size();
    run->dialogs.inputAnswers = {"   ", " nosuchpc ", "pc02"};
    press(*screen, "cmdAdd");
    press(*screen, "cmdAdd");
    ASSERT_EQ(run->dialogs.messages().back(), std::string("Computer nosuchpc not found"));
    ASSERT_EQ(run->dialogs.shown[asked].text, std::string("Enter NetBIOS name of computer"));
    QTest::keyClick(screen, Qt::Key_C, Qt::AltModifier);  // Add &Computer
    QM_WAIT_EQ(tree().Count(), before + 1);
    ASSERT_EQ(tree().Text(before + 1), std::string("PC02"));
    ASSERT_EQ(tree().Tag(before + 1), std::string("Local Computer"));
}

// A domain of the second forest takes no sign-in of the first: its own is asked for, by name. Named
// after its DC (here with the ldaps port), it is asked there.
TEST_F(SelectionSandboxTest, addDomainAddsTheSecondForestAsARootNode) {
    const std::string branch = sandboxFact("BRANCH_DN");
    for (const std::string& name : {branch, sandboxFact("BRANCH_DC") + ":636/" + branch}) {
        SCOPED_TRACE(name);
        SetUp();
        const int before = tree().Count();
        const std::size_t asked = run->dialogs.shown.size();
        run->dialogs.inputAnswers = {" OU=Nowhere,DC=corp,DC=test ", name, "Administrator",
                                     sandboxPassword()};
        press(*screen, "cmdAddDomain");
        QTest::keyClick(screen, Qt::Key_A, Qt::AltModifier);  // &Add Domain
        QM_WAIT_TRUE(tree().Count() > before + 1);            // the domain and its containers
        EXPECT_EQ(tree().Key(before + 1), branch);
        EXPECT_EQ(tree().Tag(before + 1), std::string("Domain"));
        EXPECT_EQ(tree().Tag(before + 2), std::string("Domain Container"));
        EXPECT_EQ(run->dialogs.shown[asked].text, "Enter distinguished name of domain");
        EXPECT_EQ(run->dialogs.messages(),
                  std::vector<std::string>{"Domain OU=Nowhere,DC=corp,DC=test not found"});
    }
}

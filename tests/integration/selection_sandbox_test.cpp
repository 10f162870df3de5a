// The selection screen on the sandbox domain corp.test with the real directory providers: the tree
// start-up builds, and the users its check marks count, against what ldapsearch and PC01's own
// account database report. Runs inside the sandbox's namespace (scripts/sandbox exec).
#include <QLabel>
#include <QTest>
#include <memory>

#include "gui/screen_fixture.h"
#include "platform/ldap/directory_services.h"
#include "platform/signin/credentials.h"
#include "selection/selection_screen.h"
#include "support/sandbox_tools.h"

using namespace qm;
using namespace qm::testing;

namespace {

const char* const kContainerFilter =
    "(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=builtinDomain))";
const char* const kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// The keys of the tree below a container in the DC's own order, each container before what it
// holds; the domain's own System container is left out, one below an OU is not.
void appendSubtree(const std::string& dn, bool isDomain, std::vector<std::string>& tree) {
    tree.push_back("LDAP://" + dn);
    for (const auto& child : corpLdapsearch(dn, "one", kContainerFilter, "1.1")) {
        if (!isDomain || child.dn.rfind("CN=System,", 0) != 0) {
            appendSubtree(child.dn, false, tree);
        }
    }
}

struct FakeFirstScreen : FirstScreen {
    bool optDocumentValue() override { return true; }
    bool optXLValue() override { return true; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

}  // namespace

class SelectionSandboxTest : public ::testing::Test {
protected:
    ScreenFixture fixture;
    std::unique_ptr<Credentials> credentials;
    std::unique_ptr<DirectoryServices> directory;
    std::unique_ptr<ScreenServices> services;
    FakeFirstScreen firstScreen;
    std::unique_ptr<frmSelect> screen;

    void SetUp() override {
        fixture.system.computerName = "PC01";
        // Without a Kerberos ticket the providers ask once for a name and a password.
        fixture.dialogs.inputAnswers = {"Administrator@" + sandboxFact("CORP_DOMAIN"),
                                        sandboxPassword()};
        credentials = std::make_unique<Credentials>(fixture.dialogs);
        directory = makeDirectoryServices(*credentials);
        services = std::make_unique<ScreenServices>(ScreenServices{
            fixture.dialogs, fixture.system, *directory, fixture.spreadsheets, fixture.programEnd});
        screen = std::make_unique<frmSelect>(*services, firstScreen);
        screen->Form_Load();
        showScreen(*screen);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    }

    void TearDown() override {
        if (screen != nullptr) {
            closeIfOpen(screen->DirectoryConnection());
        }
        screen.reset();
    }
};

TEST_F(SelectionSandboxTest, startUpBuildsTheDomainsTreeInTheDirectorysOrder) {
    std::vector<std::string> expected;
    appendSubtree(sandboxFact("CORP_DN"), true, expected);
    ASSERT_EQ(screen->tvwContainers->Text(1), std::string("PC01"));
    std::vector<std::string> shown;
    for (int node = 2; node <= screen->tvwContainers->Count(); ++node) {
        shown.push_back(screen->tvwContainers->Key(node));
    }
    ASSERT_TRUE(expected.size() > 10);
    ASSERT_EQ(shown, expected);
    ASSERT_TRUE(fixture.dialogs.messages().empty());
}

TEST_F(SelectionSandboxTest, checkMarksCountTheUsersDirectlyInEachNode) {
    const std::string domain = sandboxFact("CORP_DN");
    int expected = 0;
    for (int node = 2; node <= screen->tvwContainers->Count(); ++node) {
        const std::string dn = screen->tvwContainers->Key(node).substr(7);  // "LDAP://"
        if (dn == domain || dn == "OU=West," + domain || dn == "CN=Users," + domain) {
            clickCheckBox(*screen->tvwContainers, screen->tvwContainers->item(node));
            expected += static_cast<int>(corpLdapsearch(dn, "one", kUserFilter, "1.1").size());
            ASSERT_EQ(screen->lblCount->text().remove(','), QString::number(expected));
        }
    }
    ASSERT_EQ(screen->CheckedNodeCount().value(), 3);
    // PC01's local accounts, as its own account database lists them.
    expected += static_cast<int>(nonEmptyLines(sandboxPdbedit("PC01", "-L")).size());
    clickCheckBox(*screen->tvwContainers, screen->tvwContainers->item(1));
    ASSERT_EQ(screen->lblCount->text().remove(','), QString::number(expected));
}

TEST_F(SelectionSandboxTest, addComputerAddsASecondComputerAndReportsAnUnknownOne) {
    const int before = screen->tvwContainers->Count();
    fixture.dialogs.inputAnswers = {"nosuchpc", "pc02"};
    QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
    ASSERT_EQ(fixture.dialogs.messages().back(), std::string("Computer nosuchpc not found"));
    QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
    ASSERT_EQ(screen->tvwContainers->Count(), before + 1);
    ASSERT_EQ(screen->tvwContainers->Text(before + 1), std::string("PC02"));
    ASSERT_EQ(screen->tvwContainers->Tag(before + 1), std::string("Local Computer"));
}

// The container tree's rules without a widget: check marks and counts, Include Sub Nodes, Clear
// All, and the traps of each. The order and the System containers are the sandbox DC's, compared on
// the selection screen.

#include "selection/container_tree.h"

#include <algorithm>

#include "support/fake_directory.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using namespace qm::testing;

class ContainerTreeTest : public ::testing::Test, public TreeDisplay {
protected:
    void nodeAdded(int, int, const std::string&) override {}
    void markChanged(int, bool) override {}
    void countsChanged(Int32 users, Int16 checkedNodes) override {
        shown = std::to_string(users.value()) + "/" + std::to_string(checkedNodes.value());
    }

    // Start-up's tree: the local computer, then the forest root domain.
    void startUp() {
        tree.Add("", "PC1", "PC1");
        tree.setTag(tree.LastNode(), kLocalComputerTag);
        tree.AddDomainNode(directory.domain(directory.forestRootDomain()), "");
    }

    // A dot for each level below the root, "+" before a checked node, "#" after a local
    // computer, "*" after a domain.
    std::string outline() const {
        std::string text;
        for (int i = 1; i <= tree.Count(); ++i) {
            for (int up = tree.Parent(i); up != 0; up = tree.Parent(up)) {
                text += '.';
            }
            const std::string& tag = tree.Tag(i);
            const char* kind = tag == kLocalComputerTag ? "# " : tag == kDomainTag ? "* " : " ";
            text += (tree.Checked(i) ? "+" : "") + tree.Text(i) + kind;
        }
        return text;
    }

    int queries() const {
        return int(std::ranges::count_if(directory.calls, [](const std::string& call) {
            return call.starts_with("count ") || call.starts_with("computer ");
        }));
    }

    void click(int node) { tree.checkedByPerson(node, !tree.Checked(node)); }

    FakeDirectory directory;
    FakeTrapServices trap;
    ContainerTree tree{directory, trap, *this};
    std::unique_ptr<QueryConnection> connection = directory.openQueryConnection();
    std::string shown;
};

// What a check mark adds is compared with the real domain's counts on the selection screen.
TEST_F(ContainerTreeTest, EachMarkAPersonChangesCountsTheUsersDirectlyInTheNodeAfresh) {
    buildCorpDomain(directory);
    tree.setConnection(connection.get());
    startUp();
    for (int node : {2, 5, 4, 1}) {  // 4 + 2 (not OU=East's) + 1 + PC1's 3 local users
        click(node);
    }
    EXPECT_EQ(shown, "10/4");

    const int before = queries();
    click(2);
    EXPECT_EQ(queries(), before + 1);
    EXPECT_EQ(shown, "6/3");
    for (int node : {5, 4, 1}) {
        click(node);
    }
    EXPECT_EQ(shown, "0/0");

    tree.setChecked(2, true);  // the program's mark counts nothing
    EXPECT_EQ(queries(), before + 4);
    click(2);  // a person's uncheck of it is counted
    EXPECT_EQ(shown, "-4/-1");

    for (int node : {1, 2, 5}) {
        tree.setChecked(node, true);
    }
    tree.ClearAll();
    EXPECT_EQ(queries(), before + 5);
    EXPECT_EQ(outline().find('+'), std::string::npos);
    EXPECT_EQ(shown, "0/0");
}

// The example: 1 the local computer, 2 domain D, 3 OU A, 4 OU A1 below A, 5 OU B, 6 OU B1 below B,
// with 1, 2, 3, 4, 5 users in D, A, A1, B, B1.
TEST_F(ContainerTreeTest, IncludeSubNodesChecksFromTheFirstToTheLastChildOnly) {
    directory.addComputer("PC1");
    directory.setRootDomain("DC=d");
    directory.addDomain("DC=d");
    for (int users = 1; const std::string dn :
                        {"DC=d", "OU=A,DC=d", "OU=A1,OU=A,DC=d", "OU=B,DC=d", "OU=B1,OU=B,DC=d"}) {
        if (users > 1) {
            directory.addContainer(dn.substr(dn.find(',') + 1), dn.substr(0, dn.find(',')));
        }
        for (int user = 0; user < users; ++user) {
            directory.addUser(dn, std::to_string(users) + "-" + std::to_string(user));
        }
        ++users;
    }
    tree.setConnection(connection.get());
    startUp();
    tree.IncludeSubNodes();  // nothing checked: nothing to do
    EXPECT_EQ(shown, "");
    click(2);
    tree.IncludeSubNodes();
    tree.IncludeSubNodes();  // node 6 stays out of reach
    EXPECT_EQ(outline(), "PC1# +DC=d* .+OU=A ..+OU=A1 .+OU=B ..OU=B1 ");
    EXPECT_EQ(shown, "10/4");  // 1 + 2 + 3 + 4
}

// Each trap names its routine and the step it reached, closes the query connection and ends the
// program.
TEST_F(ContainerTreeTest, FailuresEndTheProgramThroughTheTrapOfTheirRoutine) {
    buildCorpDomain(directory);
    startUp();
    EXPECT_THROW(click(2), ProgramEnded);  // start-up found no domain: no connection
    EXPECT_THROW(tree.AddDomainNode(directory.domain(kCorp), ""), ProgramEnded);
    tree.setConnection(connection.get());
    directory.fail("count", "OU=Sales," + kCorp, RunTimeError(1, "Failed", "Provider"));
    EXPECT_THROW(click(5), ProgramEnded);
    directory.addDomain("DC=other");
    directory.addContainer("DC=other", "OU=X");
    directory.fail("children", "OU=X,DC=other", noSuchObject());
    EXPECT_THROW(tree.AddDomainNode(directory.domain("DC=other"), ""), ProgramEnded);
    // A server that fails between two pages of a count: the query opens, its rows cannot be read.
    directory.fail("total", kCorp, RunTimeError(2, "Lost", "Provider"));
    EXPECT_THROW(click(2), ProgramEnded);

    ASSERT_EQ(trap.messages.size(), 5U);
    EXPECT_EQ(trap.messages[0],
              "Error 5 in QMK6\r\nError Number: 3709\r\nDescription:  The connection cannot be "
              "used to perform this operation. It is either closed or invalid in this "
              "context.\r\nSource:       ADODB.Recordset");
    EXPECT_EQ(trap.messages[1],
              "Error 2 in QMK4\r\nError Number: 35602\r\n"
              "Description:  Key is not unique in collection\r\nSource:       TreeView");
    EXPECT_TRUE(trap.messages[2].starts_with("Error 5 in QMK6\r\nError Number: 1\r\n"));
    EXPECT_TRUE(trap.messages[3].starts_with("Error 4 in QMK5\r\nError Number: -2147016656"));
    EXPECT_TRUE(trap.messages[4].starts_with("Error 6 in QMK6\r\nError Number: 2\r\n"));
    EXPECT_EQ(std::ranges::count(trap.events, "close connection"), 5);
}

}  // namespace
}  // namespace qm

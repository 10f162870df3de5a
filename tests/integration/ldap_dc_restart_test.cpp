// A DC that stops in the middle of a run: the next directory call fails at once with "server down",
// and once the DC is back the same directory services reconnect by themselves. Stops and restarts
// the sandbox's corp DC, so it runs alone (RUN_SERIAL).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "platform/directory_services.h"
#include "support/fake_dialogs.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

constexpr std::int32_t kServerDown = -2147016646;  // 0x8007203A

void sandbox(const std::string& arguments) {
    testing::runCommand(std::string(QM_SOURCE_DIR) + "/scripts/sandbox " + arguments + " 2>&1");
}

// Restarts the DC even when the test fails half-way.
struct DcRestarter {
    ~DcRestarter() {
        try {
            sandbox("start");
        } catch (...) {
        }
    }
};

TEST(LdapDcRestart, AStoppedDcFailsTheNextCallQuicklyAndIsReconnectedOnceBack) {
    testing::runCommand("kinit Administrator@CORP.TEST < '" +
                        testing::sandboxFact("SANDBOX_PASSWORD_FILE") + "' >/dev/null");
    testing::FakeDialogs dialogs;
    Credentials credentials(dialogs);
    auto directory = makeDirectoryServices(credentials);
    auto domain = directory->bind("LDAP://DC=corp,DC=test");
    auto connection = directory->newConnection();
    connection->Open("Active Directory Provider", "", "");
    auto recordset = connection->newRecordset();
    recordset->setSource(
        "<LDAP://OU=Many,DC=corp,DC=test>;(objectClass=user);distinguishedName;oneLevel");

    DcRestarter restartAtEnd;
    sandbox("stop corp");
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { domain->children(); },
             [&] { directory->bind("LDAP://OU=West,DC=corp,DC=test"); },
             [&] { recordset->Open(); },
         }) {
        const auto start = std::chrono::steady_clock::now();
        try {
            call();
            ADD_FAILURE() << "a call to the stopped DC succeeded";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.number(), kServerDown) << error.description();
            EXPECT_NE(error.description().find("dc1.corp.test"), std::string::npos)
                << error.description();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    }

    sandbox("start");
    domain->setFilter({"organizationalUnit"});
    EXPECT_FALSE(domain->children().empty());
    recordset->Open();
    EXPECT_EQ(recordset->RecordCount(), 1200);
    recordset->Close();
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace qm

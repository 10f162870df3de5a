// The LDAP side of the directory against the sandbox's corp.test DC (a real Samba AD DC), compared
// with what OpenLDAP's own tools read and write. Runs inside the sandbox's namespace
// (scripts/sandbox exec), where the DC's name resolves and LDAPCONF, KRB5_CONFIG and KRB5CCNAME
// name the sandbox's files. The last test stops and restarts the DC, so the suite runs alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/ldap/directory_services.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_session.h"
#include "support/fake_dialogs.h"
#include "support/run_time_errors.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using namespace qm::testing;

const std::string kCorp = "DC=corp,DC=test";
const std::string kSales = "OU=Sales,OU=West," + kCorp;
// The user these tests write to (the WinNT side's tests write to another one).
const std::string kPatOrtiz = "CN=Pat Ortiz,CN=Users," + kCorp;

class LdapSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runCommand("kinit Administrator@CORP.TEST < '" + sandboxFact("SANDBOX_PASSWORD_FILE") +
                   "' >/dev/null");
    }
    // Every test starts with the Administrator's ticket; signInWithPassword takes it away.
    void SetUp() override { setenv("KRB5CCNAME", sandboxFact("SANDBOX_KRB5CCNAME").c_str(), 1); }

    // Starts the DC again when a test that stopped it failed half-way.
    void TearDown() override {
        if (dcStopped) {
            runSandbox("start");
        }
    }

    void signInWithPassword(const std::string& user) {
        setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);
        dialogs.inputAnswers = {user, sandboxPassword()};
    }

    bool dcStopped = false;
    FakeDialogs dialogs;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
};

// A node's key is the DN as the directory writes it, so one object has one key. The containers'
// order is compared with the DC's on the selection screen.
TEST_F(LdapSandbox, TheTicketFindsTheForestAndKeysNodesAsTheDirectoryWritesThem) {
    ASSERT_TRUE(credentials.hasKerberosTicket());
    ASSERT_TRUE(directory->inDomain());
    EXPECT_EQ(directory->forestRootDomain(), kCorp);
    const DirectoryNode sales = directory->domain("ou=sales,ou=west,dc=corp,dc=test");
    EXPECT_EQ(sales.key, kSales);
    EXPECT_EQ(sales.name, "OU=Sales");
    EXPECT_EQ(directory->domain(kCorp).name, "DC=corp");
    EXPECT_TRUE(directory->childContainers("OU=East,OU=West," + kCorp).empty());
    EXPECT_TRUE(directory->childDomains(kCorp).empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

// Only a user binds; a text that cannot be a complete DN (a NUL in the name, the container or the
// domain, an empty name) fails before any server is asked, so no sign-in is asked for either.
TEST_F(LdapSandbox, GroupsUnitsContactsAndImpossibleNamesFailTheBind) {
    for (const std::string& notAUser :
         {"CN=Sales Staff," + kSales, "CN=Sales Vendor," + kSales, kSales}) {
        EXPECT_EQ(errorOf([&] { directory->domainUser(notAUser); }).number(), hresult::NoInterface)
            << notAUser;
    }
    signInWithPassword("Administrator@corp.test");
    const Bytes before = corpLogonHours(kPatOrtiz).value_or(Bytes());
    for (const std::string& impossible :
         {"CN=Pat Ortiz\0x,CN=Users,"s + kCorp, "CN=Pat Ortiz,CN=Users\0x,"s + kCorp,
          kPatOrtiz + "\0,DC=branch,DC=test"s, "CN=,CN=Users," + kCorp, "CN=Pat Ortiz,," + kCorp}) {
        EXPECT_EQ(errorOf([&] { directory->domainUser(impossible); }).number(),
                  hresult::BadPathName);
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(corpLogonHours(kPatOrtiz).value_or(Bytes()), before);
}

// The server keeps logonHours of any length, so only the LDAP side can hold writes to 21 bytes.
// Names the DN escape handles are written end to end by the Set suite.
TEST_F(LdapSandbox, LogonHoursOfOtherLengthsAreRefusedOrReadAsHeld) {
    const auto user = directory->domainUser(kPatOrtiz);
    const auto before = corpLogonHours(kPatOrtiz);
    for (const Bytes& value : {Bytes(20, 0xFF), Bytes(22, 0xFF), Bytes()}) {
        const auto error = errorOf([&] { user->setLogonHours(value); });
        EXPECT_EQ(error.number(), hresult::InvalidArgument);
        EXPECT_NE(error.description().find("21 bytes"), std::string::npos) << error.description();
    }
    EXPECT_EQ(corpLogonHours(kPatOrtiz), before);
    for (const std::string& dn :
         {"CN=Long Hours,OU=Odd," + kCorp, "CN=Short Hours,OU=Odd," + kCorp}) {
        const Bytes held = corpLogonHours(dn).value();
        EXPECT_NE(held.size(), 21U);
        EXPECT_EQ(directory->domainUser(dn)->logonHours(), held) << dn;
    }
}

// A DC that stops answering mid-run costs one answer timeout and one failed reconnect; every later
// call fails at once with the same error instead of waiting again.
TEST_F(LdapSandbox, AStalledDcIsWaitedForTwiceAndThenFailsEveryCallAtOnce) {
    LdapSession session("ldap://dc1.corp.test", "corp.test", credentials);
    const auto readUser = [&](int i) {
        const std::string dn = i % 2 == 0 ? kPatOrtiz : "CN=Administrator,CN=Users," + kCorp;
        return session.search({dn, LDAP_SCOPE_BASE, "(objectClass=user)", {"logonHours"}},
                              {"Cannot bind to " + dn, kLdapSource});
    };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(readUser(i).size(), 1U);
    }
    const SandboxServerFrozen frozen("corp");
    constexpr int kStalledCalls = 200;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < kStalledCalls; ++i) {
        numbers.push_back(errorOf([&] { readUser(i); }).number());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), hresult::Timeout), kStalledCalls);
    EXPECT_LT(took, std::chrono::seconds(2 * LdapSession::kOperationTimeoutSeconds + 4));
    std::cout << "[ measured ] " << kStalledCalls << " calls to a stalled DC took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

// Last: stops the DC. The next calls must fail at once with "server down", and the same directory
// services must reconnect by themselves once the DC is back.
TEST_F(LdapSandbox, AStoppedDcFailsTheNextCallsQuicklyAndIsReconnectedOnceBack) {
    const auto connection = directory->openQueryConnection();
    directory->domain(kCorp);

    runSandbox("stop corp");
    dcStopped = true;
    for (const auto& call :
         std::vector<std::function<void()>>{[&] { directory->childContainers(kCorp); },
                                            [&] { directory->domain("OU=West," + kCorp); },
                                            [&] { connection->countUsers(kSales); }}) {
        const auto start = std::chrono::steady_clock::now();
        const RunTimeError error = errorOf(call);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(error.number(), hresult::ServerDown);
        EXPECT_NE(error.description().find("dc1.corp.test"), std::string::npos)
            << error.description();
    }
    runSandbox("start");
    dcStopped = false;
    EXPECT_FALSE(directory->childContainers(kCorp).empty());
    EXPECT_EQ(connection->countUsers(kSales), 4);
}

}  // namespace
}  // namespace qm

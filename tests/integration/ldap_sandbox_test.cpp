// The LDAP provider and the query connection against the sandbox's corp.test DC (a real Samba AD
// DC), compared with what OpenLDAP's own tools read and write. Runs inside the sandbox's namespace
// (scripts/sandbox exec), where the DC's name resolves and LDAPCONF, KRB5_CONFIG and KRB5CCNAME
// name the sandbox's files. The last test stops and restarts the DC, so the suite runs alone.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <tuple>

#include "platform/ldap/directory_services.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_query.h"
#include "platform/ldap/ldap_session.h"
#include "setting/name_escape.h"
#include "support/fake_dialogs.h"
#include "support/run_time_errors.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using namespace qm::testing;

const std::string kCorp = "DC=corp,DC=test";
const std::string kUserFilter = "(&(objectCategory=person)(objectClass=user))";
const std::vector<std::string> kContainers = {"container", "organizationalUnit", "builtinDomain"};
// The user these tests write to (the WinNT provider's tests write to another one).
const std::string kPatOrtiz = "CN=Pat Ortiz,CN=Users," + kCorp;

// The DC's one-level children of a DN whose most specific class is one of the classes, in its
// order.
std::vector<std::string> serverChildren(const std::string& dn,
                                        const std::vector<std::string>& classes) {
    std::vector<std::string> paths;
    for (const auto& entry : corpLdapsearch(dn, "one", "(objectClass=*)", "objectClass")) {
        const std::string& mostSpecific = entry.values.at("objectClass");
        if (std::find(classes.begin(), classes.end(), mostSpecific) != classes.end()) {
            paths.push_back("LDAP://" + entry.dn);
        }
    }
    return paths;
}

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
        if (dcFrozen) {
            freezeDc(SIGCONT);
        }
        if (dcStopped) {
            sandbox("start");
        }
    }

    // Stops or continues the corp DC's processes (one process group) without ending them: the
    // kernel still accepts connections, and nothing answers.
    void freezeDc(int signal) {
        std::ifstream pidFile(std::string(std::getenv("QUILLMARK_SANDBOX_DIR")) + "/run/corp.pid");
        pid_t group = 0;
        ASSERT_TRUE(pidFile >> group) << "no pid recorded for the corp DC";
        ASSERT_EQ(kill(-group, signal), 0);
        dcFrozen = signal == SIGSTOP;
    }

    static void sandbox(const std::string& arguments) {
        runCommand(std::string(QM_SOURCE_DIR) + "/scripts/sandbox " + arguments + " 2>&1");
    }

    void signInWithPassword(const std::string& user) {
        setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);
        dialogs.inputAnswers = {user, sandboxPassword()};
    }

    std::unique_ptr<DirectoryObject> bind(const std::string& dn) {
        return directory->bind("LDAP://" + dn);
    }

    std::vector<std::string> childPaths(DirectoryObject& parent,
                                        const std::vector<std::string>& classes) {
        parent.setFilter(classes);
        std::vector<std::string> paths;
        for (const auto& child : parent.children()) {
            paths.push_back(child->ADsPath());
        }
        return paths;
    }

    bool dcStopped = false;
    bool dcFrozen = false;
    FakeDialogs dialogs;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
};

TEST_F(LdapSandbox, TheTicketSignsInToTheRootDseAndToObjectsBoundByDistinguishedName) {
    ASSERT_TRUE(credentials.hasKerberosTicket());
    EXPECT_EQ(directory->bind("LDAP://RootDSE")->Get("rootDomainNamingContext").toText(), kCorp);
    for (const auto& [dn, name] : std::vector<std::pair<std::string, std::string>>{
             {kCorp, "DC=corp"},
             {"OU=Sales,OU=West," + kCorp, "OU=Sales"},
             {"CN=System,OU=West," + kCorp, "CN=System"},
             {"CN=Smith\\, Jim,OU=Sales,OU=West," + kCorp, "CN=Smith\\, Jim"}}) {
        auto object = bind(dn);
        EXPECT_EQ(object->Name(), name);
        EXPECT_EQ(object->ADsPath(), "LDAP://" + dn);
    }
    // The path carries the DN as the directory writes it, so one object has one path.
    EXPECT_EQ(bind("ou=sales,ou=west,dc=corp,dc=test")->ADsPath(),
              "LDAP://OU=Sales,OU=West," + kCorp);
    EXPECT_TRUE(dialogs.shown.empty());
}

// Computers are users too, and groups and contacts sit beside containers: only the most
// specific class counts.
TEST_F(LdapSandbox, ChildrenFilteredByClassAreThoseOfThatClassInTheDirectorysOrder) {
    const std::string west = "OU=West," + kCorp;
    const std::string east = "OU=East," + west;
    const std::vector<std::tuple<std::string, std::vector<std::string>, std::size_t>> cases = {
        {west, kContainers, 3},  {east, kContainers, 0}, {east, {"user"}, 5},
        {east, {"computer"}, 1}, {east, {"group"}, 1},   {east, {"contact"}, 1}};
    for (const auto& [dn, classes, count] : cases) {
        const auto expected = serverChildren(dn, classes);
        EXPECT_EQ(expected.size(), count) << dn << " " << classes.front();
        EXPECT_EQ(childPaths(*bind(dn), classes), expected) << dn << " " << classes.front();
    }
    const auto domainContainers = serverChildren(kCorp, kContainers);
    EXPECT_GE(domainContainers.size(), 10U);
    EXPECT_EQ(childPaths(*bind(kCorp), kContainers), domainContainers);
}

// Windows AD hands out at most 1,000 entries without the paged-results control, Samba all of them:
// only the pages read show the control was sent.
TEST_F(LdapSandbox, RecordsetReadsMoreThanAThousandUsersPageByPageAsTheDirectoryHoldsThem) {
    const std::string many = "OU=Many," + kCorp;
    auto connection = directory->newConnection();
    connection->Open("Active Directory Provider", "", "");
    auto recordset = connection->newRecordset();
    recordset->setSource("<LDAP://" + many + ">;" + kUserFilter +
                         ";logonHours,sAMAccountName,distinguishedName,cn;oneLevel");
    recordset->Open();
    const auto expected = corpLdapsearch(many, "one", kUserFilter, "logonHours sAMAccountName cn");
    ASSERT_EQ(expected.size(), 1200U);
    EXPECT_EQ(recordset->RecordCount(), 1200);
    std::size_t row = 0;
    for (; !recordset->Eof() && row < expected.size(); recordset->MoveNext(), ++row) {
        const auto& values = expected[row].values;
        const Variant hours = recordset->Fields("logonHours");
        EXPECT_EQ(recordset->Fields("distinguishedName").toText(), expected[row].dn) << row;
        EXPECT_EQ(recordset->Fields("cn").toText(), values.at("cn"));
        EXPECT_EQ(recordset->Fields("sAMAccountName").toText(), values.at("sAMAccountName"));
        EXPECT_EQ(hours.isNull() ? "-" : toBase64(hours.bytes()),
                  values.count("logonHours") != 0 ? values.at("logonHours") : "-");
    }
    EXPECT_TRUE(recordset->Eof());
    EXPECT_EQ(row, expected.size());
    EXPECT_EQ(dynamic_cast<LdapRecordset&>(*recordset).pagesRead(), 2);
}

TEST_F(LdapSandbox, EveryTrickyNameBindsByTheDistinguishedNameRebuiltFromItsCommonName) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> usersByContainer = {
        {"OU=Sales,OU=West,",
         {"Smith, Jim", "Ann=Lee", "Zo\u00eb \u00c5ngstr\u00f6m", "Lee; Jr <Ops>"}},
        {"OU=East,OU=West,", {"Dept/IT Admin", "#1 Fan", "A+B", "Say \"Hi\"", "Back\\Slash"}},
        {"", {"Root User"}}};
    for (const auto& [container, names] : usersByContainer) {
        for (const std::string& cn : names) {
            auto user = bind("CN=" + EscapeName(cn) + "," + container + kCorp);
            EXPECT_EQ(user->Get("cn").toText(), cn);
            // The path the tree and the query hand on, as the DC writes the DN, binds it again.
            EXPECT_EQ(directory->bind(user->ADsPath())->Get("cn").toText(), cn);
        }
    }
}

// The server keeps logonHours of any length, so only the provider can hold writes to 21 bytes.
TEST_F(LdapSandbox, LogonHoursRoundTripByteExactAndOtherLengthsAreRefusedOrReadAsHeld) {
    const auto original = corpLogonHours(kPatOrtiz);
    auto user = bind(kPatOrtiz);
    user->Put("logonHours", sampleHours(0x80));
    user->SetInfo();
    EXPECT_EQ(corpLogonHours(kPatOrtiz), sampleHours(0x80));

    setCorpLogonHours(kPatOrtiz, sampleHours(0x0F));
    user = bind(kPatOrtiz);
    EXPECT_EQ(user->Get("logonHours").bytes(), sampleHours(0x0F));

    for (const Bytes& value : {Bytes(20, 0xFF), Bytes(22, 0xFF), Bytes()}) {
        const auto error = errorOf([&] { user->Put("logonHours", value); });
        EXPECT_EQ(error.number(), hresult::InvalidArgument);
        EXPECT_NE(error.description().find("21 bytes"), std::string::npos) << error.description();
    }
    user->SetInfo();  // nothing was staged
    EXPECT_EQ(corpLogonHours(kPatOrtiz), sampleHours(0x0F));

    for (const std::string& dn :
         {"CN=Long Hours,OU=Odd," + kCorp, "CN=Short Hours,OU=Odd," + kCorp}) {
        const Bytes held = corpLogonHours(dn).value();
        EXPECT_NE(held.size(), 21U);
        EXPECT_EQ(bind(dn)->Get("logonHours").bytes(), held) << dn;
    }
    setCorpLogonHours(kPatOrtiz, original);
}

// The DC refuses a simple bind without TLS (strong authentication required): these binds succeed
// only over StartTLS or LDAPS.
TEST_F(LdapSandbox, WithoutATicketThePasswordAskedOnceSignsInOverStartTlsAndLdaps) {
    signInWithPassword("Administrator@corp.test");
    ASSERT_FALSE(credentials.hasKerberosTicket());
    EXPECT_EQ(childPaths(*bind("OU=West," + kCorp), {"organizationalUnit"}).size(), 2U);
    auto west = directory->bind("LDAP://dc1.corp.test:636/OU=West," + kCorp);
    EXPECT_EQ(west->ADsPath(), "LDAP://dc1.corp.test:636/OU=West," + kCorp);
    EXPECT_EQ(childPaths(*west, {"organizationalUnit"}).size(), 2U);
    ASSERT_EQ(dialogs.shown.size(), 2U) << "user name and password, once for the whole run";
    EXPECT_TRUE(dialogs.shown[1].masked);
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
    freezeDc(SIGSTOP);
    constexpr int kStalledCalls = 200;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < kStalledCalls; ++i) {
        numbers.push_back(errorOf([&] { readUser(i); }).number());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    freezeDc(SIGCONT);
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), hresult::Timeout), kStalledCalls);
    EXPECT_LT(took, std::chrono::seconds(2 * LdapSession::kOperationTimeoutSeconds + 4));
    std::cout << "[ measured ] " << kStalledCalls << " calls to a stalled DC took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

// Last: stops the DC. The next calls must fail at once with "server down", and the same directory
// services must reconnect by themselves once the DC is back.
TEST_F(LdapSandbox, AStoppedDcFailsTheNextCallsQuicklyAndIsReconnectedOnceBack) {
    auto domain = bind(kCorp);
    auto connection = directory->newConnection();
    connection->Open("Active Directory Provider", "", "");
    auto recordset = connection->newRecordset();
    recordset->setSource("<LDAP://OU=Sales,OU=West," + kCorp + ">;" + kUserFilter + ";cn;oneLevel");

    sandbox("stop corp");
    dcStopped = true;
    for (const auto& call : std::vector<std::function<void()>>{[&] { domain->children(); },
                                                               [&] { bind("OU=West," + kCorp); },
                                                               [&] { recordset->Open(); }}) {
        const auto start = std::chrono::steady_clock::now();
        const RunTimeError error = errorOf(call);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(error.number(), hresult::ServerDown);
        EXPECT_NE(error.description().find("dc1.corp.test"), std::string::npos)
            << error.description();
    }
    sandbox("start");
    dcStopped = false;
    EXPECT_FALSE(childPaths(*domain, {"organizationalUnit"}).empty());
    recordset->Open();
    EXPECT_EQ(recordset->RecordCount(), 4);
}

}  // namespace
}  // namespace qm

// The directory against the sandbox's real servers: the LDAP side against corp.test's DC (a real
// Samba AD DC) and what OpenLDAP's tools read and write; the WinNT side against PC01 (a Samba
// standalone server) and the same DC, which answers SAMR with the domain's users (the Set suite
// compares a computer's SAMR writes with pdbedit). Runs inside the sandbox's namespace, where the
// servers' names resolve. The last LDAP test stops and restarts the DC, so the suite runs alone.

#include <algorithm>
#include <chrono>
#include <map>
#include <tuple>

#include "platform/ldap/directory_services.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_session.h"
#include "platform/samr/tcp_probe.h"
#include "platform/samr/winnt_provider.h"
#include "support/fake_platform.h"
#include "support/loopback_listener.h"
#include "support/run_time_errors.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using namespace qm::testing;

const std::string kSales = "OU=Sales,OU=West," + kCorpDomain;
// The user these tests write to (the WinNT side's tests write to another one).
const std::string kPatOrtiz = "CN=Pat Ortiz,CN=Users," + kCorpDomain;

// A corp user's logonHours as the DC holds them; nothing when the user has none.
std::optional<Bytes> corpLogonHours(const std::string& dn) {
    const std::string bytes =
        runCommand(ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no -b " + shellQuoted(dn) +
                   " -s base logonHours | sed -n 's/^logonHours:: //p' | base64 -d");
    return bytes.empty() ? std::nullopt : std::optional<Bytes>(Bytes(bytes.begin(), bytes.end()));
}

// Sets a corp user's logonHours through ldapmodify; nothing deletes them.
void setCorpLogonHours(const std::string& dn, const std::optional<Bytes>& value) {
    std::string octal;  // printf's escapes, which sh knows in octal only
    for (const std::uint8_t byte : value.value_or(Bytes())) {
        octal += "\\" + std::to_string(byte >> 6) + std::to_string(byte >> 3 & 7) +
                 std::to_string(byte & 7);
    }
    const std::string change =
        value ? "replace: logonHours\nlogonHours:: $(printf '" + octal + "' | base64 -w0)"
              : std::string("delete: logonHours");
    runCommand("printf 'dn: %s\\nchangetype: modify\\n%s\\n' " + shellQuoted(dn) + " \"" + change +
               "\" | " + ldapTool("ldapmodify") + " >/dev/null");
}

// Stops the corp DC's processes (one process group) without ending them, and continues them when it
// goes: the kernel still accepts connections, and nothing answers.
struct CorpDcFrozen {
    CorpDcFrozen() { runCommand("kill -STOP" + group); }
    ~CorpDcFrozen() { (void)std::system(("kill -CONT" + group).c_str()); }
    const std::string group = " -$(cut -d' ' -f1 \"$QUILLMARK_SANDBOX_DIR/run/corp.pid\")";
};

class LdapSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runCommand("kinit Administrator@CORP.TEST < '" + sandboxFact("SANDBOX_PASSWORD_FILE") +
                   "' >/dev/null");
    }
    // Every test starts with the Administrator's ticket.
    void SetUp() override { setenv("KRB5CCNAME", sandboxFact("SANDBOX_KRB5CCNAME").c_str(), 1); }

    FakeDialogs dialogs;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
};

// A node's key is the DN as the directory writes it, so one object has one key. (The tree is
// compared with the DC's on the selection screen; the Document suite signs in with the ticket.)
// A text that cannot be a complete DN (a NUL in the name, the container or the domain, an empty
// name) fails the bind before any server is asked, so no sign-in is asked for either.
TEST_F(LdapSandbox, NodesAreKeyedAsTheDirectoryWritesThemAndImpossibleNamesFailTheBind) {
    const DirectoryNode sales = directory->domain("ou=sales,ou=west,dc=corp,dc=test");
    EXPECT_EQ(sales.key + " | " + sales.name, kSales + " | OU=Sales");
    setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);  // a password instead
    dialogs.inputAnswers = {"Administrator@corp.test", sandboxPassword()};
    const Bytes before = corpLogonHours(kPatOrtiz).value_or(Bytes());
    for (const std::string& impossible :
         {"CN=Pat Ortiz\0x,CN=Users,"s + kCorpDomain, kPatOrtiz + "\0,DC=branch,DC=test"s,
          "CN=,CN=Users," + kCorpDomain}) {
        EXPECT_EQ(errorOf([&] { directory->listedDomainUser(impossible, std::nullopt); }).number(),
                  hresult::BadPathName);
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(corpLogonHours(kPatOrtiz).value_or(Bytes()), before);
}

// The server keeps logonHours of any length, so only the LDAP side can hold writes to 21 bytes.
// Names the DN escape handles are written end to end by the Set suite.
TEST_F(LdapSandbox, LogonHoursOfOtherLengthsAreRefusedOrReadAsHeld) {
    const auto before = corpLogonHours(kPatOrtiz);
    const auto user = directory->listedDomainUser(kPatOrtiz, before);
    for (const Bytes& value : {Bytes(20, 0xFF), Bytes()}) {
        const auto error = errorOf([&] { user->setLogonHours(value); });
        EXPECT_EQ(error.number(), hresult::InvalidArgument);
        EXPECT_NE(error.description().find("21 bytes"), std::string::npos) << error.description();
    }
    EXPECT_EQ(corpLogonHours(kPatOrtiz), before);
    std::map<std::string, std::optional<Bytes>> listed;
    directory->forEachUserIn("OU=Odd," + kCorpDomain, [&](HeldAccount&& user) {
        listed[user.name] = user.account->logonHours();
    });
    for (const std::string name : {"Long Hours", "Short Hours"}) {
        const Bytes held = corpLogonHours("CN=" + name + ",OU=Odd," + kCorpDomain).value();
        EXPECT_NE(held.size(), 21U);
        EXPECT_EQ(listed[name], held) << name;
    }
}

// A DC that stops answering mid-run costs one answer timeout and one failed reconnect; every later
// call fails at once with the same error instead of waiting again.
TEST_F(LdapSandbox, AStalledDcIsWaitedForTwiceAndThenFailsEveryCallAtOnce) {
    LdapSession session("ldap://dc1.corp.test", "corp.test", credentials);
    const auto readUser = [&](int i) {
        const std::string dn = i % 2 == 0 ? kPatOrtiz : "CN=Administrator,CN=Users," + kCorpDomain;
        return session.search({dn, LDAP_SCOPE_BASE, "(objectClass=user)", {"logonHours"}},
                              {"Cannot bind to " + dn, kLdapSource});
    };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(readUser(i).size(), 1U);
    }
    const CorpDcFrozen frozen;
    constexpr int kStalledCalls = 200;
    const auto start = std::chrono::steady_clock::now();
    int timeouts = 0;
    for (int i = 0; i < kStalledCalls; ++i) {
        timeouts += errorOf([&] { readUser(i); }).number() == hresult::Timeout;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(timeouts, kStalledCalls);
    EXPECT_LT(took, std::chrono::seconds(2 * LdapSession::kOperationTimeoutSeconds + 4));
}

// Last: stops the DC. The next calls must fail at once with "server down", and the same directory
// services must reconnect by themselves once the DC is back.
TEST_F(LdapSandbox, AStoppedDcFailsTheNextCallsQuicklyAndIsReconnectedOnceBack) {
    const auto connection = directory->openQueryConnection();
    directory->domain(kCorpDomain);
    // Dropped with its second page asked for, a stream leaves the session as it was.
    EXPECT_TRUE(connection->users("OU=Many," + kCorpDomain)->next());
    EXPECT_EQ(connection->countUsers(kSales)->total(), 4);

    const SandboxRestarter restartAtEnd;
    runSandbox("stop corp");
    for (const auto& call :
         std::vector<std::function<void()>>{[&] { directory->childContainers(kCorpDomain); },
                                            [&] { directory->domain("OU=West," + kCorpDomain); },
                                            [&] { connection->countUsers(kSales)->total(); }}) {
        const auto start = std::chrono::steady_clock::now();
        const RunTimeError error = errorOf(call);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(error.number(), hresult::ServerDown);
        EXPECT_NE(error.description().find("dc1.corp.test"), std::string::npos)
            << error.description();
    }
    runSandbox("start");
    EXPECT_FALSE(directory->childContainers(kCorpDomain).empty());
    EXPECT_EQ(connection->countUsers(kSales)->total(), 4);
}

constexpr std::int32_t kBadNetPath = -2147024843;    // 0x80070035
constexpr std::int32_t kLogonFailure = -2147023570;  // 0x8007052E

// 21 bytes that differ from each other, as logon hours to write.
Bytes sampleHours(std::uint8_t seed) {
    Bytes bytes(21);
    std::ranges::generate(bytes, [&] { return seed += 37; });
    return bytes;
}

class WinNtSandbox : public ::testing::Test {
protected:
    // No ticket: the password the fake dialogs give signs in.
    void SetUp() override {
        setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);
        dialogs.inputAnswers = {"Administrator", sandboxPassword()};
    }

    FakeDialogs dialogs;
    Credentials credentials{dialogs};
};

TEST_F(WinNtSandbox, DomainControllerHoursAreTheSameBytesOverLdapAndOverSamr) {
    const std::string dn = "CN=Lee Chan,CN=Users," + sandboxFact("CORP_DN");
    const auto original = corpLogonHours(dn);
    setCorpLogonHours(dn, sampleHours(0x11));
    const auto lchan = [&] {
        for (HeldAccount& user : reachComputer("DC1", credentials)->users()) {
            if (user.name == "lchan") {
                return std::move(user.account);
            }
        }
        return std::unique_ptr<Account>();
    };
    EXPECT_EQ(lchan()->logonHours(), sampleHours(0x11));

    lchan()->setLogonHours(sampleHours(0x77));
    EXPECT_EQ(corpLogonHours(dn), sampleHours(0x77));
    setCorpLogonHours(dn, original);
}

TEST_F(WinNtSandbox, UnknownNamesStoppedComputersAndAWrongPasswordFailClearlyWithinSeconds) {
    // Drops packets, as a switched-off computer behind a router does: without the provider's own
    // short wait the SAMR connect would hang for a minute.
    LoopbackListener silent(LoopbackListener::Mode::Silent, "127.0.0.98", 445);
    ASSERT_TRUE(silent.listening());
    const std::string stopped = sandboxFact("DEAD_ADDRESS");  // nothing listens there
    for (const auto& [computer, number, named] :
         std::vector<std::tuple<std::string, std::int32_t, std::string>>{
             {"PC99", kBadNetPath, "PC99"},
             {stopped, kBadNetPath, "did not accept a connection on TCP port 445"},
             {"127.0.0.98", kBadNetPath, "127.0.0.98"},
             {"PC01", kLogonFailure, "Administrator"}}) {
        const std::string password =
            number == kLogonFailure ? "not-the-password" : sandboxPassword();
        FakeDialogs signIn;
        signIn.inputAnswers = {"Administrator", password};
        Credentials asked(signIn);
        const auto start = std::chrono::steady_clock::now();
        const RunTimeError error = errorOf([&] { reachComputer(computer, asked); });
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << computer;
        EXPECT_EQ(error.number(), number) << computer;
        EXPECT_NE(error.description().find(named), std::string::npos) << error.description();
        EXPECT_EQ(error.description().find(password), std::string::npos) << error.description();
    }
}

TEST_F(WinNtSandbox, LocalComputerWithoutAnSmbServerBindsWithNoUsers) {
    if (probeTcp("127.0.0.1", 445, 1s) == ProbeResult::Answered) {
        GTEST_SKIP() << "an SMB server answers on 127.0.0.1 here";
    }
    const std::string name = localComputerName();
    // Then with a local SMB server whose sign-in the person cancels: the computer stands as well.
    for (const bool smbServer : {false, true}) {
        std::optional<LoopbackListener> server;
        if (smbServer) {
            server.emplace(LoopbackListener::Mode::Answering, "127.0.0.1", 445);
            ASSERT_TRUE(server->listening());
            dialogs.inputAnswers.clear();
        }
        const auto computer = reachComputer(name, credentials);
        EXPECT_EQ(computer->name(), name);
        EXPECT_TRUE(computer->users().empty());
        ASSERT_EQ(dialogs.shown.size(), smbServer ? 1U : 0U);
    }
    EXPECT_NE(dialogs.shown[0].text.find(name), std::string::npos) << dialogs.shown[0].text;
}

}  // namespace
}  // namespace qm

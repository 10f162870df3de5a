// The WinNT provider against the sandbox's real servers: PC01 (a Samba standalone server with local
// accounts) and DC1 of corp.test (a Samba AD DC, which answers SAMR with the domain's users). Runs
// inside the sandbox's namespace (scripts/sandbox exec), where their names resolve.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/tcp_probe.h"
#include "platform/winnt_provider.h"
#include "support/fake_dialogs.h"
#include "support/loopback_listener.h"
#include "support/run_time_errors.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using testing::errorOf;

using namespace std::chrono_literals;

constexpr std::int32_t kLogonFailure = -2147023570;      // 0x8007052E
constexpr std::int32_t kBadNetPath = -2147024843;        // 0x80070035
constexpr std::int32_t kUserNotFound = -2147022675;      // 0x800708AD
constexpr std::int32_t kInvalidParameter = -2147024809;  // 0x80070057
constexpr std::int32_t kInvalidData = -2147024883;       // 0x8007000D

// --- the servers' own view ---------------------------------------------------------------------

using testing::nonEmptyLines;
using testing::runCommand;
using testing::sandboxFact;
using testing::sandboxPassword;

std::string hexOf(const Bytes& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

// pdbedit's view of PC01's account database, read directly from its files.
std::string pdbedit(const std::string& arguments) {
    return runCommand("pdbedit -s '" + sandboxFact("PC01_CONF") + "' " + arguments +
                      " 2>/dev/null");
}

std::string pdbeditField(const std::string& user, const std::string& label) {
    for (const std::string& line : nonEmptyLines(pdbedit("-v -u " + user))) {
        if (line.rfind(label, 0) == 0) {
            const auto colon = line.find(':');
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
    }
    throw std::runtime_error("pdbedit shows no " + label + " for " + user);
}

// The DC's view over LDAP (StartTLS, as the forest's Administrator).
std::string ldapTool(const std::string& tool) {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
           sandboxFact("CORP_DOMAIN") + " -y '" + sandboxFact("SANDBOX_PASSWORD_FILE") + "'";
}

std::string ldapSearch(const std::string& arguments) {
    return runCommand(ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no " + arguments);
}

std::string ldapHoursHex(const std::string& dn) {
    return ldapSearch(
        "-b '" + dn +
        "' -s base logonHours | sed -n 's/^logonHours:: //p' | base64 -d | od -An -v -tx1 "
        "| tr -d ' \\n'");
}

std::string ldapAttribute(const std::string& dn, const std::string& attribute) {
    return ldapSearch("-b '" + dn + "' -s base " + attribute + " | sed -n 's/^" + attribute +
                      ": //p' | tr -d '\\n'");
}

void ldapModify(const std::string& ldif) {
    runCommand("printf '" + ldif + "' | " + ldapTool("ldapmodify") + " >/dev/null");
}

void ldapSetHours(const std::string& dn, const Bytes& hours) {
    std::string upperHex = hexOf(hours);
    std::transform(upperHex.begin(), upperHex.end(), upperHex.begin(), ::toupper);
    const std::string base64 =
        runCommand("printf %s " + upperHex + " | basenc --base16 -d | base64 -w0");
    ldapModify("dn: " + dn +
               "\\nchangetype: modify\\nreplace: logonHours\\nlogonHours:: " + base64 + "\\n");
}

Bytes pattern(std::uint8_t seed) {
    Bytes bytes(21);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + 37 * i);
    }
    return bytes;
}

// --- fixture -------------------------------------------------------------------------------------

class WinNtSandbox : public ::testing::Test {
protected:
    // The private credential caches and the Samba client's settings, removed after the suite.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/qm-winnt-test-XXXXXX";
        scratch = mkdtemp(pattern);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(scratch); }

    void SetUp() override {
        // No ticket unless a test takes one: sign-in by the password the fake dialogs give.
        setenv("KRB5CCNAME", ("FILE:" + scratch + "/no-ticket").c_str(), 1);
        setenv("XDG_CACHE_HOME", (scratch + "/cache").c_str(), 1);
        answerSignIn("Administrator", sandboxPassword());
    }

    void answerSignIn(const std::string& user, const std::string& password) {
        dialogs.inputAnswers.push_back(user);
        dialogs.inputAnswers.push_back(password);
    }

    int inputBoxesShown() const {
        return int(std::count_if(dialogs.shown.begin(), dialogs.shown.end(), [](const auto& box) {
            return box.kind == testing::ShownDialog::Kind::Input;
        }));
    }

    std::unique_ptr<DirectoryObject> bind(const std::string& path) {
        return bindWinNt(path, credentials);
    }

    static inline std::string scratch;
    testing::FakeDialogs dialogs;
    Credentials credentials{dialogs};
};

// --- a computer's local accounts ----------------------------------------------------------------

TEST_F(WinNtSandbox, ComputerListsTheLocalAccountsItsDatabaseHolds) {
    auto computer = bind("WinNT://pc01,computer");
    EXPECT_EQ(computer->Name(), "PC01");
    EXPECT_EQ(computer->ADsPath(), "WinNT://PC01");

    computer->setFilter({"user"});
    std::vector<std::string> listed;
    for (const auto& user : computer->children()) {
        listed.push_back(user->Name());
        EXPECT_EQ(user->ADsPath(), "WinNT://PC01/" + user->Name());
    }
    std::vector<std::string> stored;
    for (const std::string& line : nonEmptyLines(pdbedit("-L"))) {
        stored.push_back(line.substr(0, line.find(':')));
    }
    std::sort(listed.begin(), listed.end());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(listed, stored);

    computer->setFilter({"group"});
    EXPECT_TRUE(computer->children().empty());

    // The ADsPath binds the same computer again; so does its name in other letter case.
    EXPECT_EQ(bind(computer->ADsPath())->ADsPath(), "WinNT://PC01");
    EXPECT_EQ(inputBoxesShown(), 2);  // the password was asked once for all binds
}

TEST_F(WinNtSandbox, LoginHoursAreTheBytesTheComputerStores) {
    auto computer = bind("WinNT://PC01,computer");
    computer->setFilter({"user"});
    int checked = 0;
    for (const auto& user : computer->children()) {
        EXPECT_EQ(hexOf(user->Get("LoginHours").bytes()),
                  lower(pdbeditField(user->Name(), "Logon hours")))
            << user->Name();
        ++checked;
    }
    EXPECT_GE(checked, 4);
    // Sample data: kiosk may log on 08:00-18:00 UTC on weekdays.
    EXPECT_EQ(hexOf(bind("WinNT://PC01/kiosk,user")->Get("loginhours").bytes()),
              "00000000ff0300ff0300ff0300ff0300ff03000000");
}

TEST_F(WinNtSandbox, WrittenHoursReadBackByteExactWithTheAccountFlagsUntouched) {
    auto user = bind("WinNT://PC01/lab1,user");
    const Bytes original = user->Get("LoginHours").bytes();
    const std::string flags = pdbeditField("lab1", "Account Flags");

    const Bytes written = pattern(0x5A);
    user->Put("loginHours", written);
    user->SetInfo();

    EXPECT_EQ(lower(pdbeditField("lab1", "Logon hours")), hexOf(written));
    EXPECT_EQ(user->Get("LoginHours").bytes(), written);
    EXPECT_EQ(bind("WinNT://PC01/lab1,user")->Get("LoginHours").bytes(), written);
    EXPECT_EQ(pdbeditField("lab1", "Account Flags"), flags);

    user->Put("loginHours", original);
    user->SetInfo();
    EXPECT_EQ(lower(pdbeditField("lab1", "Logon hours")), hexOf(original));
}

TEST_F(WinNtSandbox, OnlyTwentyOneBytesAreStagedAndNothingElseIsWritten) {
    auto user = bind("WinNT://PC01/lab1,user");
    const std::string before = pdbeditField("lab1", "Logon hours");
    for (const Variant& value : {Variant(Bytes(20, 0)), Variant(Bytes(22, 0)), Variant(Bytes{}),
                                 Variant("111 111"), Variant::null()}) {
        const RunTimeError error = errorOf([&] { user->Put("loginHours", value); });
        EXPECT_EQ(error.number(), kInvalidParameter);
        EXPECT_EQ(error.source(), "WinNT provider");
        EXPECT_NE(error.description().find("lab1"), std::string::npos) << error.description();
    }
    user->SetInfo();  // nothing staged: nothing written
    EXPECT_EQ(pdbeditField("lab1", "Logon hours"), before);
    EXPECT_EQ(errorOf([&] { user->Put("description", Bytes(21, 0)); }).source(), "WinNT provider");
}

// --- the domain controller: SAMR and LDAP are two views of the same accounts -------------------

TEST_F(WinNtSandbox, DomainControllerListsTheDomainsUsers) {
    auto computer = bind("WinNT://DC1,computer");
    EXPECT_EQ(computer->Name(), "DC1");
    computer->setFilter({"user"});
    std::vector<std::string> listed;
    for (const auto& user : computer->children()) {
        listed.push_back(lower(user->Name()));
    }
    std::vector<std::string> inDirectory;
    for (const std::string& name : nonEmptyLines(
             ldapSearch("-E pr=1000/noprompt -b '" + sandboxFact("CORP_DN") +
                        "' '(&(objectCategory=person)(objectClass=user))' sAMAccountName | "
                        "sed -n 's/^sAMAccountName: //p'"))) {
        inDirectory.push_back(lower(name));
    }
    std::sort(listed.begin(), listed.end());
    std::sort(inDirectory.begin(), inDirectory.end());
    EXPECT_EQ(listed, inDirectory);
}

TEST_F(WinNtSandbox, HoursWrittenOverLdapAndOverSamrAreTheSameBytes) {
    const std::string dn = "CN=Lee Chan,CN=Users," + sandboxFact("CORP_DN");
    const std::string accountControl = ldapAttribute(dn, "userAccountControl");

    ldapSetHours(dn, pattern(0x11));
    EXPECT_EQ(bind("WinNT://DC1/lchan,user")->Get("LoginHours").bytes(), pattern(0x11));

    auto user = bind("WinNT://DC1/lchan,user");
    user->Put("loginHours", pattern(0x77));
    user->SetInfo();
    EXPECT_EQ(ldapHoursHex(dn), hexOf(pattern(0x77)));
    EXPECT_EQ(ldapAttribute(dn, "userAccountControl"), accountControl);

    ldapModify("dn: " + dn + "\\nchangetype: modify\\ndelete: logonHours\\n");
}

TEST_F(WinNtSandbox, HoursOfAnotherLengthAreReportedNotCutToSize) {
    // The directory keeps logonHours of any length, and the DC gives them as that many units.
    for (const auto& [user, units] : {std::pair{"longhours", 176}, std::pair{"shorthours", 160}}) {
        auto bound = bind(std::string("WinNT://DC1/") + user + ",user");
        const RunTimeError error = errorOf([&] { bound->Get("LoginHours"); });
        EXPECT_EQ(error.number(), kInvalidData) << user;
        EXPECT_NE(error.description().find(std::to_string(units) + " units per week"),
                  std::string::npos)
            << error.description();
        EXPECT_NE(error.description().find(user), std::string::npos) << error.description();
    }
}

// --- failures an administrator meets
// --------------------------------------------------------------

TEST_F(WinNtSandbox, UnknownUserAndUnknownOrSilentComputersFailClearlyAndFast) {
    RunTimeError error = errorOf([&] { bind("WinNT://PC01/nosuchuser,user"); });
    EXPECT_EQ(error.number(), kUserNotFound);
    EXPECT_NE(error.description().find("nosuchuser"), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("PC01"), std::string::npos) << error.description();

    error = errorOf([&] { bind("WinNT://PC99,computer"); });
    EXPECT_EQ(error.number(), kBadNetPath);
    EXPECT_NE(error.description().find("PC99"), std::string::npos) << error.description();

    // Nothing listens at the sandbox's dead address: a computer that is switched off.
    const auto start = std::chrono::steady_clock::now();
    error = errorOf([&] { bind("WinNT://" + sandboxFact("DEAD_ADDRESS") + "/kiosk,user"); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(error.number(), kBadNetPath);
    EXPECT_NE(error.description().find("did not accept a connection on TCP port 445"),
              std::string::npos)
        << error.description();
    EXPECT_EQ(error.source(), "WinNT provider");

    // A computer that drops packets: without the provider's own short wait the SAMR connect
    // would hang for a minute.
    testing::LoopbackListener silent(testing::LoopbackListener::Mode::Silent, "127.0.0.98", 445);
    ASSERT_TRUE(silent.listening());
    const auto dropped = std::chrono::steady_clock::now();
    error = errorOf([&] { bind("WinNT://127.0.0.98,computer"); });
    EXPECT_LT(std::chrono::steady_clock::now() - dropped, 10s);
    EXPECT_EQ(error.number(), kBadNetPath);
}

TEST_F(WinNtSandbox, WrongPasswordIsRefusedAndAskedAgainAtTheNextBind) {
    dialogs.inputAnswers.clear();
    answerSignIn("Administrator", "not-the-password");
    const RunTimeError error = errorOf([&] { bind("WinNT://PC01,computer"); });
    EXPECT_EQ(error.number(), kLogonFailure);
    EXPECT_NE(error.description().find("PC01"), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("Administrator"), std::string::npos) << error.description();
    EXPECT_EQ(error.description().find("not-the-password"), std::string::npos);

    answerSignIn("Administrator", sandboxPassword());
    EXPECT_EQ(bind("WinNT://PC01,computer")->Name(), "PC01");
    EXPECT_EQ(inputBoxesShown(), 4);

    dialogs.inputAnswers.clear();
    credentials.forgetPassword();
    EXPECT_EQ(errorOf([&] { bind("WinNT://PC01,computer"); }).number(), -2147023673);  // cancelled
}

TEST_F(WinNtSandbox, KerberosTicketSignsInWhereTheComputerAcceptsIt) {
    const std::string cache = "FILE:" + scratch + "/ticket";
    runCommand("KRB5CCNAME=" + cache + " kinit Administrator@" + sandboxFact("CORP_REALM") + " <'" +
               sandboxFact("SANDBOX_PASSWORD_FILE") + "' >/dev/null");
    setenv("KRB5CCNAME", cache.c_str(), 1);
    ASSERT_TRUE(credentials.hasKerberosTicket());

    // A workgroup computer knows no realm: the password is asked after all.
    testing::FakeDialogs asked;
    asked.inputAnswers = {"Administrator", sandboxPassword()};
    Credentials withTicket(asked);
    EXPECT_EQ(bindWinNt("WinNT://PC01,computer", withTicket)->Name(), "PC01");
    EXPECT_EQ(asked.shown.size(), 2u);

    // The domain controller takes the ticket: nothing is asked.
    EXPECT_EQ(bind("WinNT://DC1,computer")->Name(), "DC1");
    EXPECT_EQ(inputBoxesShown(), 0);
}

TEST_F(WinNtSandbox, LocalComputerWithoutSmbServerBindsWithNoUsers) {
    if (probeTcp("127.0.0.1", 445, 1s) == ProbeResult::Answered) {
        GTEST_SKIP() << "an SMB server answers on 127.0.0.1 here";
    }
    const std::string name = localComputerName();
    auto computer = bind("WinNT://" + lower(name) + ",computer");
    EXPECT_EQ(computer->Name(), name);
    EXPECT_EQ(computer->ADsPath(), "WinNT://" + name);
    computer->setFilter({"user"});
    EXPECT_TRUE(computer->children().empty());
    EXPECT_EQ(errorOf([&] { bind("WinNT://" + name + "/kiosk,user"); }).number(), kUserNotFound);
    EXPECT_EQ(inputBoxesShown(), 0);
}

}  // namespace
}  // namespace qm

// The directory's rules that need no domain or computer: which texts are distinguished names the
// LDAP side may send, how it signs in, how it gives up on a server that is no DC or falls silent;
// the names the WinNT side refuses before contacting anyone, and hours read in other units.

#include <ldap.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"
#include "platform/ldap/ldap_session.h"
#include "platform/samr/samr_client.h"
#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_provider.h"
#include "support/fake_platform.h"
#include "support/loopback_listener.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using namespace std::string_literals;
using namespace qm::testing;

// What a Set row's name, container and domain make is sent only when it is a complete DN: an empty
// part cannot name anything. The sandbox suites send the escapes and refuse a NUL, an empty name
// and a part without "=" end to end.
TEST(LdapDn, OnlyCompleteDistinguishedNamesReachTheServer) {
    EXPECT_FALSE(plainDn("CN=a,,DC=x"));
    EXPECT_EQ(relativeName("CN=Smith\\, Jim,OU=Sales,DC=x"), "CN=Smith\\, Jim");
    EXPECT_EQ(dnsDomainOf("OU=Sales, dc=corp,DC=test "), "corp.test");
}

// A child that typed a password and then crashes leaves no core file, where one that typed none
// does (so the check is not empty on a system that writes cores). First in this file: a test
// process that typed a password itself can give its children no core file at all.
TEST(SignIn, AProcessThatHeldATypedPasswordLeavesNoCoreFile) {
    const ScratchFolder folder("core");  // where the cores go, removed with it
    const auto crash = [&](bool signIn) {
        const pid_t child = fork();
        if (child == 0) {
            const rlimit cores{RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_CORE, &cores);
            if (chdir(folder.path().c_str()) != 0) {
                _exit(2);
            }
            FakeDialogs dialogs;
            dialogs.inputAnswers = {"ann", "pw-secret"};
            Credentials credentials(dialogs);
            if (signIn) {
                credentials.signIn({"corp.test", false}, [](const Login&) { return true; });
            }
            abort();
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    };
    const int withPassword = crash(true);
    EXPECT_TRUE(WIFSIGNALED(withPassword)) << "exit " << WEXITSTATUS(withPassword);
    EXPECT_FALSE(WCOREDUMP(withPassword));
    if (!WCOREDUMP(crash(false))) {
        GTEST_SKIP() << "this system writes no core files (core_pattern or limits)";
    }
}

// Sign-in as the person meets it: each prompt names its target, a refusal asks again up to three
// times, a Cancel gives up that one sign-in, and a login accepted once serves the next target.
TEST(SignIn, AsksNamingTheTargetRetriesRefusalsAndCancelsOneSignInOnly) {
    FakeDialogs dialogs;
    Credentials credentials(dialogs);
    std::vector<std::string> tried;
    const auto acceptOnly = [&](const std::string& password) {
        return [&, password](const Login& login) {
            tried.push_back(login.user + ":" + login.password.text() + "@" + login.typedFor);
            return login.password.text() == password;
        };
    };
    dialogs.inputAnswers = {"ann", "wrong", "ann", "right"};
    EXPECT_EQ(credentials.signIn({"branch.test", false}, acceptOnly("right")),
              Credentials::Outcome::SignedIn);
    EXPECT_EQ(tried, (std::vector<std::string>{"ann:wrong@branch.test", "ann:right@branch.test"}));
    ASSERT_EQ(dialogs.shown.size(), 4U);
    for (const auto& box : dialogs.shown) {
        EXPECT_EQ(box.title, "Quillmark");
        EXPECT_NE(box.text.find("branch.test"), std::string::npos) << box.text;
    }
    EXPECT_NE(dialogs.shown[0].text.find("name@domain or DOMAIN\\name"), std::string::npos);
    EXPECT_EQ(dialogs.shown[0].text.find("refused"), std::string::npos);
    EXPECT_NE(dialogs.shown[2].text.find("refused"), std::string::npos) << dialogs.shown[2].text;
    EXPECT_TRUE(dialogs.shown[1].masked);

    // The accepted login serves PC01 without a prompt; PC02 refuses it three times, then PC03's
    // prompt is cancelled, and PC04 still asks.
    dialogs.shown.clear();
    EXPECT_EQ(credentials.signIn({"PC01", true}, acceptOnly("right")),
              Credentials::Outcome::SignedIn);
    EXPECT_TRUE(dialogs.shown.empty());
    dialogs.inputAnswers = {"bob", "x", "bob", "y", "bob", "z"};
    EXPECT_EQ(credentials.signIn({"PC02", true}, acceptOnly("other")),
              Credentials::Outcome::Refused);
    EXPECT_EQ(dialogs.shown.size(), 6U);
    EXPECT_EQ(credentials.signIn({"PC03", true}, acceptOnly("other")),
              Credentials::Outcome::Cancelled);
    dialogs.inputAnswers = {"cy", "other"};
    EXPECT_EQ(credentials.signIn({"PC04", true}, acceptOnly("other")),
              Credentials::Outcome::SignedIn);
    EXPECT_NE(dialogs.shown.back().text.find("PC04"), std::string::npos);
}

// BER: a tag, a short length, the contents.
std::string ber(int tag, const std::string& contents) {
    return std::string{static_cast<char>(tag), static_cast<char>(contents.size())} + contents;
}

// A loopback server answers the first request of a connection (its message id is 1) with
// StartTLS's success and then says nothing more.
TEST(LdapSession, AServerThatAcceptsStartTlsAndFallsSilentIsGivenUpWithinTheAnswerTimeout) {
    setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);
    const std::string success = ber(0x0A, "\0") + ber(0x04, "") + ber(0x04, "");
    const LoopbackListener server(
        LoopbackListener::Mode::Answering, "127.0.0.1", 0,
        ber(0x30, ber(0x02, "\1") + ber(0x78, success + ber(0x8A, LDAP_EXOP_START_TLS))));
    FakeDialogs dialogs;
    Credentials credentials(dialogs);
    LdapSession session("ldap://127.0.0.1:" + std::to_string(server.port()), "corp.test",
                        credentials);
    const auto start = std::chrono::steady_clock::now();
    const RunTimeError error = errorOf([&] {
        session.search({"DC=corp,DC=test", LDAP_SCOPE_BASE, "(objectClass=*)", {}},
                       {"Cannot bind to DC=corp,DC=test", kLdapSource});
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(LdapSession::kOperationTimeoutSeconds + 3));
    EXPECT_EQ(error.number(), hresult::Timeout);
    EXPECT_NE(error.description().find("StartTLS"), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("no answer within"), std::string::npos)
        << error.description();
    EXPECT_TRUE(dialogs.shown.empty()) << "no password is asked without a secure connection";
}

// Samba takes names as C strings: "PC01\0PC02" would reach PC01. Such names fail the bind at
// once, with no connection and no sign-in asked for.
TEST(WinNtNames, NamesNoComputerCanHaveFailBeforeAnyoneIsContacted) {
    FakeDialogs dialogs;
    Credentials credentials(dialogs);
    for (const std::string& computer : {"PC01\0PC02"s, ""s, "PC\x01"s, "PC01/a"s}) {
        EXPECT_EQ(errorOf([&] { reachComputer(computer, credentials); }).number(), kBadPathName)
            << computer;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// "0"/"1" per hour of the week, of hours read in other units with units [first, end) allowed.
std::string hourString(std::uint32_t units, int first, int end) {
    Bytes bits((units + 7) / 8, 0);
    for (int unit = first; unit < end; ++unit) {
        bits[unit / 8] |= static_cast<std::uint8_t>(1 << (unit % 8));
    }
    const auto hours = samr::hourlyBits(units, bits);
    std::string text;
    for (int hour = 0; hours && hour < 168; ++hour) {
        text += ((*hours)[hour / 8] >> (hour % 8) & 1) != 0 ? '1' : '0';
    }
    return text;
}

// An hour counts as allowed when the account may log on throughout it.
TEST(WinNtHours, OtherUnitsThanHoursAreReadAsTheHourlyWeek) {
    const auto hoursAllowed = [](int first, int end) {
        return std::string(first, '0') + std::string(end - first, '1') +
               std::string(168 - end, '0');
    };
    EXPECT_EQ(hourString(168, 5, 9), hoursAllowed(5, 9));
    EXPECT_EQ(hourString(7, 1, 2), hoursAllowed(24, 48));                      // Monday, in days
    EXPECT_EQ(hourString(10080, 60 * 9 + 30, 60 * 17), hoursAllowed(10, 17));  // in minutes
    EXPECT_EQ(hourString(100, 0, 100), std::string(168, '1'));                 // units across hours
    EXPECT_FALSE(samr::hourlyBits(10080, Bytes(21, 0xFF)));  // fewer bits than the units claim
}

}  // namespace
}  // namespace qm

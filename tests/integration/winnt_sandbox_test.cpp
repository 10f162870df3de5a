// The WinNT side against the sandbox's real servers: PC01 (a Samba standalone server with local
// accounts) and DC1 of corp.test (a Samba AD DC, which answers SAMR with the domain's users),
// compared with the servers' own tools. Runs inside the sandbox's namespace (scripts/sandbox exec),
// where their names resolve.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <tuple>

#include "platform/samr/tcp_probe.h"
#include "platform/samr/winnt_provider.h"
#include "support/fake_dialogs.h"
#include "support/loopback_listener.h"
#include "support/run_time_errors.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using namespace qm::testing;

constexpr std::int32_t kBadNetPath = -2147024843;    // 0x80070035
constexpr std::int32_t kUserNotFound = -2147022675;  // 0x800708AD
constexpr std::int32_t kLogonFailure = -2147023570;  // 0x8007052E

std::string hexOf(const Bytes& bytes) {
    std::string hex;
    for (const std::uint8_t b : bytes) {
        hex += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    }
    return hex;
}

// 21 bytes that differ from each other, as logon hours to write.
inline Bytes sampleHours(std::uint8_t seed) {
    Bytes bytes(21);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + 37 * i);
    }
    return bytes;
}

// A field of a PC01 account as pdbedit shows it ("Logon hours", "Account Flags").
std::string pdbeditField(const std::string& user, const std::string& label) {
    for (const std::string& line : nonEmptyLines(sandboxPdbedit("PC01", "-v -u " + user))) {
        if (line.rfind(label, 0) == 0) {
            return line.substr(line.find_first_not_of(' ', line.find(':') + 1));
        }
    }
    throw std::runtime_error("pdbedit shows no " + label + " for " + user);
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

TEST_F(WinNtSandbox, HoursWrittenThroughSamrAreWhatPdbeditReadsWithTheFlagsUntouched) {
    const auto user = bindLocalAccount("PC01", "lab1", credentials);
    const Bytes original = user->logonHours().value();
    const std::string flags = pdbeditField("lab1", "Account Flags");
    for (const Bytes& value : {sampleHours(0x5A), original}) {
        user->setLogonHours(value);
        EXPECT_EQ(pdbeditField("lab1", "Logon hours"), hexOf(value));
    }
    EXPECT_EQ(pdbeditField("lab1", "Account Flags"), flags);
}

TEST_F(WinNtSandbox, DomainControllerHoursAreTheSameBytesOverLdapAndOverSamr) {
    const std::string dn = "CN=Lee Chan,CN=Users," + sandboxFact("CORP_DN");
    const auto original = corpLogonHours(dn);
    setCorpLogonHours(dn, sampleHours(0x11));
    EXPECT_EQ(bindLocalAccount("DC1", "lchan", credentials)->logonHours(), sampleHours(0x11));

    bindLocalAccount("DC1", "lchan", credentials)->setLogonHours(sampleHours(0x77));
    EXPECT_EQ(corpLogonHours(dn), sampleHours(0x77));
    setCorpLogonHours(dn, original);
}

TEST_F(WinNtSandbox, UnknownNamesStoppedComputersAndAWrongPasswordFailClearlyWithinSeconds) {
    // Drops packets, as a switched-off computer behind a router does: without the provider's own
    // short wait the SAMR connect would hang for a minute.
    LoopbackListener silent(LoopbackListener::Mode::Silent, "127.0.0.98", 445);
    ASSERT_TRUE(silent.listening());
    const std::string stopped = sandboxFact("DEAD_ADDRESS");  // nothing listens there
    for (const auto& [computer, user, number, named] :
         std::vector<std::tuple<std::string, std::string, std::int32_t, std::string>>{
             {"PC01", "nosuchuser", kUserNotFound, "nosuchuser"},
             {"PC99", "", kBadNetPath, "PC99"},
             {stopped, "kiosk", kBadNetPath, "did not accept a connection on TCP port 445"},
             {"127.0.0.98", "", kBadNetPath, "127.0.0.98"},
             {"PC01", "", kLogonFailure, "Administrator"}}) {
        const std::string password =
            number == kLogonFailure ? "not-the-password" : sandboxPassword();
        FakeDialogs signIn;
        signIn.inputAnswers = {"Administrator", password};
        Credentials asked(signIn);
        const auto start = std::chrono::steady_clock::now();
        const RunTimeError error = errorOf([&] {
            user.empty() ? (void)reachComputer(computer, asked)
                         : (void)bindLocalAccount(computer, user, asked);
        });
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

// Last: the provider gives PC01 up for the rest of the process. A computer that stops answering
// (its smbd stopped, so the kernel still accepts connections until its backlog is full) costs one
// answer timeout and one failed retry, at most two short connect probes more once the backlog is
// full; every other bind fails at once.
TEST_F(WinNtSandbox, AStalledComputerIsWaitedForTwiceAndThenFailsEveryBindAtOnce) {
    EXPECT_EQ(reachComputer("PC01", credentials)->name(), "PC01");
    const SandboxServerFrozen frozen("pc01");
    constexpr int kStalledBinds = 100;
    std::vector<std::string> errors;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kStalledBinds; ++i) {
        errors.push_back(errorOf([&] { reachComputer("PC01", credentials); }).description());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    // About 26 s on a quiet machine; a waited timeout per bind would be 1,000 s. The bound leaves
    // room for a loaded one.
    EXPECT_LT(took, 60s);
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& e) { return e.find("PC01") != e.npos; }),
              kStalledBinds);
    std::cout << "[ measured ] " << kStalledBinds << " binds of a stalled computer took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

}  // namespace
}  // namespace qm

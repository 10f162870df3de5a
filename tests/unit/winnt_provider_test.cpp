#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/samba_config.h"
#include "platform/tcp_probe.h"
#include "platform/winnt_errors.h"
#include "platform/winnt_path.h"
#include "support/loopback_listener.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using testing::errorOf;

TEST(WinNtPath, ComputerAndUserPathsWithOrWithoutClass) {
    struct Case {
        const char* path;
        const char* computer;
        const char* user;
    };
    for (const Case& c : {
             Case{"WinNT://PC01,computer", "PC01", ""},
             Case{"WinNT://pc01,Computer", "pc01", ""},
             Case{"WinNT://PC01", "PC01", ""},  // the ADsPath a computer gives itself
             Case{"WinNT://PC01/kiosk,user", "PC01", "kiosk"},
             Case{"WinNT://PC01/kiosk", "PC01", "kiosk"},
             Case{"WinNT://PC01/front desk,USER", "PC01", "front desk"},
             Case{"WinNT://pc01.corp.test,computer", "pc01.corp.test", ""},
         }) {
        const WinNtPath parsed = parseWinNtPath(c.path);
        EXPECT_EQ(parsed.computer, c.computer) << c.path;
        EXPECT_EQ(parsed.user, c.user) << c.path;
        EXPECT_EQ(parsed.isUser(), *c.user != '\0') << c.path;
    }
}

TEST(WinNtPath, AnythingElseIsABadPathname) {
    for (const char* path : {"LDAP://CN=Users,DC=corp,DC=test", "winnt://PC01,computer", "WinNT://",
                             "WinNT://,computer", "WinNT:///kiosk,user", "WinNT://PC01/,user",
                             "WinNT://CORP/PC01/kiosk,user", "WinNT://PC01,user",
                             "WinNT://PC01/kiosk,computer", "WinNT://PC01,group"}) {
        const RunTimeError error = errorOf([&] { parseWinNtPath(path); });
        EXPECT_EQ(error.number(), -2147463168) << path;  // E_ADS_BAD_PATHNAME
        EXPECT_EQ(error.source(), "WinNT provider");
        EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
    }
}

TEST(WinNtErrors, NumbersAreThoseWindowsReportsForTheSameCondition) {
    EXPECT_EQ(hresultFromWin32(0), 0);
    EXPECT_EQ(hresultFromWin32(win32::BadNetPath), -2147024843);    // 0x80070035
    EXPECT_EQ(hresultFromWin32(win32::UserNotFound), -2147022675);  // 0x800708AD
    EXPECT_EQ(hresultFromWin32(win32::Cancelled), -2147023673);     // 0x800704C7

    EXPECT_EQ(hresultFromNtStatus(0xC0000022), -2147024891);  // access denied, 0x80070005
    EXPECT_EQ(hresultFromNtStatus(0xC000006D), -2147023570);  // logon failure, 0x8007052E
    EXPECT_EQ(hresultFromNtStatus(0xC0000073), -2147023564);  // none mapped, 0x80070534
    EXPECT_EQ(hresultFromNtStatus(0xC00000CC), -2147024829);  // bad network name, 0x80070043
}

TEST(WinNtErrors, OnlyARefusedAccountOrPasswordCallsForAnotherSignIn) {
    for (std::uint32_t refused : {0xC000006Du, 0xC000006Au, 0xC0000072u, 0xC0000234u}) {
        EXPECT_TRUE(refusesSignIn(refused)) << std::hex << refused;
    }
    // access denied, I/O timeout, connection reset, none mapped
    for (std::uint32_t other : {0xC0000022u, 0xC00000B5u, 0xC000020Du, 0xC0000073u}) {
        EXPECT_FALSE(refusesSignIn(other)) << std::hex << other;
    }
}

TEST(WinNtErrors, DescriptionSaysWhatFailedThenSambasMessageAndName) {
    const RunTimeError error =
        samrError(0xC0000022, "Cannot write the logon hours of user kiosk on computer PC01");
    EXPECT_EQ(error.number(), -2147024891);
    EXPECT_EQ(error.source(), "WinNT provider");
    const std::string& text = error.description();
    EXPECT_EQ(text.rfind("Cannot write the logon hours of user kiosk on computer PC01: ", 0), 0u)
        << text;
    EXPECT_NE(text.find("Access Denied"), std::string::npos) << text;
    EXPECT_NE(text.find("(NT_STATUS_ACCESS_DENIED)"), std::string::npos) << text;
}

class SambaClientConfig : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qm-samba-config-XXXXXX";
        root_ = mkdtemp(pattern);
        saveEnvironment("XDG_CACHE_HOME");
        saveEnvironment("HOME");
        saveEnvironment("TMPDIR");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        std::filesystem::remove_all(root_);
    }
    void saveEnvironment(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    static std::string readFile(const std::string& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static mode_t modeOf(const std::string& path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mode & 0777;
    }

    std::string root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(SambaClientConfig, LivesInThePersonsCacheFolderMadePrivateElseInATemporaryOne) {
    setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
    std::filesystem::create_directories(root_ + "/cache/quillmark/samba");
    chmod((root_ + "/cache/quillmark/samba").c_str(), 0755);
    EXPECT_EQ(sambaClientFolder(), root_ + "/cache/quillmark/samba");
    EXPECT_EQ(modeOf(root_ + "/cache/quillmark/samba"), 0700u);

    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(sambaClientFolder(), root_ + "/.cache/quillmark/samba");

    unsetenv("HOME");
    setenv("TMPDIR", root_.c_str(), 1);
    const std::string temporary = sambaClientFolder();
    EXPECT_EQ(temporary.rfind(root_ + "/quillmark-samba-", 0), 0u) << temporary;
    EXPECT_EQ(modeOf(temporary), 0700u);
}

TEST_F(SambaClientConfig, SettingsKeepEveryFileInThePrivateFolder) {
    const std::string path = writeSambaClientConfig(root_);
    EXPECT_EQ(path, root_ + "/smb.conf");
    writeSambaClientConfig(root_);  // a second start replaces the file
    const std::string text = readFile(path);
    for (const char* setting : {"lock directory", "state directory", "cache directory",
                                "private dir", "ncalrpc dir", "pid directory"}) {
        EXPECT_NE(text.find(std::string(setting) + " = " + root_ + "\n"), std::string::npos)
            << setting;
    }
    EXPECT_NE(text.find("name resolve order = host"), std::string::npos);
    EXPECT_EQ(text.find("/etc"), std::string::npos);
    EXPECT_EQ(text.find("/var"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_ + "/smb.conf.new"));
}

TEST(TcpProbe, TellsAnsweringHostsFromSilentOnesAndUnknownNames) {
    using namespace std::chrono_literals;
    using testing::LoopbackListener;
    int closedPort = 0;
    {
        LoopbackListener answering(LoopbackListener::Mode::Answering);
        ASSERT_TRUE(answering.listening());
        EXPECT_EQ(probeTcp("127.0.0.1", answering.port(), 2s), ProbeResult::Answered);
        EXPECT_EQ(probeTcp("localhost", answering.port(), 2s), ProbeResult::Answered);
        closedPort = answering.port();
    }
    EXPECT_EQ(probeTcp("127.0.0.1", closedPort, 2s), ProbeResult::NoAnswer);
    EXPECT_EQ(probeTcp("no-such-computer.invalid", 445, 2s), ProbeResult::UnknownName);

    LoopbackListener silent(LoopbackListener::Mode::Silent);
    ASSERT_TRUE(silent.listening());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(probeTcp("127.0.0.1", silent.port(), 300ms), ProbeResult::NoAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // gave up instead of hanging
}

}  // namespace
}  // namespace qm

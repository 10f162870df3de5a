// The LDAP provider's rules that need no server: its paths, query texts and error numbers, and
// how it gives up on a server that falls silent.

#include <gtest/gtest.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <tuple>

#include "platform/ldap/directory_services.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"
#include "platform/ldap/ldap_query.h"
#include "platform/ldap/ldap_session.h"
#include "support/fake_dialogs.h"

namespace qm {
namespace {

// "[server ]DN-or-RootDSE" of a parsed path.
std::string parsed(const std::string& path) {
    const auto parts = parseLdapPath(path).value();
    return (parts.server.empty() ? "" : parts.server + " ") +
           (parts.rootDse ? "RootDSE" : parts.dn);
}

// A server name never holds "=" and a DN's first part always does: that tells a server's slash
// from one inside a DN.
TEST(LdapPath, NamesTheRootDseOrADnOptionallyAfterAServerAndNothingElse) {
    for (const auto& [path, parts] : std::vector<std::pair<std::string, std::string>>{
             {"LDAP://RootDSE", "RootDSE"},
             {"LDAP://dc1.corp.test:636/rootdse", "dc1.corp.test:636 RootDSE"},
             {"LDAP://OU=Sales,DC=corp,DC=test", "OU=Sales,DC=corp,DC=test"},
             {"LDAP://CN=Dept/IT Admin,DC=x", "CN=Dept/IT Admin,DC=x"},
             {"LDAP://dc1/CN=a/b,DC=x", "dc1 CN=a/b,DC=x"},
             // An escaped slash reaches the server plain; an escaped backslash stays escaped.
             {"LDAP://CN=Dept\\/IT Admin,DC=x", "CN=Dept/IT Admin,DC=x"},
             {"LDAP://CN=a\\\\/b\\,c,DC=x", "CN=a\\\\/b\\,c,DC=x"}}) {
        EXPECT_EQ(parsed(path), parts) << path;
    }
    for (const char* notAPath : {"", "LDAP://", "LDAP:/DC=x", "ldap://DC=x", "WinNT://PC01",
                                 "LDAP://NoEqualsSign", "LDAP:///DC=x", "LDAP://server/"}) {
        EXPECT_FALSE(parseLdapPath(notAPath)) << notAPath;
    }
}

// "base | filter | attributes | scope" of a parsed query text.
std::string parsedQuery(const std::string& source) {
    const auto query = parseQuerySource(source).value();
    std::string text = query.base.dn + " | " + query.filter + " |";
    for (const std::string& attribute : query.attributes) {
        text += " " + attribute;
    }
    return text + " | " + std::array{"base", "oneLevel", "subtree"}.at(query.scope);
}

TEST(QuerySource, HasBaseFilterAttributesAndScopeAndNothingElse) {
    for (const auto& [source, parts] : std::vector<std::pair<std::string, std::string>>{
             {"<LDAP://OU=Sales,DC=x>;(&(objectClass=user)(cn=*));logonHours, "
              "sAMAccountName;oneLevel",
              "OU=Sales,DC=x | (&(objectClass=user)(cn=*)) | logonHours sAMAccountName | oneLevel"},
             {"<LDAP://DC=x>;(cn=*);cn;SUBTREE", "DC=x | (cn=*) | cn | subtree"},
             {"<LDAP://DC=x>;(cn=*);cn;base", "DC=x | (cn=*) | cn | base"},
             {"<LDAP://DC=x>;(cn=*);cn", "DC=x | (cn=*) | cn | subtree"},
             {"<LDAP://DC=x>;;cn;oneLevel", "DC=x | (objectClass=*) | cn | oneLevel"},
             // A ";" inside the filter's value belongs to the filter.
             {"<LDAP://DC=x>;(cn=Lee; Jr);cn;oneLevel", "DC=x | (cn=Lee; Jr) | cn | oneLevel"}}) {
        EXPECT_EQ(parsedQuery(source), parts) << source;
    }
    for (const char* malformed :
         {"", "<LDAP://DC=x>", "LDAP://DC=x;(cn=*);cn;oneLevel", "<LDAP://DC=x;(cn=*);cn;oneLevel",
          "<WinNT://PC01>;(cn=*);cn;base", "<LDAP://DC=x>;(cn=*);cn;everywhere",
          "<LDAP://DC=x>;(cn=*); , ;base"}) {
        EXPECT_FALSE(parseQuerySource(malformed)) << malformed;
    }
}

TEST(LdapErrors, ResultCodesBecomeTheNumbersWindowsReportsAndLostConnectionsAreKnown) {
    for (const auto& [resultCode, hresult, connectionLost] :
         std::vector<std::tuple<int, std::uint32_t, bool>>{
             {LDAP_NO_SUCH_OBJECT, 0x80072030, false},
             {LDAP_SERVER_DOWN, 0x8007203A, true},
             {LDAP_CONNECT_ERROR, 0x8007203A, true},
             {LDAP_TIMEOUT, 0x800705B4, true},
             {LDAP_INVALID_CREDENTIALS, 0x8007052E, false},
             {LDAP_INSUFFICIENT_ACCESS, 0x80070005, false},
             {LDAP_CONSTRAINT_VIOLATION, 0x8007202F, false},
             {LDAP_INVALID_SYNTAX, 0x8007200B, false},
             {LDAP_OTHER, 0x80004005, false}}) {
        EXPECT_EQ(hresultFromLdap(resultCode), static_cast<std::int32_t>(hresult)) << resultCode;
        EXPECT_EQ(isConnectionLost(resultCode), connectionLost) << resultCode;
    }
}

// A child that typed a password and then crashes leaves no core file, where one that typed none
// does (so the check is not empty on a system that writes cores). First in this file: a test
// process that typed a password itself can give its children no core file at all.
TEST(SignIn, AProcessThatHeldATypedPasswordLeavesNoCoreFile) {
    const std::string folder =
        std::filesystem::temp_directory_path() / ("quillmark-core-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // Made at run time, so only the process's own memory can hold it.
    const std::string password = "pw-" + std::to_string(getpid() * 7919) + "-secret";
    const auto crash = [&](bool signIn) {
        const pid_t child = fork();
        if (child == 0) {
            const rlimit cores{RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_CORE, &cores);
            if (chdir(folder.c_str()) != 0) {
                _exit(2);
            }
            testing::FakeDialogs dialogs;
            dialogs.inputAnswers = {"ann", password};
            Credentials credentials(dialogs);
            if (signIn) {
                credentials.signIn({"corp.test", false}, [](const Login&) { return true; });
                if (prctl(PR_GET_DUMPABLE) != 0) {
                    _exit(3);
                }
            }
            abort();
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    };
    // The control's core holds the password too: the child has the test's memory.
    const int withoutPassword = crash(false);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const int withPassword = crash(true);
    EXPECT_TRUE(WIFSIGNALED(withPassword)) << "exit " << WEXITSTATUS(withPassword);
    EXPECT_FALSE(WCOREDUMP(withPassword));
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        std::ifstream core(file.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(core), {}};
        EXPECT_EQ(bytes.find(password), std::string::npos) << file.path();
    }
    std::filesystem::remove_all(folder);
    if (!WCOREDUMP(withoutPassword)) {
        GTEST_SKIP() << "this system writes no core files (core_pattern or limits)";
    }
}

// Sign-in as the person meets it: each prompt names its target, a refusal asks again up to three
// times, a Cancel gives up that one sign-in, and a login accepted once serves the next target.
TEST(SignIn, AsksNamingTheTargetRetriesRefusalsAndCancelsOneSignInOnly) {
    testing::FakeDialogs dialogs;
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

// A loopback LDAP server that answers the first request with what it is given (made from the
// request's one-byte message id) and then says nothing more.
class LoopbackLdapServer {
public:
    explicit LoopbackLdapServer(std::function<std::string(char messageId)> answer)
        : answer_(std::move(answer)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        server_ = std::thread([this] { serve(); });
    }
    ~LoopbackLdapServer() {
        shutdown(listener_, SHUT_RDWR);
        if (client_ >= 0) {
            shutdown(client_, SHUT_RDWR);
        }
        server_.join();
        close(listener_);
        close(client_);
    }
    std::string uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

private:
    void serve() {
        client_ = accept(listener_, nullptr, nullptr);
        std::array<char, 256> request{};
        if (client_ < 0 || read(client_, request.data(), request.size()) < 5) {
            return;
        }
        const std::string answer = answer_(request[4]);
        if (write(client_, answer.data(), answer.size()) < 0) {
            return;
        }
        while (read(client_, request.data(), request.size()) > 0) {
        }
    }

    std::function<std::string(char)> answer_;
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::thread server_;
};

const std::string kSuccess = ber(0x0A, "\0") + ber(0x04, "") + ber(0x04, "");

// Before any other use of libldap in this process, which reads LDAPURI once.
TEST(LdapSession, AnLdapServerThatIsNoDomainControllerMeansNoDomain) {
    LoopbackLdapServer server([](char id) {
        const std::string attribute =
            ber(0x30, ber(0x04, "namingContexts") + ber(0x31, ber(0x04, "dc=example")));
        return ber(0x30, ber(0x02, {id}) + ber(0x64, ber(0x04, "") + ber(0x30, attribute))) +
               ber(0x30, ber(0x02, {id}) + ber(0x65, kSuccess));
    });
    setenv("LDAPURI", server.uri().c_str(), 1);
    testing::FakeDialogs dialogs;
    Credentials credentials(dialogs);
    const auto error = [&] {
        try {
            makeDirectoryServices(credentials)->bind("LDAP://RootDSE");
        } catch (const RunTimeError& error) {
            return error;
        }
        return RunTimeError(0, "bound", "");
    }();
    unsetenv("LDAPURI");
    EXPECT_EQ(error.number(), hresult::NoSuchDomain);
    EXPECT_NE(error.description().find("no Active Directory"), std::string::npos)
        << error.description();
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(LdapSession, AServerThatAcceptsStartTlsAndFallsSilentIsGivenUpWithinTheAnswerTimeout) {
    setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1);
    LoopbackLdapServer server([](char id) {
        return ber(0x30, ber(0x02, {id}) + ber(0x78, kSuccess + ber(0x8A, LDAP_EXOP_START_TLS)));
    });
    testing::FakeDialogs dialogs;
    Credentials credentials(dialogs);
    LdapSession session(server.uri(), "corp.test", credentials);
    const auto start = std::chrono::steady_clock::now();
    try {
        session.search({"DC=corp,DC=test", LDAP_SCOPE_BASE, "(objectClass=*)", {}},
                       {"Cannot bind to DC=corp,DC=test", kLdapSource});
        FAIL() << "the search succeeded";
    } catch (const RunTimeError& error) {
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_LT(waited, std::chrono::seconds(LdapSession::kOperationTimeoutSeconds + 3));
        EXPECT_EQ(error.number(), hresult::Timeout);
        EXPECT_NE(error.description().find("StartTLS"), std::string::npos) << error.description();
        EXPECT_NE(error.description().find("no answer within"), std::string::npos)
            << error.description();
    }
    EXPECT_TRUE(dialogs.shown.empty()) << "no password is asked without a secure connection";
}

}  // namespace
}  // namespace qm

// The LDAP side's rules that need no server: which texts are distinguished names it may send,
// and its error numbers.

#include <gtest/gtest.h>
#include <ldap.h>

#include <tuple>

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"

namespace qm {
namespace {

// What a Set row's name, container and domain make is sent only when it is a complete DN: a NUL
// would end the C string early and name another object, and an empty part cannot name anything.
TEST(LdapDn, OnlyCompleteDistinguishedNamesReachTheServerWithSlashEscapesUndone) {
    for (const auto& [dn, sent] : std::vector<std::pair<std::string, std::string>>{
             {"CN=Smith\\, Jim,OU=Sales,DC=corp,DC=test",
              "CN=Smith\\, Jim,OU=Sales,DC=corp,DC=test"},
             {"CN=Dept\\/IT Admin,DC=x", "CN=Dept/IT Admin,DC=x"},
             {"CN=a\\\\\\/b,DC=x", "CN=a\\\\/b,DC=x"},
             {"CN=Say \\\"Hi\\\",CN=Users,DC=x", "CN=Say \\\"Hi\\\",CN=Users,DC=x"},
             {"CN=Zo\u00eb,DC=x", "CN=Zo\u00eb,DC=x"}}) {
        EXPECT_EQ(plainDn(dn).value_or("refused"), sent) << dn;
    }
    using namespace std::string_literals;
    for (const std::string& refused :
         {"CN=victim,OU=Inj,DC=corp,DC=test\0,DC=branch,DC=test"s, "CN=victim\0x,OU=Inj,DC=x"s,
          "CN=v,OU=Inj\0,DC=x,DC=y"s, "CN=,OU=Sales,DC=x"s, "CN=a,,DC=x"s, "CN=a,OU=Sales,"s,
          "CN=kiosk,pc01,PC01"s, "pc01"s, ""s}) {
        EXPECT_FALSE(plainDn(refused)) << refused;
    }
    EXPECT_EQ(relativeName("CN=Smith\\, Jim,OU=Sales,DC=x"), "CN=Smith\\, Jim");
    EXPECT_EQ(dnsDomainOf("OU=Sales, dc=corp,DC=test "), "corp.test");
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

}  // namespace
}  // namespace qm

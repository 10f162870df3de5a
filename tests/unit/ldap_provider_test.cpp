// The LDAP provider's rules that need no server: its paths, query texts and error numbers.

#include <gtest/gtest.h>
#include <ldap.h>

#include <array>
#include <tuple>

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"
#include "platform/ldap/ldap_query.h"

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

}  // namespace
}  // namespace qm

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// An "LDAP://" path: "LDAP://RootDSE", "LDAP://" + DN, or either after a server name, optionally
// with a port, and a slash ("LDAP://dc1.corp.test/DC=corp,DC=test"; port 636 means ldaps). A server
// name never holds "=", a DN's first part always does, so a "/" inside a DN ("CN=Dept/IT Admin,…")
// is not taken for the server's slash.
struct LdapPath {
    std::string server;  // empty: located from the DN's domain or the client configuration
    std::string dn;      // as the server is to receive it ("\/" becomes "/")
    bool rootDse = false;
};

// Nothing when the text is not an "LDAP://" path of those forms.
std::optional<LdapPath> parseLdapPath(const std::string& path);

// The path that binds an object again: "LDAP://" [+ server + "/"] + DN.
std::string formatLdapPath(const std::string& server, const std::string& dn);

// The first component of a DN as written: "CN=Smith\, Jim" of "CN=Smith\, Jim,OU=Sales,…".
std::string relativeName(const std::string& dn);

// The DNS name that a DN's trailing DC components spell ("corp.test" for "…,DC=corp,DC=test"),
// empty when it ends in none.
std::string dnsDomainOf(const std::string& dn);

// Whether two names are the same, ignoring the case of ASCII letters (attribute and class names,
// DNS names).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace qm

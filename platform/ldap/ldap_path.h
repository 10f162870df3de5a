#pragma once

#include <optional>
#include <string>

namespace qm {

// Where an LDAP request goes: the RootDSE or an object by DN, on a named server or (server empty)
// on the server of the DN's domain.
struct LdapPath {
    std::string server;
    std::string dn;
    bool rootDse = false;
};

// The DN as the server is to receive it: ADSI escapes "/" as "\/", LDAP needs no escape for it.
// Nothing when the text is not a complete DN (a component without a type or a value, a NUL, a
// stray comma), so that such text never reaches a server.
std::optional<std::string> plainDn(const std::string& dn);

// The first component of a DN as written: "CN=Smith\, Jim" of "CN=Smith\, Jim,OU=Sales,…".
std::string relativeName(const std::string& dn);

// The DNS name that a DN's trailing DC components spell ("corp.test" for "…,DC=corp,DC=test"),
// empty when it ends in none.
std::string dnsDomainOf(const std::string& dn);

}  // namespace qm

#pragma once

#include <string>

namespace qm {

// Where a domain's directory servers are, found the way a member computer finds them: the OpenLDAP
// client configuration (ldap.conf, $LDAPCONF, $LDAPURI) names the computer's own domain; DNS SRV
// records "_ldap._tcp.<domain>" name the servers of any domain. Results are LDAP URI lists
// ("ldap://dc1.corp.test ldap://dc2.corp.test"), empty when nothing was found.

// The URIs of the computer's own domain: the client configuration's URI, else the SRV records of
// the Kerberos default realm's domain, else libldap's default (localhost).
std::string configuredServerUris();

// The URIs the SRV records of the domain name, best first (lowest priority, then highest weight).
std::string srvServerUris(const std::string& dnsDomain);

}  // namespace qm

#pragma once

#include <memory>

#include "platform/directory.h"
#include "platform/signin/credentials.h"

namespace qm {

// The directory services of this platform: domains and their users through the LDAP side
// (OpenLDAP's libldap), computers and their local accounts through the WinNT side (SAMR). Both sign
// in as the person: with their Kerberos ticket, else with the user name and password the
// credentials ask for once. LDAP sessions (one per server) last as long as the returned object and
// the connections and accounts it made.
std::unique_ptr<DirectoryServices> makeDirectoryServices(Credentials& credentials);

}  // namespace qm

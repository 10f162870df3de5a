#pragma once

#include <memory>

#include "platform/signin/credentials.h"
#include "platform/directory.h"

namespace qm {

// The directory services of this platform: "LDAP://…" paths and the query connection go to the
// LDAP provider (OpenLDAP's libldap), "WinNT://…" paths to the WinNT provider (SAMR). Both sign in
// as the person: with their Kerberos ticket, else with the user name and password the credentials
// ask for once. LDAP sessions (one per server) last as long as the returned object and the objects
// and connections it made.
std::unique_ptr<DirectoryServices> makeDirectoryServices(Credentials& credentials);

}  // namespace qm

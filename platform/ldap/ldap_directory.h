#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/ldap/ldap_session.h"

namespace qm {

// The LDAP side of the directory: the RootDSE, domains and containers by DN, and domain users.
class LdapDirectory {
public:
    explicit LdapDirectory(std::shared_ptr<SessionPool> sessions)
        : sessions_(std::move(sessions)) {}

    bool inDomain();
    std::string forestRootDomain();
    DirectoryNode domain(const DomainName& name);
    // The children whose most specific class is one of the classes.
    std::vector<DirectoryNode> children(const std::string& dn,
                                        const std::vector<std::string>& classes);
    // A user forEachUserIn listed, with the value it read: no request is sent.
    std::unique_ptr<Account> listedUser(const std::string& dn, std::optional<Bytes> hours);
    void forEachUserIn(const std::string& containerDn,
                       const std::function<void(HeldAccount&&)>& visit);

private:
    // The entry of a DN (its name only), on the server when one is named; an error when there is
    // none.
    LdapEntry bind(const std::string& dn, const std::string& server);

    std::shared_ptr<SessionPool> sessions_;
    std::optional<LdapEntry> rootDse_;
};

}  // namespace qm

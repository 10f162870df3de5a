#include "platform/ldap/directory_services.h"

#include "platform/ldap/ldap_directory.h"
#include "platform/ldap/ldap_query.h"
#include "platform/ldap/ldap_session.h"
#include "platform/samr/winnt_module.h"

namespace qm {

namespace {

const std::vector<std::string> kContainerClasses = {"container", "organizationalUnit",
                                                    "builtinDomain"};
const std::vector<std::string> kDomainClasses = {"domain"};

class PlatformDirectoryServices : public DirectoryServices {
public:
    explicit PlatformDirectoryServices(Credentials& credentials)
        : credentials_(credentials),
          sessions_(std::make_shared<SessionPool>(credentials)),
          ldap_(sessions_) {}

    bool inDomain() override { return ldap_.inDomain(); }
    std::string forestRootDomain() override { return ldap_.forestRootDomain(); }
    std::unique_ptr<QueryConnection> openQueryConnection() override {
        return std::make_unique<LdapQueryConnection>(sessions_);
    }

    DirectoryNode domain(const DomainName& name) override { return ldap_.domain(name); }
    std::vector<DirectoryNode> childContainers(const std::string& nodeKey) override {
        return ldap_.children(nodeKey, kContainerClasses);
    }
    std::vector<DirectoryNode> childDomains(const std::string& nodeKey) override {
        return ldap_.children(nodeKey, kDomainClasses);
    }

    std::unique_ptr<Computer> computer(const std::string& name) override {
        return winNtSide().reachComputer(name, credentials_);
    }

    std::unique_ptr<Account> listedDomainUser(const std::string& dn,
                                              std::optional<Bytes> hours) override {
        return ldap_.listedUser(dn, std::move(hours));
    }
    void forEachUserIn(const std::string& containerDn,
                       const std::function<void(HeldAccount&&)>& visit) override {
        ldap_.forEachUserIn(containerDn, visit);
    }

private:
    Credentials& credentials_;
    std::shared_ptr<SessionPool> sessions_;
    LdapDirectory ldap_;
};

}  // namespace

std::unique_ptr<DirectoryServices> makeDirectoryServices(Credentials& credentials) {
    return std::make_unique<PlatformDirectoryServices>(credentials);
}

}  // namespace qm

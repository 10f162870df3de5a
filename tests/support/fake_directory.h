#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"

namespace qm::testing {

// One object of the fake directory: a domain, a container, a user or a computer's local user.
// Objects of other classes never reach the program through the port, so the fake has none.
struct FakeObject {
    enum class Kind { Domain, Container, User, Computer };
    Kind kind = Kind::User;
    std::string dn;      // a local user: "COMPUTER/name"
    std::string parent;  // the parent's DN or computer; empty for a root domain
    DirectoryUser user;  // names and hours of a user
    std::uint32_t relativeId = 0;
};

// A small in-memory directory behind the directory port. Each call is recorded in `calls` as
// "<call> <DN or name>", and a failure can be planted on any of them.
class FakeDirectory : public DirectoryServices {
public:
    using Kind = FakeObject::Kind;
    // With a parent domain's DN, a child domain below that domain.
    FakeObject& addDomain(const std::string& dn, const std::string& parentDn = {}) {
        return add(Kind::Domain, parentDn, dn);
    }
    FakeObject& addContainer(const std::string& parentDn, const std::string& rdn) {
        return add(Kind::Container, parentDn, rdn + "," + parentDn);
    }
    FakeObject& addUser(const std::string& parentDn, const std::string& cn,
                        const std::string& logonName = {},
                        std::optional<Bytes> logonHours = std::nullopt);
    // Without one, this computer is in no domain.
    void setRootDomain(const std::string& dn) { rootDomain_ = dn; }

    void addComputer(const std::string& name) { add(Kind::Computer, "", name); }
    FakeObject& addLocalUser(const std::string& computer, const std::string& name,
                             std::optional<Bytes> logonHours = std::nullopt);

    // `call` is one of "domain", "children", "count", "total", "users", "usersIn", "computer",
    // "listedDomainUser", "setLogonHours", "clearLogonHours"; the target is a DN or
    // "COMPUTER[/name]".
    void fail(const std::string& call, const std::string& target, RunTimeError error);
    void record(const std::string& call, const std::string& target);

    FakeObject* find(const std::string& dnOrAccount);
    std::vector<FakeObject*> childrenOf(const std::string& parent, Kind kind);
    std::vector<std::string> calls;

    bool inDomain() override { return rootDomain_.has_value(); }
    std::string forestRootDomain() override { return *rootDomain_; }
    std::unique_ptr<QueryConnection> openQueryConnection() override;
    DirectoryNode domain(const DomainName& name) override;
    std::vector<DirectoryNode> childContainers(const std::string& nodeKey) override {
        return nodesBelow(nodeKey, Kind::Container);
    }
    std::vector<DirectoryNode> childDomains(const std::string& nodeKey) override {
        return nodesBelow(nodeKey, Kind::Domain);
    }
    std::unique_ptr<Computer> computer(const std::string& name) override;
    std::unique_ptr<Account> listedDomainUser(const std::string& dn,
                                              std::optional<Bytes> hours) override;
    void forEachUserIn(const std::string& containerDn,
                       const std::function<void(HeldAccount&&)>& visit) override;

private:
    FakeObject& add(Kind kind, const std::string& parent, const std::string& dn);
    std::vector<DirectoryNode> nodesBelow(const std::string& dn, Kind kind);
    // The recorded call's object when it is of one of the kinds, else "no such object".
    FakeObject& existing(const std::string& call, const std::string& target,
                         std::initializer_list<Kind> kinds);

    std::deque<FakeObject> objects_;
    std::optional<std::string> rootDomain_;
    std::map<std::string, RunTimeError> failures_;
};

RunTimeError noSuchObject();

inline const std::string kCorp = "DC=corp,DC=test";
inline const std::string kEmea = "DC=emea,DC=corp,DC=test";

// corp.test with 4 users directly in the domain object, a System container to be left out (written
// in lower case), OU=Sales holding OU=East and a System container that stays, and the child domain
// emea; the local computer PC1 with 3 users.
void buildCorpDomain(FakeDirectory& directory);

}  // namespace qm::testing

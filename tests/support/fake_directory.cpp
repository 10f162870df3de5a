#include "support/fake_directory.h"

#include <algorithm>

#include "platform/core/text.h"

namespace qm::testing {

namespace {

using Kind = FakeObject::Kind;

DirectoryNode nodeOf(const FakeObject& object) {
    // The tests' names hold no escaped comma before the first.
    return {object.dn, object.dn.substr(0, object.dn.find(','))};
}

struct FakeAccount : Account {
    FakeAccount(FakeDirectory& directory, FakeObject& object) : dir(directory), object(object) {}
    std::optional<Bytes> logonHours() override {
        dir.record("logonHours", object.dn);
        return object.user.logonHours;
    }
    void setLogonHours(const Bytes& hours) override {
        dir.record("setLogonHours", object.dn);
        object.user.logonHours = hours;
    }
    void clearLogonHours() override {
        dir.record("clearLogonHours", object.dn);
        object.user.logonHours.reset();
    }
    FakeDirectory& dir;
    FakeObject& object;
};

struct FakeComputer : Computer {
    FakeComputer(FakeDirectory& directory, std::string name) : dir(directory), name_(name) {}
    const std::string& name() const override { return name_; }
    std::vector<HeldAccount> users() override {
        std::vector<HeldAccount> users;
        for (FakeObject* user : dir.childrenOf(name_, Kind::User)) {
            users.push_back({*user->user.logonName, user->relativeId,
                             std::make_unique<FakeAccount>(dir, *user)});
        }
        return users;
    }
    FakeDirectory& dir;
    std::string name_;
};

struct FakeUserStream : UserStream {
    explicit FakeUserStream(std::vector<FakeObject*> users) : users(std::move(users)) {}
    std::optional<DirectoryUser> next() override {
        return next_ < users.size() ? std::optional(users[next_++]->user) : std::nullopt;
    }
    std::vector<FakeObject*> users;
    std::size_t next_ = 0;
};

// A count whose query opened; reading its total is a call of its own, which may fail.
struct FakeUserCount : UserCount {
    FakeUserCount(FakeDirectory& directory, std::string key, std::size_t users)
        : dir(directory), key(std::move(key)), users(users) {}
    std::int32_t total() override {
        dir.record("total", key);
        return static_cast<std::int32_t>(users);
    }
    FakeDirectory& dir;
    std::string key;
    std::size_t users;
};

struct FakeConnection : QueryConnection {
    explicit FakeConnection(FakeDirectory& directory) : dir(directory) {}
    bool isOpen() const override { return open; }
    void close() override {
        dir.calls.push_back("close connection");
        open = false;
    }
    std::unique_ptr<UserCount> countUsers(const std::string& nodeKey) override {
        return std::make_unique<FakeUserCount>(dir, nodeKey, usersOf("count", nodeKey).size());
    }
    std::unique_ptr<UserStream> users(const std::string& nodeKey) override {
        return std::make_unique<FakeUserStream>(usersOf("users", nodeKey));
    }
    std::vector<FakeObject*> usersOf(const std::string& call, const std::string& nodeKey) {
        dir.record(call, nodeKey);
        if (dir.find(nodeKey) == nullptr) {
            throw noSuchObject();
        }
        return dir.childrenOf(nodeKey, Kind::User);
    }
    FakeDirectory& dir;
    bool open = true;
};

}  // namespace

RunTimeError noSuchObject() {
    return RunTimeError(-2147016656, "There is no such object on the server.", "Active Directory");
}

FakeObject& FakeDirectory::add(Kind kind, const std::string& parent, const std::string& dn) {
    FakeObject& object = objects_.emplace_back(kind, dn, parent);
    object.user.distinguishedName = dn;
    return object;
}

FakeObject& FakeDirectory::addUser(const std::string& parentDn, const std::string& cn,
                                   const std::string& logonName, std::optional<Bytes> logonHours) {
    FakeObject& user = add(Kind::User, parentDn, "CN=" + cn + "," + parentDn);
    user.user = {cn, logonName.empty() ? cn : logonName, user.dn, std::move(logonHours)};
    return user;
}

FakeObject& FakeDirectory::addLocalUser(const std::string& computer, const std::string& name,
                                        std::optional<Bytes> logonHours) {
    FakeObject& user = add(Kind::User, computer, computer + "/" + name);
    user.user = {name, name, user.dn, std::move(logonHours)};
    return user;
}

void FakeDirectory::fail(const std::string& call, const std::string& target, RunTimeError error) {
    failures_.insert_or_assign(lowerAscii(call + " " + target), std::move(error));
}

void FakeDirectory::record(const std::string& call, const std::string& target) {
    calls.push_back(call + " " + target);
    if (const auto planted = failures_.find(lowerAscii(calls.back())); planted != failures_.end()) {
        throw planted->second;
    }
}

FakeObject* FakeDirectory::find(const std::string& dnOrAccount) {
    const auto found = std::ranges::find_if(
        objects_, [&](const FakeObject& o) { return equalsIgnoringCase(o.dn, dnOrAccount); });
    return found == objects_.end() ? nullptr : &*found;
}

std::vector<FakeObject*> FakeDirectory::childrenOf(const std::string& parent, Kind kind) {
    std::vector<FakeObject*> children;
    for (FakeObject& object : objects_) {
        if (object.kind == kind && equalsIgnoringCase(object.parent, parent)) {
            children.push_back(&object);
        }
    }
    return children;
}

std::vector<DirectoryNode> FakeDirectory::nodesBelow(const std::string& dn, Kind kind) {
    record("children", dn);
    std::vector<DirectoryNode> nodes;
    for (const FakeObject* child : childrenOf(dn, kind)) {
        nodes.push_back(nodeOf(*child));
    }
    return nodes;
}

FakeObject& FakeDirectory::existing(const std::string& call, const std::string& target,
                                    std::initializer_list<Kind> kinds) {
    record(call, target);
    FakeObject* object = find(target);
    if (object == nullptr || std::ranges::find(kinds, object->kind) == kinds.end()) {
        throw noSuchObject();
    }
    return *object;
}

std::unique_ptr<QueryConnection> FakeDirectory::openQueryConnection() {
    return std::make_unique<FakeConnection>(*this);
}

DirectoryNode FakeDirectory::domain(const DomainName& name) {
    return nodeOf(existing("domain", name.dn, {Kind::Domain, Kind::Container, Kind::Computer}));
}

std::unique_ptr<Computer> FakeDirectory::computer(const std::string& name) {
    return std::make_unique<FakeComputer>(*this, existing("computer", name, {Kind::Computer}).dn);
}

std::unique_ptr<Account> FakeDirectory::listedDomainUser(const std::string& dn,
                                                         std::optional<Bytes>) {
    return std::make_unique<FakeAccount>(*this, existing("listedDomainUser", dn, {Kind::User}));
}

void FakeDirectory::forEachUserIn(const std::string& containerDn,
                                  const std::function<void(HeldAccount&&)>& visit) {
    existing("usersIn", containerDn, {Kind::Domain, Kind::Container});
    for (FakeObject* user : childrenOf(containerDn, Kind::User)) {
        visit({*user->user.commonName, user->relativeId,
               std::make_unique<FakeAccount>(*this, *user)});
    }
}

void buildCorpDomain(FakeDirectory& directory) {
    directory.addDomain(kCorp);
    directory.setRootDomain(kCorp);
    directory.addDomain(kEmea, kCorp);
    directory.addComputer("PC1");
    // Containers in the order the directory lists them, each after its parent; a name with a comma
    // is below another container.
    for (const std::string dn : {"CN=Builtin", "CN=Users", "cn=System", "CN=Policies,cn=System",
                                 "OU=Sales", "OU=East,OU=Sales", "CN=System,OU=Sales"}) {
        const std::size_t comma = dn.find(',');
        directory.addContainer(comma == dn.npos ? kCorp : dn.substr(comma + 1) + "," + kCorp,
                               dn.substr(0, comma));
    }
    directory.addContainer(kEmea, "CN=Users");
    for (const char* cn : {"Ann", "Bob", "Cid", "Dee"}) {
        directory.addUser(kCorp, cn);
    }
    directory.addUser("CN=Users," + kCorp, "Administrator");
    for (const char* cn : {"Eve", "Fay"}) {
        directory.addUser("OU=Sales," + kCorp, cn);
    }
    directory.addUser("CN=Users," + kEmea, "Gus");
    for (const char* name : {"Administrator", "Guest", "backup"}) {
        directory.addLocalUser("PC1", name);
    }
}

}  // namespace qm::testing

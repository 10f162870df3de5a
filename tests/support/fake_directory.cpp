#include "support/fake_directory.h"

#include <algorithm>

#include "platform/core/text.h"

namespace qm::testing {

namespace {

using Kind = FakeObject::Kind;

std::string relativeName(const std::string& dn) {
    return dn.substr(0, dn.find(','));  // the tests' names hold no escaped comma before the first
}

class FakeAccount : public Account {
public:
    FakeAccount(FakeDirectory& directory, FakeObject& object)
        : directory_(directory), object_(object) {}
    std::optional<Bytes> logonHours() override {
        directory_.record("logonHours", object_.dn);
        return object_.user.logonHours;
    }
    void setLogonHours(const Bytes& hours) override {
        directory_.record("setLogonHours", object_.dn);
        object_.user.logonHours = hours;
    }

private:
    FakeDirectory& directory_;
    FakeObject& object_;
};

class FakeComputer : public Computer {
public:
    FakeComputer(FakeDirectory& directory, std::string name)
        : directory_(directory), name_(std::move(name)) {}
    const std::string& name() const override { return name_; }
    std::vector<LocalUser> users() override {
        std::vector<LocalUser> users;
        for (FakeObject* user : directory_.childrenOf(name_, Kind::User)) {
            users.push_back(
                {*user->user.logonName, std::make_unique<FakeAccount>(directory_, *user)});
        }
        return users;
    }

private:
    FakeDirectory& directory_;
    std::string name_;
};

class FakeUserStream : public UserStream {
public:
    explicit FakeUserStream(std::vector<FakeObject*> users) : users_(std::move(users)) {}
    std::optional<DirectoryUser> next() override {
        if (next_ == users_.size()) {
            return std::nullopt;
        }
        return users_[next_++]->user;
    }

private:
    std::vector<FakeObject*> users_;
    std::size_t next_ = 0;
};

class FakeConnection : public QueryConnection {
public:
    explicit FakeConnection(FakeDirectory& directory) : directory_(directory) {}
    bool isOpen() const override { return open_; }
    void close() override {
        directory_.calls.push_back("close connection");
        open_ = false;
    }
    std::int32_t countUsers(const std::string& nodeKey) override {
        return static_cast<std::int32_t>(usersOf("count", nodeKey).size());
    }
    std::unique_ptr<UserStream> users(const std::string& nodeKey) override {
        return std::make_unique<FakeUserStream>(usersOf("users", nodeKey));
    }

private:
    std::vector<FakeObject*> usersOf(const std::string& call, const std::string& nodeKey) {
        directory_.record(call, nodeKey);
        if (directory_.find(nodeKey) == nullptr) {
            throw noSuchObject();
        }
        return directory_.childrenOf(nodeKey, Kind::User);
    }

    FakeDirectory& directory_;
    bool open_ = true;
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

FakeObject& FakeDirectory::addDomain(const std::string& dn, const std::string& parentDn) {
    return add(Kind::Domain, parentDn, dn);
}

FakeObject& FakeDirectory::addContainer(const std::string& parentDn, const std::string& rdn) {
    return add(Kind::Container, parentDn, rdn + "," + parentDn);
}

FakeObject& FakeDirectory::addUser(const std::string& parentDn, const std::string& cn,
                                   const std::string& logonName, std::optional<Bytes> logonHours) {
    FakeObject& user = add(Kind::User, parentDn, "CN=" + cn + "," + parentDn);
    user.user.commonName = cn;
    user.user.logonName = logonName.empty() ? cn : logonName;
    user.user.logonHours = std::move(logonHours);
    return user;
}

FakeObject& FakeDirectory::addLocalUser(const std::string& computer, const std::string& name,
                                        std::optional<Bytes> logonHours) {
    FakeObject& user = add(Kind::User, computer, computer + "/" + name);
    user.user.commonName = user.user.logonName = name;
    user.user.logonHours = std::move(logonHours);
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
        nodes.push_back({child->dn, relativeName(child->dn)});
    }
    return nodes;
}

std::unique_ptr<QueryConnection> FakeDirectory::openQueryConnection() {
    return std::make_unique<FakeConnection>(*this);
}

DirectoryNode FakeDirectory::domain(const std::string& dn) {
    record("domain", dn);
    const FakeObject* object = find(dn);
    if (object == nullptr || object->kind == Kind::User) {
        throw noSuchObject();
    }
    return {object->dn, relativeName(object->dn)};
}

std::vector<DirectoryNode> FakeDirectory::childContainers(const std::string& nodeKey) {
    return nodesBelow(nodeKey, Kind::Container);
}

std::vector<DirectoryNode> FakeDirectory::childDomains(const std::string& nodeKey) {
    return nodesBelow(nodeKey, Kind::Domain);
}

std::unique_ptr<Computer> FakeDirectory::computer(const std::string& name) {
    record("computer", name);
    const FakeObject* computer = find(name);
    if (computer == nullptr || computer->kind != Kind::Computer) {
        throw noSuchObject();
    }
    return std::make_unique<FakeComputer>(*this, computer->dn);
}

std::unique_ptr<Account> FakeDirectory::domainUser(const std::string& dn) {
    record("domainUser", dn);
    FakeObject* object = find(dn);
    if (object == nullptr || object->kind != Kind::User) {
        throw noSuchObject();
    }
    return std::make_unique<FakeAccount>(*this, *object);
}

std::unique_ptr<Account> FakeDirectory::computerAccount(const std::string& computer,
                                                        const std::string& name) {
    record("computerAccount", computer + "/" + name);
    FakeObject* object = find(computer + "/" + name);
    if (object == nullptr) {
        throw noSuchObject();
    }
    return std::make_unique<FakeAccount>(*this, *object);
}

void buildCorpDomain(FakeDirectory& directory) {
    directory.addDomain(kCorp);
    directory.setRootDomain(kCorp);
    for (const char* name : {"Ann", "Bob", "Cid", "Dee"}) {
        directory.addUser(kCorp, name);
    }
    directory.addContainer(kCorp, "CN=Builtin");
    directory.addContainer(kCorp, "CN=Users");
    directory.addUser("CN=Users," + kCorp, "Administrator");
    directory.addContainer(kCorp, "cn=System");
    directory.addContainer("cn=System," + kCorp, "CN=Policies");
    directory.addContainer(kCorp, "OU=Sales");
    directory.addUser("OU=Sales," + kCorp, "Eve");
    directory.addUser("OU=Sales," + kCorp, "Fay");
    directory.addContainer("OU=Sales," + kCorp, "OU=East");
    directory.addContainer("OU=Sales," + kCorp, "CN=System");
    directory.addDomain(kEmea, kCorp);
    directory.addContainer(kEmea, "CN=Users");
    directory.addUser("CN=Users," + kEmea, "Gus");

    directory.addComputer("PC1");
    for (const char* name : {"Administrator", "Guest", "backup"}) {
        directory.addLocalUser("PC1", name);
    }
}

}  // namespace qm::testing

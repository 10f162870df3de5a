#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/core/run_time_error.h"

namespace qm::testing {

// One object of the fake directory: an LDAP object, or a WinNT computer or local account.
struct FakeObject {
    std::string path;                  // ADsPath: "LDAP://<dn>", "WinNT://PC1", "WinNT://PC1/kiosk"
    std::string name;                  // "OU=Sales", or a WinNT name
    std::string parent;                // the parent's ADsPath; empty for domains and computers
    std::vector<std::string> classes;  // every objectClass: a computer account is a user too
    std::string category;              // objectCategory
    std::map<std::string, Variant> properties;  // keys in lower case
};

// A small in-memory directory: domains, containers and users by "LDAP://" paths and one-level
// queries, computers and their local accounts by "WinNT://" paths. Binds, enumerations, queries,
// changes and connection events are recorded in `calls`; a failure can be planted on any of them.
class FakeDirectory : public DirectoryServices {
public:
    // With a parent domain's DN, a child domain object below that domain.
    FakeObject& addDomain(const std::string& dn, const std::string& parentDn = {});
    // "OU=" names are organizational units, other containers of the class given.
    FakeObject& addContainer(const std::string& parentDn, const std::string& rdn,
                             const std::string& objectClass = "container");
    FakeObject& addUser(const std::string& parentDn, const std::string& cn,
                        const std::string& samAccountName = {},
                        std::optional<Bytes> logonHours = std::nullopt);
    // Any other object, with every class it has and its category.
    FakeObject& addObject(const std::string& parentDn, const std::string& rdn,
                          std::vector<std::string> classes, const std::string& category);
    // Without one, binding the RootDSE fails as it does on a computer outside any domain.
    void setRootDomain(const std::string& dn) { rootDomain_ = dn; }

    FakeObject& addComputer(const std::string& name);
    FakeObject& addLocalUser(const std::string& computer, const std::string& name,
                             std::optional<Bytes> loginHours = std::nullopt,
                             const std::string& objectClass = "User");

    // `operation` is "bind", "children", "query" (of a base path), "Put" or "SetInfo".
    void fail(const std::string& operation, const std::string& path, RunTimeError error);
    // Records the call, then raises the failure planted on it.
    void record(const std::string& operation, const std::string& path);

    // By ADsPath or by a bind path such as "WinNT://PC1/kiosk,user".
    FakeObject* find(const std::string& path);
    // In the order they were added.
    std::vector<FakeObject*> childrenOf(const FakeObject& parent);
    std::vector<std::string> calls;

    std::unique_ptr<DirectoryObject> bind(const std::string& path) override;
    std::unique_ptr<Connection> newConnection() override;

private:
    // Of the category named by its last class.
    FakeObject& add(const std::string& path, const std::string& name, const std::string& parent,
                    std::vector<std::string> classes);

    std::deque<FakeObject> objects_;
    std::optional<std::string> rootDomain_;
    FakeObject rootDse_;
    std::map<std::string, RunTimeError> failures_;
};

RunTimeError noSuchObject();

}  // namespace qm::testing

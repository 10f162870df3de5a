#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/run_time_error.h"

namespace qm::testing {

// One object of the fake directory: an LDAP object (domain, container, OU, user, group, computer
// account) or a WinNT computer with its local users.
struct FakeObject {
    std::string path;                           // ADsPath
    std::string name;                           // Name: "OU=Sales", or a WinNT name
    std::string dn;                             // LDAP objects only
    std::vector<std::string> objectClass;       // every class of the object: {"top", ..., "user"}
    std::string objectCategory;                 // "person", "computer", "group", ...
    std::map<std::string, Variant> properties;  // keys in lower case
    FakeObject* parent = nullptr;
    std::vector<std::unique_ptr<FakeObject>> children;
};

// A small in-memory directory behind the DirectoryServices interface: domains, containers and
// users reached by "LDAP://" paths and one-level queries, computers and their local users reached
// by "WinNT://" paths. Every bind, enumeration, query, change and connection event is recorded in
// `calls`, in order; failures can be planted on any path.
class FakeDirectory : public DirectoryServices {
public:
    FakeDirectory();
    ~FakeDirectory() override;

    // --- building -----------------------------------------------------------------------------
    // A domain; with a parent domain's DN it is a child domain object below that domain.
    FakeObject& addDomain(const std::string& dn, const std::string& parentDn = {});
    // A container below a DN, with its relative name ("CN=Users", "OU=Sales"); the class defaults
    // to organizationalUnit for "OU=" names and container otherwise.
    FakeObject& addContainer(const std::string& parentDn, const std::string& rdn,
                             const std::string& objectClass = {});
    // A user "CN=<cn>" below a DN; logonHours absent unless given.
    FakeObject& addUser(const std::string& parentDn, const std::string& cn,
                        const std::string& samAccountName = {},
                        std::optional<Bytes> logonHours = std::nullopt);
    // Anything else below a DN: "group", "computer", "contact".
    FakeObject& addOther(const std::string& parentDn, const std::string& rdn,
                         const std::string& objectClass);
    // The forest root domain the RootDSE names; without one, binding the RootDSE fails as it does
    // on a computer outside any domain.
    void setRootDomain(const std::string& dn) { rootDomain_ = dn; }

    // A computer reached through WinNT, and its local accounts.
    FakeObject& addComputer(const std::string& name, const std::string& workgroup = "WORKGROUP");
    FakeObject& addLocalUser(const std::string& computer, const std::string& name,
                             std::optional<Bytes> loginHours = std::nullopt);
    FakeObject& addLocalGroup(const std::string& computer, const std::string& name);

    // --- failures -----------------------------------------------------------------------------
    void failBind(const std::string& path, RunTimeError error);
    void failChildren(const std::string& path, RunTimeError error);
    void failQuery(const std::string& basePath, RunTimeError error);
    void failSetInfo(const std::string& path, RunTimeError error);
    void failPut(const std::string& path, RunTimeError error);
    void failConnectionOpen(RunTimeError error);

    // --- looking -------------------------------------------------------------------------------
    // The object with this ADsPath or bind path, or null.
    FakeObject* find(const std::string& path);
    // The connection last made, or null.
    Connection* lastConnection() const { return lastConnection_; }
    std::vector<std::string> calls;

    // --- DirectoryServices --------------------------------------------------------------------
    std::unique_ptr<DirectoryObject> bind(const std::string& path) override;
    std::unique_ptr<Connection> newConnection() override;

    // Used by the fake's own objects.
    std::optional<RunTimeError> plantedFailure(const std::string& what, const std::string& path);
    FakeObject* findByDn(const std::string& dn);
    void forgetConnection(Connection* connection);

private:
    FakeObject& addBelow(const std::string& parentDn, const std::string& rdn,
                         std::vector<std::string> objectClass, const std::string& category);
    FakeObject* findComputer(const std::string& name);

    std::vector<std::unique_ptr<FakeObject>> roots_;  // domains, then computers
    std::optional<std::string> rootDomain_;
    FakeObject rootDse_;
    std::map<std::string, RunTimeError> failures_;  // "what path" in lower case
    Connection* lastConnection_ = nullptr;
};

// The errors the fake raises, as the providers report them.
RunTimeError noSuchObject();
RunTimeError networkPathNotFound();
RunTimeError domainNotContacted();

}  // namespace qm::testing

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/variant.h"

namespace qm {

// The directory as the selection screen and the runs use it: domains, their containers and users
// (LDAP), computers and their local accounts (SAMR). Every failure is raised as a RunTimeError with
// a number, a description an administrator can act on, and a source.

// A domain, container or organizational unit as a tree node shows it.
struct DirectoryNode {
    std::string key;   // its distinguished name as the directory writes it; unique per object
    std::string name;  // its relative name: "DC=corp", "OU=Sales", "CN=Users"
};

// One user directly in a directory node. A name the entry lacks is none.
struct DirectoryUser {
    std::optional<std::string> commonName;
    std::optional<std::string> logonName;  // pre-Windows 2000 (sAMAccountName)
    std::string distinguishedName;
    std::optional<Bytes> logonHours;  // none when the user has no value
};

// Hours as the sheets take them: Null when there are none.
inline Variant asVariant(const std::optional<Bytes>& hours) {
    return hours ? Variant(*hours) : Variant::null();
}

// The users of one node, read as they are asked for (page by page): only one page is held.
class UserStream {
public:
    virtual ~UserStream() = default;
    // None after the last user.
    virtual std::optional<DirectoryUser> next() = 0;
};

// The selection screen's query connection: opened at start-up when a domain is found, closed by
// Exit or an error trap. Queries take the users one level below a node: persons that are users.
class QueryConnection {
public:
    virtual ~QueryConnection() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;  // an error when already closed
    virtual std::int32_t countUsers(const std::string& nodeKey) = 0;
    virtual std::unique_ptr<UserStream> users(const std::string& nodeKey) = 0;
};

// An account whose logon hours are read and written: a domain user or a computer's local user.
class Account {
public:
    virtual ~Account() = default;
    // The value as held (of any length), none when the account has none.
    virtual std::optional<Bytes> logonHours() = 0;
    // Saves a 21-byte value.
    virtual void setLogonHours(const Bytes& hours) = 0;
};

struct LocalUser {
    std::string name;
    std::unique_ptr<Account> account;
};

// A Windows computer reached by name.
class Computer {
public:
    virtual ~Computer() = default;
    virtual const std::string& name() const = 0;  // as it names itself; unique, the node's key
    virtual std::vector<LocalUser> users() = 0;   // its local user accounts, in its order
};

// A domain as a person names it: its DN, optionally after the server to ask and a slash
// ("dc1.corp.test/DC=corp,DC=test", "dc1.corp.test:636/…"; port 636 means ldaps).
struct DomainName {
    DomainName(std::string dnOfDomain, std::string serverName = {})
        : dn(std::move(dnOfDomain)), server(std::move(serverName)) {}
    DomainName(const char* dnOfDomain) : dn(dnOfDomain) {}

    std::string dn;
    std::string server;  // empty: the server of the DN's domain
};

// A server name never holds "=", a DN's first part always does, so a "/" inside a DN
// ("OU=Dept/IT,…") is not taken for the server's slash.
inline DomainName domainNameOf(const std::string& text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos || slash == 0 ||
        text.substr(0, slash).find('=') != std::string::npos) {
        return {text};
    }
    return {text.substr(slash + 1), text.substr(0, slash)};
}

class DirectoryServices {
public:
    virtual ~DirectoryServices() = default;

    // Whether the RootDSE answers: false when this computer is in no domain or no DC answers.
    virtual bool inDomain() = 0;
    // The forest root domain's DN from the RootDSE that inDomain reached.
    virtual std::string forestRootDomain() = 0;
    virtual std::unique_ptr<QueryConnection> openQueryConnection() = 0;

    // A domain (or any container) by its DN, on the server named with it; an error when no such
    // object is there. Once found on a named server, its domain is asked there from then on.
    virtual DirectoryNode domain(const DomainName& name) = 0;
    // The containers, organizational units and built-in domain containers directly below a node,
    // and its child domains, in the order the directory returns them.
    virtual std::vector<DirectoryNode> childContainers(const std::string& nodeKey) = 0;
    virtual std::vector<DirectoryNode> childDomains(const std::string& nodeKey) = 0;

    virtual std::unique_ptr<Computer> computer(const std::string& name) = 0;

    // An account bound for the Set run: a domain user by DN, a local user by computer and name.
    // An error when the text cannot name such an account (checked before anyone is contacted), or
    // when the object is missing or is not a user.
    virtual std::unique_ptr<Account> domainUser(const std::string& dn) = 0;
    virtual std::unique_ptr<Account> computerAccount(const std::string& computer,
                                                     const std::string& name) = 0;
};

}  // namespace qm

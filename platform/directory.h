#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/run_time_error.h"
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

// The users of one node, read page by page as they are asked for; the next page is on its way
// while this one is read, so at most two are held.
class UserStream {
public:
    virtual ~UserStream() = default;
    // None after the last user.
    virtual std::optional<DirectoryUser> next() = 0;
};

// A count of the users of one node: opening it reads the query's first page, total() the rest.
class UserCount {
public:
    virtual ~UserCount() = default;
    virtual std::int32_t total() = 0;
};

// The selection screen's query connection: opened at start-up when a domain is found, closed by
// Exit or an error trap. Queries take the users one level below a node: persons that are users.
class QueryConnection {
public:
    virtual ~QueryConnection() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;  // an error when already closed
    virtual std::unique_ptr<UserCount> countUsers(const std::string& nodeKey) = 0;
    virtual std::unique_ptr<UserStream> users(const std::string& nodeKey) = 0;
};

// A save sent to an account's server whose answer has not been read yet.
class PendingSave {
public:
    virtual ~PendingSave() = default;
    // Waits for the answer: returns when the value is saved, raises the save's failure otherwise.
    virtual void finish() = 0;
};

// An account whose logon hours are read and written: a domain user or a computer's local user.
class Account {
public:
    virtual ~Account() = default;
    // The value as held (of any length), none when the account has none.
    virtual std::optional<Bytes> logonHours() = 0;
    // Saves a 21-byte value.
    virtual void setLogonHours(const Bytes& hours) = 0;
    // Leaves the account without a value, as a domain user that never had one; a local account
    // always holds one, so it is given every hour.
    virtual void clearLogonHours() = 0;
    // Sends a save (none: clear the value) without waiting for its answer, so that saves of many
    // accounts can be under way at once. An account whose server takes one request at a time
    // saves at once, and the pending save gives that outcome.
    virtual std::unique_ptr<PendingSave> startSave(const std::optional<Bytes>& hours);
};

inline std::unique_ptr<PendingSave> Account::startSave(const std::optional<Bytes>& hours) {
    struct Saved : PendingSave {
        std::exception_ptr failure;
        void finish() override {
            if (failure) {
                std::rethrow_exception(failure);
            }
        }
    };
    auto saved = std::make_unique<Saved>();
    try {
        hours ? setLogonHours(*hours) : clearLogonHours();
    } catch (const RunTimeError&) {
        saved->failure = std::current_exception();
    }
    return saved;
}

// An account found where a sheet places it, ready to be read and written without another lookup.
struct HeldAccount {
    std::string name;              // the common name of a domain user, the name of a local user
    std::uint32_t relativeId = 0;  // the last part of its security identifier; 0 when unknown
    std::unique_ptr<Account> account;
};

// A Windows computer reached by name.
class Computer {
public:
    virtual ~Computer() = default;
    virtual const std::string& name() const = 0;   // as it names itself; unique, the node's key
    virtual std::vector<HeldAccount> users() = 0;  // its local user accounts, in its order
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

    // A domain user that forEachUserIn listed, bound again by its DN without asking the directory:
    // the listing showed it is a user and read its value (`hours`), which the account gives back.
    // An error only when the text is no complete DN.
    virtual std::unique_ptr<Account> listedDomainUser(const std::string& dn,
                                                      std::optional<Bytes> hours) = 0;
    // Every user object directly below a container (computers' domain accounts included: they are
    // users too), read with one paged search; an error when the container cannot be read.
    virtual void forEachUserIn(const std::string& containerDn,
                               const std::function<void(HeldAccount&&)>& visit) = 0;
};

}  // namespace qm

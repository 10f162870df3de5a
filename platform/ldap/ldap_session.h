#pragma once

#include <ldap.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/run_time_error.h"
#include "platform/ldap/ldap_path.h"
#include "platform/signin/credentials.h"

namespace qm {

// One entry as the server returned it, decoded at once so it outlives the connection.
struct LdapEntry {
    std::string dn;
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;

    // The values of an attribute (name compared without regard to case); null when absent.
    const std::vector<std::string>* find(const std::string& name) const;
};

struct SearchRequest {
    std::string base;
    int scope = LDAP_SCOPE_BASE;
    std::string filter = "(objectClass=*)";
    std::vector<std::string> attributes;
};

// One page of a paged search; the cookie asks for the next page and is empty after the last.
struct SearchPage {
    std::vector<LdapEntry> entries;
    std::string cookie;
};

// What a failure reports: what was being done ("Cannot bind to CN=…") and the error's source.
struct Operation {
    std::string what;
    const char* source;
};

// The session with one directory server (or a list of equivalent ones), kept for the program run.
// It connects and signs in on first use: with the person's Kerberos ticket when there is one,
// else with a user name and password, sent only over TLS (StartTLS or ldaps). Every wait is
// bounded. A lost connection is dropped and made again at the next call; a server that stopped
// answering (a timeout, then a failed reconnect) is not waited for again: every later call fails
// at once with the same error.
class LdapSession {
public:
    static constexpr int kConnectTimeoutSeconds = 3;
    static constexpr int kOperationTimeoutSeconds = 10;
    static constexpr int kPageSize = 1000;

    // The target is what the sign-in prompt names: the server's domain ("branch.test"), else the
    // server.
    LdapSession(std::string uris, std::string target, Credentials& credentials);
    ~LdapSession();
    LdapSession(const LdapSession&) = delete;
    LdapSession& operator=(const LdapSession&) = delete;

    // The server's URI list, as messages name it.
    const std::string& server() const { return uris_; }

    // A search answered in one go (a base read).
    std::vector<LdapEntry> search(const SearchRequest& request, const Operation& operation);
    // One page of a paged search (paged-results control, kPageSize entries at most), asked for
    // and not read yet, so the server prepares it meanwhile. A failure to ask is kept and raised
    // when the page is read, where the page is needed.
    struct PageRequest {
        std::string cookie;  // the cookie it was asked with
        int messageId = 0;
        unsigned connection = 0;  // the connection it was asked on
        std::optional<RunTimeError> failure;
    };
    PageRequest requestPage(const SearchRequest& request, std::string cookie,
                            const Operation& operation);
    // The page asked for, within the answer timeout; asked again when its connection was lost.
    SearchPage readPage(const SearchRequest& request, const PageRequest& page,
                        const Operation& operation);
    // Tells the server a paged search will not be read further: the page asked for is abandoned,
    // and the search's state on the server released; errors are ignored.
    void abandonPaging(const SearchRequest& request, const PageRequest& page);
    // Replaces an attribute's values with one binary value, or removes it when there is none.
    void replace(const std::string& dn, const std::string& attribute,
                 const std::optional<std::string>& value, const Operation& operation);
    // The same change sent without waiting for its answer, so that many can be under way on the
    // connection at once. A failure to send is kept and raised when the answer is awaited.
    struct SentChange {
        int messageId = 0;
        unsigned connection = 0;  // the connection it was sent on
        std::optional<RunTimeError> failure;
    };
    SentChange sendReplace(const std::string& dn, const std::string& attribute,
                           const std::optional<std::string>& value, const Operation& operation);
    // The answer, within the answer timeout; a change whose connection was lost before its answer
    // came has failed.
    void awaitChange(const SentChange& change, const Operation& operation);

    // The RootDSE read without signing in (any server shows it so), or nothing when it does not
    // answer in time.
    static std::optional<LdapEntry> anonymousRootDse(const std::string& uris,
                                                     std::vector<std::string> attributes);

private:
    struct Failure {
        int code;
        std::string diagnostic;
    };

    LDAP* handle(const Operation& operation);
    void open(const Operation& operation);
    void connect(const Operation& operation);
    void startTls(const Operation& operation);
    bool signInWithKerberos(const Operation& operation);
    void signInWithPassword(const Operation& operation);
    bool tryPassword(const Login& login, const Operation& operation,
                     std::optional<RunTimeError>& refusal);
    int sendSearch(const SearchRequest& request, LDAPControl** controls, int& messageId);
    int sendPage(const SearchRequest& request, const std::string& cookie,
                 const Operation& operation);
    LDAPMessage* await(int messageId, const Operation& operation);
    // The answer to a request just sent (sent is what sending it returned), the caller's to free;
    // a failed send or a failed result is raised.
    LDAPMessage* awaitSuccess(int sent, int messageId, const Operation& operation,
                              LDAPControl*** controls = nullptr);
    int parseResult(LDAPMessage* result, std::string& diagnostic, LDAPControl*** controls);
    [[noreturn]] void fail(int resultCode, const Operation& operation,
                           const std::string& diagnostic = {});
    std::string diagnosticMessage() const;
    void drop();

    std::string uris_;
    std::string target_;
    Credentials& credentials_;
    LDAP* ld_ = nullptr;
    // Counts the connections dropped, so a page asked for on an earlier one is known.
    unsigned connection_ = 0;
    // A timeout was the last thing the server gave; one more lost connection and it is dead.
    bool suspect_ = false;
    std::optional<Failure> dead_;
};

// The options of every connection: LDAP v3, no referrals, the connect and answer timeouts.
void setSessionOptions(LDAP* ld);

// Bounds one blocking libldap call that takes no timeout of its own (a TLS handshake, a SASL
// exchange): when it has not returned by the deadline, a watcher ends the connection's socket, so
// the blocked read fails instead of waiting for ever.
class CallDeadline {
public:
    CallDeadline(LDAP* ld, int seconds);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;
    bool expired();

private:
    std::mutex mutex_;
    std::condition_variable returned_;
    bool done_ = false;
    bool expired_ = false;
    std::thread watcher_;
};

// The URI of a server named in a path: "dc1.corp.test" is ldap://, "dc1.corp.test:636" ldaps://.
std::string serverUri(const std::string& server);

// The sessions of one program run, one per server, and where each domain's server is.
class SessionPool {
public:
    explicit SessionPool(Credentials& credentials) : credentials_(credentials) {}

    // The session for a path: its own server when it names one, else the server of the DN's
    // domain, else (RootDSE, a DN without DC components) the computer's own domain.
    LdapSession& forPath(const LdapPath& path, const Operation& operation);
    // From now on, the server of the DN's domain is this one: a domain whose name this computer
    // cannot locate is reached where the person found it.
    void askDomainAt(const std::string& dn, const std::string& server);

private:
    // The computer's own directory server, when it is a domain's.
    struct OwnDomain {
        std::string uris;
        std::string dnsDomain;  // empty: no server, or one that is no Active Directory domain
        bool answered = false;
    };

    LdapSession& session(const std::string& uris, const std::string& target);
    LdapSession& defaultSession(const Operation& operation);
    const OwnDomain& ownDomain();
    std::string urisOfDomain(const std::string& dnsDomain);

    Credentials& credentials_;
    std::map<std::string, std::unique_ptr<LdapSession>> sessions_;
    std::map<std::string, std::string> domainUris_;
    std::optional<OwnDomain> ownDomain_;
};

}  // namespace qm

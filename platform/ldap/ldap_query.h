#pragma once

#include <memory>
#include <string>

#include "platform/directory.h"
#include "platform/ldap/ldap_session.h"

namespace qm {

// The query connection. Opening it reaches no server; each query signs in on first use through
// the shared sessions, with the person's Kerberos ticket or the password asked once.
class LdapQueryConnection : public QueryConnection {
public:
    explicit LdapQueryConnection(std::shared_ptr<SessionPool> sessions)
        : sessions_(std::move(sessions)) {}

    bool isOpen() const override { return open_; }
    void close() override;
    // A paged search that reads no attributes.
    std::unique_ptr<UserCount> countUsers(const std::string& nodeKey) override;
    // The four attributes the Document run writes, one page at a time.
    std::unique_ptr<UserStream> users(const std::string& nodeKey) override;

    // The pages the last stream read, for tests of the paging itself.
    int pagesRead() const { return *pagesRead_; }

private:
    struct Query {
        LdapSession& session;
        SearchRequest request;
        Operation operation;
    };
    Query query(const std::string& nodeKey, std::vector<std::string> attributes);

    std::shared_ptr<SessionPool> sessions_;
    bool open_ = true;
    std::shared_ptr<int> pagesRead_ = std::make_shared<int>(0);
};

}  // namespace qm

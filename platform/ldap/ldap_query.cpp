#include "platform/ldap/ldap_query.h"

#include <limits>

#include "platform/ldap/ldap_error.h"

namespace qm {

namespace {

constexpr const char* kUserFilter = "(&(objectCategory=person)(objectClass=user))";

RunTimeError connectionClosed() {
    return {adoerror::ConnectionClosed,
            "The connection cannot be used to perform this operation. It is either closed or "
            "invalid in this context.",
            kQuerySource};
}

std::optional<std::string> text(const LdapEntry& entry, const char* name) {
    const auto* values = entry.find(name);
    if (values == nullptr || values->empty()) {
        return std::nullopt;
    }
    return values->front();
}

DirectoryUser userOf(const LdapEntry& entry) {
    DirectoryUser user;
    user.commonName = text(entry, "cn");
    user.logonName = text(entry, "sAMAccountName");
    // A server without the attribute still names the entry.
    user.distinguishedName = text(entry, "distinguishedName").value_or(entry.dn);
    if (const auto hours = text(entry, "logonHours")) {
        user.logonHours = Bytes(hours->begin(), hours->end());
    }
    return user;
}

class LdapUserStream : public UserStream {
public:
    LdapUserStream(LdapSession& session, SearchRequest request, Operation operation,
                   std::shared_ptr<int> pagesRead)
        : session_(session),
          request_(std::move(request)),
          operation_(std::move(operation)),
          pagesRead_(std::move(pagesRead)) {
        *pagesRead_ = 0;
        fetchPage();
    }
    ~LdapUserStream() override {
        if (!cookie_.empty()) {
            session_.abandonPaging(request_, cookie_);
        }
    }

    std::optional<DirectoryUser> next() override {
        while (position_ >= page_.size() && !cookie_.empty()) {
            fetchPage();
        }
        if (position_ >= page_.size()) {
            return std::nullopt;
        }
        return userOf(page_[position_++]);
    }

private:
    void fetchPage() {
        SearchPage page = session_.searchPage(request_, cookie_, operation_);
        page_ = std::move(page.entries);
        cookie_ = std::move(page.cookie);
        position_ = 0;
        ++*pagesRead_;
    }

    LdapSession& session_;
    SearchRequest request_;
    Operation operation_;
    std::shared_ptr<int> pagesRead_;
    std::vector<LdapEntry> page_;
    std::size_t position_ = 0;
    std::string cookie_;
};

}  // namespace

void LdapQueryConnection::close() {
    if (!open_) {
        throw RunTimeError(adoerror::ObjectClosed,
                           "Operation is not allowed when the object is closed.", kQuerySource);
    }
    open_ = false;
}

LdapQueryConnection::Query LdapQueryConnection::query(const std::string& nodeKey,
                                                      std::vector<std::string> attributes) {
    if (!open_) {
        throw connectionClosed();
    }
    Operation operation{"Cannot search " + nodeKey + " for " + kUserFilter, kQuerySource};
    LdapSession& session = sessions_->forPath({"", nodeKey, false}, operation);
    return {session,
            {nodeKey, LDAP_SCOPE_ONELEVEL, kUserFilter, std::move(attributes)},
            std::move(operation)};
}

std::int32_t LdapQueryConnection::countUsers(const std::string& nodeKey) {
    Query counting = query(nodeKey, {LDAP_NO_ATTRS});
    std::size_t rows = 0;
    std::string cookie;
    do {
        SearchPage page = counting.session.searchPage(counting.request, cookie, counting.operation);
        rows += page.entries.size();
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    if (rows > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw err::overflow();
    }
    return static_cast<std::int32_t>(rows);
}

std::unique_ptr<UserStream> LdapQueryConnection::users(const std::string& nodeKey) {
    Query reading = query(nodeKey, {"logonHours", "sAMAccountName", "distinguishedName", "cn"});
    return std::make_unique<LdapUserStream>(reading.session, std::move(reading.request),
                                            std::move(reading.operation), pagesRead_);
}

}  // namespace qm

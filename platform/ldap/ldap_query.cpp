#include "platform/ldap/ldap_query.h"

#include <limits>

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/paged_search.h"

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
        : search_(session, std::move(request), std::move(operation)),
          pagesRead_(std::move(pagesRead)) {
        *pagesRead_ = 0;
        readPage();
    }

    std::optional<DirectoryUser> next() override {
        while (position_ >= page_.size() && readPage()) {
        }
        if (position_ >= page_.size()) {
            return std::nullopt;
        }
        return userOf(page_[position_++]);
    }

private:
    bool readPage() {
        page_ = {};  // let go of the page read before the next one comes in
        position_ = 0;
        auto page = search_.next();
        if (!page) {
            return false;
        }
        page_ = std::move(*page);
        ++*pagesRead_;
        return true;
    }

    PagedSearch search_;
    std::shared_ptr<int> pagesRead_;
    std::vector<LdapEntry> page_;
    std::size_t position_ = 0;
};

class LdapUserCount : public UserCount {
public:
    LdapUserCount(LdapSession& session, SearchRequest request, Operation operation)
        : search_(session, std::move(request), std::move(operation)) {
        add(search_.next());
    }

    std::int32_t total() override {
        while (add(search_.next())) {
        }
        return static_cast<std::int32_t>(rows_);
    }

private:
    bool add(const std::optional<std::vector<LdapEntry>>& page) {
        if (!page) {
            return false;
        }
        rows_ += page->size();
        if (rows_ > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            throw err::overflow();
        }
        return true;
    }

    PagedSearch search_;
    std::size_t rows_ = 0;
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

std::unique_ptr<UserCount> LdapQueryConnection::countUsers(const std::string& nodeKey) {
    Query counting = query(nodeKey, {LDAP_NO_ATTRS});
    return std::make_unique<LdapUserCount>(counting.session, std::move(counting.request),
                                           std::move(counting.operation));
}

std::unique_ptr<UserStream> LdapQueryConnection::users(const std::string& nodeKey) {
    Query reading = query(nodeKey, {"logonHours", "sAMAccountName", "distinguishedName", "cn"});
    return std::make_unique<LdapUserStream>(reading.session, std::move(reading.request),
                                            std::move(reading.operation), pagesRead_);
}

}  // namespace qm

#include "platform/ldap/paged_search.h"

namespace qm {

PagedSearch::PagedSearch(LdapSession& session, SearchRequest request, Operation operation)
    : session_(session), request_(std::move(request)), operation_(std::move(operation)) {
    asked_ = session_.requestPage(request_, {}, operation_);
}

PagedSearch::~PagedSearch() {
    if (asked_) {
        session_.abandonPaging(request_, *asked_);
    }
}

std::optional<std::vector<LdapEntry>> PagedSearch::next() {
    if (!asked_) {
        return std::nullopt;
    }
    const LdapSession::PageRequest page = std::move(*asked_);
    asked_.reset();
    SearchPage read = session_.readPage(request_, page, operation_);
    if (!read.cookie.empty()) {
        asked_ = session_.requestPage(request_, std::move(read.cookie), operation_);
    }
    return std::move(read.entries);
}

}  // namespace qm

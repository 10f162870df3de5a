#pragma once

#include <optional>
#include <vector>

#include "platform/ldap/ldap_session.h"

namespace qm {

// A paged search read a page at a time. The next page is asked for as soon as one arrives, so the
// server prepares it while the caller works through this one; the pages held are the one read and
// the one asked for. Dropped before the last page, it abandons the search.
class PagedSearch {
public:
    PagedSearch(LdapSession& session, SearchRequest request, Operation operation);
    ~PagedSearch();
    PagedSearch(const PagedSearch&) = delete;
    PagedSearch& operator=(const PagedSearch&) = delete;

    // The next page, none after the last. A failure of the page is raised here, where it is
    // needed, even when asking for it failed earlier.
    std::optional<std::vector<LdapEntry>> next();

private:
    LdapSession& session_;
    SearchRequest request_;
    Operation operation_;
    std::optional<LdapSession::PageRequest> asked_;
};

}  // namespace qm

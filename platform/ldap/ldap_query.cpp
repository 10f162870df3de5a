#include "platform/ldap/ldap_query.h"

#include <algorithm>
#include <limits>

#include "platform/ldap/ldap_error.h"

namespace qm {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> scopeNamed(const std::string& name) {
    if (equalsIgnoringCase(name, "oneLevel")) {
        return LDAP_SCOPE_ONELEVEL;
    }
    if (equalsIgnoringCase(name, "subtree")) {
        return LDAP_SCOPE_SUBTREE;
    }
    if (equalsIgnoringCase(name, "base")) {
        return LDAP_SCOPE_BASE;
    }
    return std::nullopt;
}

std::vector<std::string> attributeList(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        if (std::string name = trimmed(text.substr(start, comma - start)); !name.empty()) {
            names.push_back(std::move(name));
        }
        start = comma + 1;
    }
    return names;
}

RunTimeError adoError(std::int32_t number, const std::string& description) {
    return {number, description, kQuerySource};
}

}  // namespace

std::optional<QuerySource> parseQuerySource(const std::string& source) {
    // The filter may itself hold ";" (an attribute value), so the base ends at the first one and
    // the attributes and scope are the last parts.
    const auto first = source.find(';');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::string base = trimmed(source.substr(0, first));
    if (base.size() < 2 || base.front() != '<' || base.back() != '>') {
        return std::nullopt;
    }
    QuerySource query;
    const auto path = parseLdapPath(base.substr(1, base.size() - 2));
    if (!path) {
        return std::nullopt;
    }
    query.base = *path;
    std::string rest = source.substr(first + 1);
    auto last = rest.rfind(';');
    if (last == std::string::npos) {
        return std::nullopt;
    }
    std::string attributes = rest.substr(last + 1);
    std::string filter = rest.substr(0, last);
    // Four parts: the last one is the scope.
    if (const auto previous = filter.rfind(';'); previous != std::string::npos) {
        const auto scope = scopeNamed(trimmed(attributes));
        if (!scope) {
            return std::nullopt;
        }
        query.scope = *scope;
        attributes = filter.substr(previous + 1);
        filter = filter.substr(0, previous);
    }
    query.filter = trimmed(filter).empty() ? "(objectClass=*)" : trimmed(filter);
    query.attributes = attributeList(attributes);
    if (query.attributes.empty()) {
        return std::nullopt;
    }
    return query;
}

// --- LdapConnection ---------------------------------------------------------------------------

LdapConnection::LdapConnection(std::shared_ptr<SessionPool> sessions)
    : state_(std::make_shared<QueryConnectionState>()) {
    state_->sessions = std::move(sessions);
}

void LdapConnection::Open(const std::string&, const std::string&, const std::string&) {
    if (state_->open) {
        throw adoError(adoerror::ObjectOpen, "Operation is not allowed when the object is open.");
    }
    state_->open = true;
}

int LdapConnection::State() const {
    return state_->open ? 1 : 0;
}

void LdapConnection::Close() {
    if (!state_->open) {
        throw adoError(adoerror::ObjectClosed,
                       "Operation is not allowed when the object is closed.");
    }
    state_->open = false;
}

std::unique_ptr<Recordset> LdapConnection::newRecordset() {
    return std::make_unique<LdapRecordset>(state_);
}

// --- LdapRecordset ----------------------------------------------------------------------------

LdapRecordset::LdapRecordset(std::shared_ptr<QueryConnectionState> connection)
    : connection_(std::move(connection)) {}

void LdapRecordset::requireOpen() const {
    if (!open_) {
        throw adoError(adoerror::ObjectClosed,
                       "Operation is not allowed when the object is closed.");
    }
}

void LdapRecordset::requireCurrentRecord() const {
    requireOpen();
    if (position_ >= page_.size()) {
        throw adoError(adoerror::NoCurrentRecord,
                       "Either BOF or EOF is True, or the current record has been deleted. "
                       "Requested operation requires a current record.");
    }
}

void LdapRecordset::fetchPage() {
    SearchPage page = session_->searchPage(request_, cookie_, operation_);
    page_ = std::move(page.entries);
    cookie_ = std::move(page.cookie);
    position_ = 0;
    ++pagesRead_;
}

void LdapRecordset::skipEmptyPages() {
    while (position_ >= page_.size() && !cookie_.empty()) {
        fetchPage();
    }
}

void LdapRecordset::Open() {
    if (open_) {
        throw adoError(adoerror::ObjectOpen, "Operation is not allowed when the object is open.");
    }
    if (!connection_->open) {
        throw adoError(adoerror::ConnectionClosed,
                       "The connection cannot be used to perform this operation. It is either "
                       "closed or invalid in this context.");
    }
    const auto query = parseQuerySource(source_);
    if (!query) {
        throw adoError(adoerror::ErrorsInCommand,
                       "One or more errors occurred during processing of command: the query \"" +
                           source_ + "\" is not of the form <LDAP://base>;filter;attributes;scope");
    }
    const std::string base = query->base.rootDse ? std::string() : query->base.dn;
    operation_ = {
        "Cannot search " + (base.empty() ? "the RootDSE" : base) + " for " + query->filter,
        kQuerySource};
    session_ = &connection_->sessions->forPath(query->base, operation_);
    request_ = {base, query->scope, query->filter, query->attributes};
    cookie_.clear();
    pagesRead_ = 0;
    recordCount_.reset();
    fetchPage();
    wholeResultInFirstPage_ = cookie_.empty();
    firstPageRows_ = page_.size();
    skipEmptyPages();
    open_ = true;
}

std::int32_t LdapRecordset::countRows() {
    SearchRequest counting = request_;
    counting.attributes = {LDAP_NO_ATTRS};
    std::size_t rows = 0;
    std::string cookie;
    do {
        SearchPage page = session_->searchPage(counting, cookie, operation_);
        rows += page.entries.size();
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    if (rows > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw err::overflow();
    }
    return static_cast<std::int32_t>(rows);
}

std::int32_t LdapRecordset::RecordCount() {
    requireOpen();
    if (!recordCount_) {
        recordCount_ =
            wholeResultInFirstPage_ ? static_cast<std::int32_t>(firstPageRows_) : countRows();
    }
    return *recordCount_;
}

bool LdapRecordset::Eof() {
    requireOpen();
    return position_ >= page_.size();
}

Variant LdapRecordset::Fields(const std::string& name) {
    requireCurrentRecord();
    const bool asked =
        std::any_of(request_.attributes.begin(), request_.attributes.end(),
                    [&](const std::string& field) { return equalsIgnoringCase(field, name); });
    if (!asked) {
        throw adoError(adoerror::ItemNotFound,
                       "Item cannot be found in the collection corresponding to the requested "
                       "name or ordinal: " +
                           name);
    }
    const LdapEntry& entry = page_[position_];
    const auto* values = entry.find(name);
    if (values == nullptr && equalsIgnoringCase(name, "distinguishedName")) {
        return entry.dn;  // a server without the attribute still names the entry
    }
    return attributeValue(name, values);
}

void LdapRecordset::MoveNext() {
    requireCurrentRecord();
    ++position_;
    skipEmptyPages();
}

void LdapRecordset::Close() {
    requireOpen();
    if (!cookie_.empty()) {
        session_->abandonPaging(request_, cookie_);
    }
    page_.clear();
    cookie_.clear();
    position_ = 0;
    open_ = false;
}

}  // namespace qm

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/ldap/ldap_path.h"
#include "platform/ldap/ldap_session.h"

namespace qm {

// A query text: "<LDAP://base>;filter;attr1,attr2;scope", scope "oneLevel", "subtree" or "base"
// (subtree when the fourth part is left out).
struct QuerySource {
    LdapPath base;
    std::string filter;
    std::vector<std::string> attributes;
    int scope = LDAP_SCOPE_SUBTREE;
};

// Nothing when the text is not of that form.
std::optional<QuerySource> parseQuerySource(const std::string& source);

// What the connection's recordsets share: the sessions, and whether the connection is open.
struct QueryConnectionState {
    std::shared_ptr<SessionPool> sessions;
    bool open = false;
};

// The query connection. Opening it reaches no server; each recordset signs in on first use
// through the shared sessions. A user name and password given to Open are not used: the person's
// Kerberos ticket, or the password asked once, serves every query.
class LdapConnection : public Connection {
public:
    explicit LdapConnection(std::shared_ptr<SessionPool> sessions);
    void Open(const std::string& connectionText, const std::string& user,
              const std::string& password) override;
    int State() const override;
    void Close() override;
    std::unique_ptr<Recordset> newRecordset() override;

private:
    std::shared_ptr<QueryConnectionState> state_;
};

// The rows of one search, read page by page (paged-results control), so only one page is held
// at a time however large the container is.
class LdapRecordset : public Recordset {
public:
    explicit LdapRecordset(std::shared_ptr<QueryConnectionState> connection);
    void setSource(const std::string& source) override { source_ = source; }
    void Open() override;
    // The number of rows: the first page's when it held them all, else a count made with a
    // second paged search that reads no attributes.
    std::int32_t RecordCount() override;
    bool Eof() override;
    // Text, Bytes (logonHours) or Null when the entry has no such attribute.
    Variant Fields(const std::string& name) override;
    void MoveNext() override;
    void Close() override;

    // The pages read since Open, for tests of the paging itself.
    int pagesRead() const { return pagesRead_; }

private:
    void requireOpen() const;
    void requireCurrentRecord() const;
    void fetchPage();
    void skipEmptyPages();
    std::int32_t countRows();

    std::shared_ptr<QueryConnectionState> connection_;
    std::string source_;
    bool open_ = false;
    LdapSession* session_ = nullptr;
    SearchRequest request_;
    Operation operation_{{}, nullptr};
    std::vector<LdapEntry> page_;
    std::size_t position_ = 0;
    std::string cookie_;
    bool wholeResultInFirstPage_ = false;
    std::size_t firstPageRows_ = 0;
    std::optional<std::int32_t> recordCount_;
    int pagesRead_ = 0;
};

}  // namespace qm

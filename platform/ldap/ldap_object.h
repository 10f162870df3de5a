#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/directory.h"
#include "platform/ldap/ldap_session.h"

namespace qm {

// An object of the LDAP provider: the RootDSE, or a directory entry bound by its DN. The bind reads
// the entry once, with the attributes the program reads of a user (logonHours, cn, sAMAccountName,
// distinguishedName), so nothing else goes to the server until SetInfo; any other attribute is read
// when first asked for. Enumerated children come with their classes as well.
class LdapObject : public DirectoryObject {
public:
    // "LDAP://RootDSE", "LDAP://" + DN, each optionally after a server name and "/". A path that
    // names no existing object is a run-time error.
    static std::unique_ptr<DirectoryObject> bind(const std::shared_ptr<SessionPool>& sessions,
                                                 const std::string& path);

    std::string ADsPath() const override;
    std::string Name() const override;
    Variant Get(const std::string& property) override;
    void setFilter(const std::vector<std::string>& classNames) override;
    std::vector<std::unique_ptr<DirectoryObject>> children() override;
    void Put(const std::string& property, const Variant& value) override;
    void SetInfo() override;

    // The attributes every bind reads.
    static const std::vector<std::string>& boundAttributes();

private:
    LdapObject(std::shared_ptr<SessionPool> sessions, LdapSession& session, std::string server,
               LdapEntry entry, bool rootDse);

    // Whether the object's most specific class is one the filter names.
    bool passesFilter(const std::vector<std::string>& classNames) const;
    std::string displayName() const;

    std::shared_ptr<SessionPool> sessions_;  // keeps the session alive
    LdapSession& session_;
    std::string server_;  // as the path named it; empty when located
    LdapEntry entry_;
    bool rootDse_;
    std::vector<std::string> filter_;
    std::vector<std::pair<std::string, std::string>> staged_;
};

}  // namespace qm

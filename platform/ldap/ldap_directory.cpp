#include "platform/ldap/ldap_directory.h"

#include <algorithm>

#include "logonhours/logon_hours.h"
#include "platform/core/text.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"

namespace qm {

namespace {

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& candidate) {
        return equalsIgnoringCase(candidate, name);
    });
}

std::string classFilter(const std::vector<std::string>& classNames) {
    std::string filter = "(|";
    for (const std::string& name : classNames) {
        filter += "(objectClass=" + name + ")";
    }
    return filter + ")";
}

const std::vector<std::string>& classesOf(const LdapEntry& entry) {
    static const std::vector<std::string> none;
    const auto* classes = entry.find("objectClass");
    return classes != nullptr ? *classes : none;
}

// The server lists an object's classes from the most general to the most specific.
bool passesFilter(const LdapEntry& entry, const std::vector<std::string>& classNames) {
    const auto& classes = classesOf(entry);
    if (classes.empty()) {
        return false;
    }
    const std::string& structural = classes.back();
    // A domain's head object is of class domainDNS, which refines domain.
    return contains(classNames, structural) ||
           (equalsIgnoringCase(structural, "domainDNS") && contains(classNames, "domain"));
}

class LdapAccount : public Account {
public:
    LdapAccount(LdapSession& session, const LdapEntry& entry) : session_(session), dn_(entry.dn) {
        if (const auto* values = entry.find("logonHours"); values != nullptr && !values->empty()) {
            hours_ = Bytes(values->front().begin(), values->front().end());
        }
    }

    std::optional<Bytes> logonHours() override { return hours_; }

    void setLogonHours(const Bytes& hours) override {
        if (hours.size() != kLogonHoursBytes) {
            throw RunTimeError(hresult::InvalidArgument,
                               "Cannot put logonHours of " + dn_ +
                                   ": a logon-hours value is exactly 21 bytes, not " +
                                   std::to_string(hours.size()) + " bytes",
                               kLdapSource);
        }
        session_.replace(dn_, {{"logonHours", std::string(hours.begin(), hours.end())}},
                         {"Cannot save logonHours of " + dn_, kLdapSource});
        hours_ = hours;
    }

private:
    LdapSession& session_;
    std::string dn_;
    std::optional<Bytes> hours_;
};

}  // namespace

LdapEntry LdapDirectory::bind(const std::string& dn, const std::vector<std::string>& attributes,
                              LdapSession*& session, const std::string& server) {
    const auto plain = plainDn(dn);
    if (!plain) {
        throw RunTimeError(hresult::BadPathName,
                           "Cannot bind to " + dn + ": not a complete distinguished name",
                           kLdapSource);
    }
    const Operation operation{"Cannot bind to " + *plain, kLdapSource};
    session = &sessions_->forPath({server, *plain, false}, operation);
    std::vector<LdapEntry> entries =
        session->search({*plain, LDAP_SCOPE_BASE, "(objectClass=*)", attributes}, operation);
    if (entries.empty()) {
        throw RunTimeError(
            hresult::NoSuchObject,
            operation.what + " on " + session->server() + ": There is no such object on the server",
            kLdapSource);
    }
    return std::move(entries.front());
}

bool LdapDirectory::inDomain() {
    const Operation operation{"Cannot bind to the RootDSE", kLdapSource};
    try {
        LdapSession& session = sessions_->forPath({"", "", true}, operation);
        auto entries = session.search({"", LDAP_SCOPE_BASE, "(objectClass=*)", {}}, operation);
        if (!entries.empty()) {
            rootDse_ = std::move(entries.front());
        }
    } catch (const RunTimeError&) {
        rootDse_.reset();
    }
    return rootDse_.has_value();
}

std::string LdapDirectory::forestRootDomain() {
    const auto* values = rootDse_ ? rootDse_->find("rootDomainNamingContext") : nullptr;
    if (values == nullptr || values->empty()) {
        throw err::invalidUseOfNull();
    }
    return values->front();
}

DirectoryNode LdapDirectory::domain(const DomainName& name) {
    LdapSession* session = nullptr;
    const LdapEntry entry = bind(name.dn, {LDAP_NO_ATTRS}, session, name.server);
    if (!name.server.empty()) {
        sessions_->askDomainAt(entry.dn, name.server);
    }
    return {entry.dn, relativeName(entry.dn)};
}

std::vector<DirectoryNode> LdapDirectory::children(const std::string& dn,
                                                   const std::vector<std::string>& classes) {
    const Operation operation{"Cannot list the contents of " + dn, kLdapSource};
    LdapSession& session = sessions_->forPath({"", dn, false}, operation);
    const SearchRequest request{dn, LDAP_SCOPE_ONELEVEL, classFilter(classes), {"objectClass"}};
    std::vector<DirectoryNode> found;
    std::string cookie;
    do {
        SearchPage page = session.searchPage(request, cookie, operation);
        for (const LdapEntry& entry : page.entries) {
            if (passesFilter(entry, classes)) {
                found.push_back({entry.dn, relativeName(entry.dn)});
            }
        }
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    return found;
}

std::unique_ptr<Account> LdapDirectory::user(const std::string& dn) {
    LdapSession* session = nullptr;
    const LdapEntry entry = bind(dn, {"objectClass", "logonHours"}, session);
    if (!contains(classesOf(entry), "user")) {
        throw RunTimeError(hresult::NoInterface,
                           "Cannot bind to " + entry.dn + " as a user: the object is of class " +
                               (classesOf(entry).empty() ? "unknown" : classesOf(entry).back()),
                           kLdapSource);
    }
    return std::make_unique<LdapAccount>(*session, entry);
}

}  // namespace qm

#include "platform/ldap/ldap_directory.h"

#include <algorithm>

#include "logonhours/logon_hours.h"
#include "platform/core/text.h"
#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"
#include "platform/ldap/paged_search.h"

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

// The DN as the server takes it; a text that is no complete DN fails before any server is asked.
std::string completeDn(const std::string& dn, const char* doing) {
    const auto plain = plainDn(dn);
    if (!plain) {
        throw RunTimeError(
            hresult::BadPathName,
            std::string("Cannot ") + doing + " " + dn + ": not a complete distinguished name",
            kLdapSource);
    }
    return *plain;
}

// Every entry of a paged search, page by page.
void forEachEntry(LdapSession& session, const SearchRequest& request, const Operation& operation,
                  const std::function<void(const LdapEntry&)>& visit) {
    PagedSearch search(session, request, operation);
    while (const auto page = search.next()) {
        std::for_each(page->begin(), page->end(), visit);
    }
}

std::optional<Bytes> logonHoursOf(const LdapEntry& entry) {
    const auto* values = entry.find("logonHours");
    if (values == nullptr || values->empty()) {
        return std::nullopt;
    }
    return Bytes(values->front().begin(), values->front().end());
}

// The relative id closes a binary security identifier, little-endian.
std::uint32_t relativeIdOf(const LdapEntry& entry) {
    const auto* values = entry.find("objectSid");
    if (values == nullptr || values->empty() || values->front().size() < 12) {
        return 0;
    }
    const std::string& sid = values->front();
    std::uint32_t rid = 0;
    for (std::size_t i = sid.size() - 4; i < sid.size(); ++i) {
        rid |= std::uint32_t(static_cast<unsigned char>(sid[i])) << (8 * (i - (sid.size() - 4)));
    }
    return rid;
}

class LdapAccount : public Account {
public:
    LdapAccount(LdapSession& session, std::string dn, std::optional<Bytes> hours)
        : session_(session), dn_(std::move(dn)), hours_(std::move(hours)) {}

    std::optional<Bytes> logonHours() override { return hours_; }

    void setLogonHours(const Bytes& hours) override {
        if (hours.size() != kLogonHoursBytes) {
            throw RunTimeError(hresult::InvalidArgument,
                               "Cannot put logonHours of " + dn_ +
                                   ": a logon-hours value is exactly 21 bytes, not " +
                                   std::to_string(hours.size()) + " bytes",
                               kLdapSource);
        }
        startSave(hours)->finish();
    }

    void clearLogonHours() override { startSave(std::nullopt)->finish(); }

    std::unique_ptr<PendingSave> startSave(const std::optional<Bytes>& hours) override {
        if (hours && hours->size() != kLogonHoursBytes) {
            return Account::startSave(hours);  // refused before anything is sent
        }
        class Sent : public PendingSave {
        public:
            Sent(LdapAccount& account, const std::optional<Bytes>& hours)
                : account_(account),
                  hours_(hours),
                  change_(account.session_.sendReplace(account.dn_, "logonHours", text(hours),
                                                       account.operation())) {}
            void finish() override {
                account_.session_.awaitChange(change_, account_.operation());
                account_.hours_ = hours_;
            }

        private:
            LdapAccount& account_;
            std::optional<Bytes> hours_;
            LdapSession::SentChange change_;
        };
        return std::make_unique<Sent>(*this, hours);
    }

private:
    static std::optional<std::string> text(const std::optional<Bytes>& hours) {
        return hours ? std::optional<std::string>(std::in_place, hours->begin(), hours->end())
                     : std::nullopt;
    }
    Operation operation() const { return {"Cannot save logonHours of " + dn_, kLdapSource}; }

    LdapSession& session_;
    std::string dn_;
    std::optional<Bytes> hours_;
};

}  // namespace

LdapEntry LdapDirectory::bind(const std::string& dn, const std::string& server) {
    const std::string plain = completeDn(dn, "bind to");
    const Operation operation{"Cannot bind to " + plain, kLdapSource};
    LdapSession& session = sessions_->forPath({server, plain, false}, operation);
    std::vector<LdapEntry> entries =
        session.search({plain, LDAP_SCOPE_BASE, "(objectClass=*)", {LDAP_NO_ATTRS}}, operation);
    if (entries.empty()) {
        throw RunTimeError(
            hresult::NoSuchObject,
            operation.what + " on " + session.server() + ": There is no such object on the server",
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
    const LdapEntry entry = bind(name.dn, name.server);
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
    forEachEntry(session, request, operation, [&](const LdapEntry& entry) {
        if (passesFilter(entry, classes)) {
            found.push_back({entry.dn, relativeName(entry.dn)});
        }
    });
    return found;
}

std::unique_ptr<Account> LdapDirectory::listedUser(const std::string& dn,
                                                   std::optional<Bytes> hours) {
    const std::string plain = completeDn(dn, "bind to");
    LdapSession& session =
        sessions_->forPath({"", plain, false}, {"Cannot bind to " + plain, kLdapSource});
    return std::make_unique<LdapAccount>(session, plain, std::move(hours));
}

void LdapDirectory::forEachUserIn(const std::string& containerDn,
                                  const std::function<void(HeldAccount&&)>& visit) {
    const std::string plain = completeDn(containerDn, "read");
    const Operation operation{"Cannot list the users of " + plain, kLdapSource};
    LdapSession& session = sessions_->forPath({"", plain, false}, operation);
    const SearchRequest request{
        plain, LDAP_SCOPE_ONELEVEL, "(objectClass=user)", {"cn", "logonHours", "objectSid"}};
    forEachEntry(session, request, operation, [&](const LdapEntry& entry) {
        const auto* names = entry.find("cn");
        if (names != nullptr && !names->empty()) {
            visit({names->front(), relativeIdOf(entry),
                   std::make_unique<LdapAccount>(session, entry.dn, logonHoursOf(entry))});
        }
    });
}

}  // namespace qm

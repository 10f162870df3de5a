// The sessions of one program run, and where each domain's server is.
#include "platform/ldap/ldap_session.h"

#include "platform/core/text.h"
#include "platform/ldap/domain_locator.h"
#include "platform/ldap/ldap_error.h"

namespace qm {

std::string serverUri(const std::string& server) {
    const auto colon = server.rfind(':');
    const std::string port = colon == std::string::npos ? "" : server.substr(colon + 1);
    // As in ADSI, the TLS ports mean ldaps.
    return (port == "636" || port == "3269" ? "ldaps://" : "ldap://") + server;
}

LdapSession& SessionPool::session(const std::string& uris, const std::string& target) {
    auto& slot = sessions_[uris];
    if (!slot) {
        slot = std::make_unique<LdapSession>(uris, target, credentials_);
    }
    return *slot;
}

// Read without signing in: a computer whose LDAP server is no Active Directory domain controller
// (no rootDomainNamingContext) is in no domain, and nobody is asked for a password to learn that.
const SessionPool::OwnDomain& SessionPool::ownDomain() {
    if (!ownDomain_) {
        ownDomain_ = OwnDomain{configuredServerUris(), {}, false};
        if (!ownDomain_->uris.empty()) {
            const auto rootDse = LdapSession::anonymousRootDse(
                ownDomain_->uris, {"rootDomainNamingContext", "defaultNamingContext"});
            ownDomain_->answered = rootDse.has_value();
            const auto* forest = rootDse ? rootDse->find("rootDomainNamingContext") : nullptr;
            const auto* own = rootDse ? rootDse->find("defaultNamingContext") : nullptr;
            if (forest != nullptr && !forest->empty() && own != nullptr && !own->empty()) {
                ownDomain_->dnsDomain = dnsDomainOf(own->front());
            }
        }
    }
    return *ownDomain_;
}

LdapSession& SessionPool::defaultSession(const Operation& operation) {
    const OwnDomain& own = ownDomain();
    if (own.dnsDomain.empty()) {
        const std::string why =
            own.uris.empty() ? "the LDAP client configuration names no URI and DNS has no "
                               "_ldap._tcp record of the Kerberos default realm"
            : own.answered   ? own.uris +
                                 " is no Active Directory domain controller (its RootDSE "
                                 "has no rootDomainNamingContext)"
                           : own.uris + " did not answer";
        throw RunTimeError(hresult::NoSuchDomain,
                           operation.what + ": no domain was found for this computer (" + why + ")",
                           operation.source);
    }
    return session(own.uris, own.dnsDomain);
}

LdapSession& SessionPool::forPath(const LdapPath& path, const Operation& operation) {
    const std::string domain = path.rootDse ? std::string() : dnsDomainOf(path.dn);
    if (!path.server.empty()) {
        return session(serverUri(path.server), domain.empty() ? path.server : domain);
    }
    if (domain.empty()) {
        return defaultSession(operation);
    }
    return session(urisOfDomain(domain), domain);
}

void SessionPool::askDomainAt(const std::string& dn, const std::string& server) {
    const std::string domain = dnsDomainOf(dn);
    if (!domain.empty()) {
        domainUris_[lowerAscii(domain)] = serverUri(server);
    }
}

std::string SessionPool::urisOfDomain(const std::string& dnsDomain) {
    const std::string key = lowerAscii(dnsDomain);
    if (const auto known = domainUris_.find(key); known != domainUris_.end()) {
        return known->second;
    }
    const OwnDomain& own = ownDomain();
    if (!own.dnsDomain.empty() && equalsIgnoringCase(own.dnsDomain, dnsDomain)) {
        return domainUris_[key] = own.uris;
    }
    std::string uris = srvServerUris(dnsDomain);
    if (uris.empty()) {
        // No SRV records: the domain name itself, under the name its server gives itself, which
        // is the name its certificate and Kerberos service carry.
        const auto rootDse = LdapSession::anonymousRootDse("ldap://" + dnsDomain, {"dnsHostName"});
        const auto* name = rootDse ? rootDse->find("dnsHostName") : nullptr;
        uris = "ldap://" + (name != nullptr && !name->empty() ? name->front() : dnsDomain);
    }
    // While the computer's own server is silent, its domain may be this one: ask again later.
    if (own.uris.empty() || own.answered) {
        domainUris_[key] = uris;
    }
    return uris;
}

}  // namespace qm

#include "platform/ldap/ldap_session.h"

#include <algorithm>
#include <array>

#include "platform/core/text.h"
#include "platform/ldap/domain_locator.h"
#include "platform/ldap/ldap_error.h"

namespace qm {

namespace {

LdapEntry readEntry(LDAP* ld, LDAPMessage* message) {
    LdapEntry entry;
    BerElement* ber = nullptr;
    berval dn{};
    if (ldap_get_dn_ber(ld, message, &ber, &dn) != LDAP_SUCCESS) {
        return entry;
    }
    entry.dn.assign(dn.bv_val, dn.bv_len);
    berval name{};
    berval* values = nullptr;
    while (ldap_get_attribute_ber(ld, message, ber, &name, &values) == LDAP_SUCCESS &&
           name.bv_val != nullptr) {
        std::vector<std::string> texts;
        for (berval* value = values; value != nullptr && value->bv_val != nullptr; ++value) {
            texts.emplace_back(value->bv_val, value->bv_len);
        }
        ber_memfree(values);
        values = nullptr;
        entry.attributes.emplace_back(std::string(name.bv_val, name.bv_len), std::move(texts));
    }
    ber_free(ber, 0);
    return entry;
}

std::vector<LdapEntry> readEntries(LDAP* ld, LDAPMessage* chain) {
    std::vector<LdapEntry> entries;
    for (LDAPMessage* message = ldap_first_entry(ld, chain); message != nullptr;
         message = ldap_next_entry(ld, message)) {
        entries.push_back(readEntry(ld, message));
    }
    return entries;
}

// The C strings libldap wants for an attribute list (null-terminated; null for "all").
class AttributeList {
public:
    explicit AttributeList(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            pointers_.push_back(const_cast<char*>(name.c_str()));
        }
        pointers_.push_back(nullptr);
    }
    char** get() { return pointers_.size() > 1 ? pointers_.data() : nullptr; }

private:
    std::vector<char*> pointers_;
};

struct MessageFree {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;

}  // namespace

const std::vector<std::string>* LdapEntry::find(const std::string& name) const {
    for (const auto& [attribute, values] : attributes) {
        if (equalsIgnoringCase(attribute, name)) {
            return &values;
        }
    }
    return nullptr;
}

// --- LdapSession ------------------------------------------------------------------------------

LdapSession::LdapSession(std::string uris, std::string target, Credentials& credentials)
    : uris_(std::move(uris)), target_(std::move(target)), credentials_(credentials) {}

LdapSession::~LdapSession() {
    drop();
}

void LdapSession::drop() {
    if (ld_ != nullptr) {
        ldap_unbind_ext(ld_, nullptr, nullptr);
        ld_ = nullptr;
    }
}

std::string LdapSession::diagnosticMessage() const {
    if (ld_ == nullptr) {
        return {};
    }
    char* message = nullptr;
    ldap_get_option(ld_, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message);
    std::string text = message != nullptr ? message : "";
    ldap_memfree(message);
    return text;
}

void LdapSession::fail(int resultCode, const Operation& operation, const std::string& diagnostic) {
    if (isConnectionLost(resultCode)) {
        drop();
        if (suspect_) {
            dead_ = Failure{resultCode, diagnostic};
        }
        suspect_ = suspect_ || resultCode == LDAP_TIMEOUT;
    }
    throw ldapError(resultCode, operation.what, uris_, diagnostic, operation.source);
}

LDAPMessage* LdapSession::await(int messageId, const Operation& operation) {
    const std::string silence =
        "no answer within " + std::to_string(kOperationTimeoutSeconds) + " seconds";
    timeval timeout{kOperationTimeoutSeconds, 0};
    LDAPMessage* result = nullptr;
    const int rc = ldap_result(ld_, messageId, LDAP_MSG_ALL, &timeout, &result);
    if (rc == 0) {
        ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
        fail(LDAP_TIMEOUT, operation, silence);
    }
    if (rc < 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
        fail(code, operation, code == LDAP_TIMEOUT ? silence : diagnosticMessage());
    }
    return result;
}

int LdapSession::parseResult(LDAPMessage* result, std::string& diagnostic,
                             LDAPControl*** controls) {
    int code = LDAP_SUCCESS;
    char* message = nullptr;
    const int rc = ldap_parse_result(ld_, result, &code, nullptr, &message, nullptr, controls, 0);
    if (message != nullptr) {
        diagnostic = message;
        ldap_memfree(message);
    }
    return rc != LDAP_SUCCESS ? rc : code;
}

LDAPMessage* LdapSession::awaitSuccess(int sent, int messageId, const Operation& operation,
                                       LDAPControl*** controls) {
    if (sent != LDAP_SUCCESS) {
        fail(sent, operation, diagnosticMessage());
    }
    MessagePtr result(await(messageId, operation));
    std::string diagnostic;
    if (const int code = parseResult(result.get(), diagnostic, controls); code != LDAP_SUCCESS) {
        if (controls != nullptr) {
            ldap_controls_free(*controls);
            *controls = nullptr;
        }
        fail(code, operation, diagnostic);
    }
    return result.release();
}

std::vector<LdapEntry> LdapSession::search(const SearchRequest& request,
                                           const Operation& operation) {
    LDAP* ld = handle(operation);
    AttributeList attributes(request.attributes);
    int messageId = 0;
    const int rc =
        ldap_search_ext(ld, cString(request.base), request.scope, cString(request.filter),
                        attributes.get(), 0, nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &messageId);
    MessagePtr result(awaitSuccess(rc, messageId, operation));
    return readEntries(ld, result.get());
}

SearchPage LdapSession::searchPage(const SearchRequest& request, const std::string& cookie,
                                   const Operation& operation) {
    LDAP* ld = handle(operation);
    berval cookieValue{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.data())};
    LDAPControl* pagedControl = nullptr;
    int rc = ldap_create_page_control(ld, kPageSize, cookie.empty() ? nullptr : &cookieValue, 0,
                                      &pagedControl);
    if (rc != LDAP_SUCCESS) {
        fail(rc, operation, diagnosticMessage());
    }
    std::array<LDAPControl*, 2> controls = {pagedControl, nullptr};
    AttributeList attributes(request.attributes);
    int messageId = 0;
    rc = ldap_search_ext(ld, cString(request.base), request.scope, cString(request.filter),
                         attributes.get(), 0, controls.data(), nullptr, nullptr, LDAP_NO_LIMIT,
                         &messageId);
    ldap_control_free(pagedControl);
    LDAPControl** responseControls = nullptr;
    MessagePtr result(awaitSuccess(rc, messageId, operation, &responseControls));
    SearchPage page;
    if (LDAPControl* response =
            ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, responseControls, nullptr)) {
        ber_int_t estimate = 0;
        berval next{};
        if (ldap_parse_pageresponse_control(ld, response, &estimate, &next) == LDAP_SUCCESS) {
            page.cookie.assign(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
            ber_memfree(next.bv_val);
        }
    }
    ldap_controls_free(responseControls);
    page.entries = readEntries(ld, result.get());
    return page;
}

void LdapSession::abandonPaging(const SearchRequest& request, const std::string& cookie) {
    if (ld_ == nullptr || cookie.empty()) {
        return;
    }
    berval cookieValue{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.data())};
    LDAPControl* pagedControl = nullptr;
    if (ldap_create_page_control(ld_, 0, &cookieValue, 0, &pagedControl) != LDAP_SUCCESS) {
        return;
    }
    std::array<LDAPControl*, 2> controls = {pagedControl, nullptr};
    std::array<char*, 2> noAttributes = {const_cast<char*>(LDAP_NO_ATTRS), nullptr};
    timeval timeout{kOperationTimeoutSeconds, 0};
    LDAPMessage* result = nullptr;
    ldap_search_ext_s(ld_, request.base.c_str(), request.scope, request.filter.c_str(),
                      noAttributes.data(), 0, controls.data(), nullptr, &timeout, LDAP_NO_LIMIT,
                      &result);
    ldap_msgfree(result);
    ldap_control_free(pagedControl);
}

void LdapSession::replace(const std::string& dn,
                          const std::vector<std::pair<std::string, std::string>>& values,
                          const Operation& operation) {
    LDAP* ld = handle(operation);
    std::vector<berval> bervals(values.size());
    std::vector<std::array<berval*, 2>> valueLists(values.size());
    std::vector<LDAPMod> modifications(values.size());
    std::vector<LDAPMod*> modificationList;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& [name, value] = values[i];
        bervals[i] = {static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
        valueLists[i] = {&bervals[i], nullptr};
        modifications[i].mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
        modifications[i].mod_type = const_cast<char*>(cString(name));
        modifications[i].mod_bvalues = valueLists[i].data();
        modificationList.push_back(&modifications[i]);
    }
    modificationList.push_back(nullptr);
    int messageId = 0;
    const int rc =
        ldap_modify_ext(ld, cString(dn), modificationList.data(), nullptr, nullptr, &messageId);
    ldap_msgfree(awaitSuccess(rc, messageId, operation));
}

std::optional<LdapEntry> LdapSession::anonymousRootDse(const std::string& uris,
                                                       std::vector<std::string> attributes) {
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uris.c_str()) != LDAP_SUCCESS) {
        return std::nullopt;
    }
    setSessionOptions(ld);
    std::optional<LdapEntry> rootDse;
    if (ldap_connect(ld) == LDAP_SUCCESS) {
        AttributeList names(attributes);
        timeval timeout{kOperationTimeoutSeconds, 0};
        LDAPMessage* result = nullptr;
        if (ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", names.get(), 0, nullptr,
                              nullptr, &timeout, LDAP_NO_LIMIT, &result) == LDAP_SUCCESS) {
            auto entries = readEntries(ld, result);
            if (!entries.empty()) {
                rootDse = std::move(entries.front());
            }
        }
        ldap_msgfree(result);
    }
    ldap_unbind_ext(ld, nullptr, nullptr);
    return rootDse;
}

// --- SessionPool ------------------------------------------------------------------------------

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

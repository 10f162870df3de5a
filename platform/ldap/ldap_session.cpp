#include "platform/ldap/ldap_session.h"

#include <algorithm>
#include <array>

#include "platform/core/text.h"
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

// The paged-results control asking for `size` entries after the cookie's page; the result code.
int createPageControl(LDAP* ld, int size, const std::string& cookie, LDAPControl*& control) {
    berval value{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.data())};
    return ldap_create_page_control(ld, size, cookie.empty() ? nullptr : &value, 0, &control);
}

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
        ++connection_;
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

// Sends the search on the connection handle() made; the result code.
int LdapSession::sendSearch(const SearchRequest& request, LDAPControl** controls, int& messageId) {
    AttributeList attributes(request.attributes);
    return ldap_search_ext(ld_, cString(request.base), request.scope, cString(request.filter),
                           attributes.get(), 0, controls, nullptr, nullptr, LDAP_NO_LIMIT,
                           &messageId);
}

std::vector<LdapEntry> LdapSession::search(const SearchRequest& request,
                                           const Operation& operation) {
    handle(operation);
    int messageId = 0;
    const int rc = sendSearch(request, nullptr, messageId);
    MessagePtr result(awaitSuccess(rc, messageId, operation));
    return readEntries(ld_, result.get());
}

int LdapSession::sendPage(const SearchRequest& request, const std::string& cookie,
                          const Operation& operation) {
    LDAPControl* pagedControl = nullptr;
    int rc = createPageControl(handle(operation), kPageSize, cookie, pagedControl);
    int messageId = 0;
    if (rc == LDAP_SUCCESS) {
        std::array<LDAPControl*, 2> controls = {pagedControl, nullptr};
        rc = sendSearch(request, controls.data(), messageId);
        ldap_control_free(pagedControl);
    }
    if (rc != LDAP_SUCCESS) {
        fail(rc, operation, diagnosticMessage());
    }
    return messageId;
}

LdapSession::PageRequest LdapSession::requestPage(const SearchRequest& request, std::string cookie,
                                                  const Operation& operation) {
    PageRequest page;
    page.cookie = std::move(cookie);
    try {
        page.messageId = sendPage(request, page.cookie, operation);
        page.connection = connection_;
    } catch (const RunTimeError& failure) {
        page.failure = failure;
    }
    return page;
}

SearchPage LdapSession::readPage(const SearchRequest& request, const PageRequest& page,
                                 const Operation& operation) {
    if (page.failure) {
        throw *page.failure;
    }
    int messageId = page.messageId;
    if (ld_ == nullptr || page.connection != connection_) {
        messageId = sendPage(request, page.cookie, operation);
    }
    LDAPControl** responseControls = nullptr;
    MessagePtr result(awaitSuccess(LDAP_SUCCESS, messageId, operation, &responseControls));
    SearchPage next;
    if (LDAPControl* response =
            ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, responseControls, nullptr)) {
        ber_int_t estimate = 0;
        berval cookie{};
        if (ldap_parse_pageresponse_control(ld_, response, &estimate, &cookie) == LDAP_SUCCESS) {
            next.cookie.assign(cookie.bv_val != nullptr ? cookie.bv_val : "", cookie.bv_len);
            ber_memfree(cookie.bv_val);
        }
    }
    ldap_controls_free(responseControls);
    next.entries = readEntries(ld_, result.get());
    return next;
}

void LdapSession::abandonPaging(const SearchRequest& request, const PageRequest& page) {
    if (ld_ == nullptr || page.failure || page.connection != connection_) {
        return;
    }
    ldap_abandon_ext(ld_, page.messageId, nullptr, nullptr);
    LDAPControl* pagedControl = nullptr;
    // The first page's search holds nothing on the server yet.
    if (page.cookie.empty() ||
        createPageControl(ld_, 0, page.cookie, pagedControl) != LDAP_SUCCESS) {
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

LdapSession::SentChange LdapSession::sendReplace(const std::string& dn,
                                                 const std::string& attribute,
                                                 const std::optional<std::string>& value,
                                                 const Operation& operation) {
    SentChange change;
    try {
        LDAP* ld = handle(operation);
        berval binary{};
        std::array<berval*, 2> values = {nullptr, nullptr};
        if (value) {
            binary = {static_cast<ber_len_t>(value->size()), const_cast<char*>(value->data())};
            values[0] = &binary;
        }
        LDAPMod modification{};
        // A replace without values removes the attribute, and is no error where there is none.
        modification.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
        modification.mod_type = const_cast<char*>(cString(attribute));
        modification.mod_bvalues = values.data();
        std::array<LDAPMod*, 2> modifications = {&modification, nullptr};
        const int rc = ldap_modify_ext(ld, cString(dn), modifications.data(), nullptr, nullptr,
                                       &change.messageId);
        if (rc != LDAP_SUCCESS) {
            fail(rc, operation, diagnosticMessage());
        }
        change.connection = connection_;
    } catch (const RunTimeError& failure) {
        change.failure = failure;
    }
    return change;
}

void LdapSession::awaitChange(const SentChange& change, const Operation& operation) {
    if (change.failure) {
        throw *change.failure;
    }
    if (ld_ == nullptr || change.connection != connection_) {
        throw ldapError(LDAP_SERVER_DOWN, operation.what, uris_,
                        "the connection was lost before the server answered", operation.source);
    }
    ldap_msgfree(awaitSuccess(LDAP_SUCCESS, change.messageId, operation));
}

void LdapSession::replace(const std::string& dn, const std::string& attribute,
                          const std::optional<std::string>& value, const Operation& operation) {
    awaitChange(sendReplace(dn, attribute, value, operation), operation);
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

}  // namespace qm

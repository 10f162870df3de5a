#include "platform/ldap/ldap_path.h"

#include <ldap.h>

#include <vector>

#include "platform/core/text.h"

namespace qm {

namespace {

std::string withoutSlashEscapes(const std::string& dn) {
    std::string plain;
    plain.reserve(dn.size());
    for (std::size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\' && i + 1 < dn.size()) {
            if (dn[i + 1] != '/') {
                plain += '\\';
            }
            plain += dn[++i];
        } else {
            plain += dn[i];
        }
    }
    return plain;
}

// libldap's own parser reads the whole text, NUL included, so what it accepts is what it sends.
bool isCompleteDn(const std::string& dn) {
    if (dn.empty() || dn.find('\0') != std::string::npos) {
        return false;
    }
    berval text{static_cast<ber_len_t>(dn.size()), const_cast<char*>(dn.data())};
    LDAPDN parsed = nullptr;
    if (ldap_bv2dn(&text, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || parsed == nullptr) {
        return false;
    }
    bool complete = true;
    for (LDAPRDN* rdn = parsed; *rdn != nullptr; ++rdn) {
        for (LDAPAVA** ava = *rdn; *ava != nullptr; ++ava) {
            complete = complete && (*ava)->la_attr.bv_len > 0 && (*ava)->la_value.bv_len > 0;
        }
    }
    ldap_dnfree(parsed);
    return complete;
}

// The components of a DN split at unescaped commas, as written.
std::vector<std::string> components(const std::string& dn) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\' && i + 1 < dn.size()) {
            parts.back() += dn[i];
            parts.back() += dn[++i];
        } else if (dn[i] == ',') {
            parts.emplace_back();
        } else {
            parts.back() += dn[i];
        }
    }
    return parts;
}

}  // namespace

std::optional<std::string> plainDn(const std::string& dn) {
    std::string plain = withoutSlashEscapes(dn);
    if (!isCompleteDn(plain)) {
        return std::nullopt;
    }
    return plain;
}

std::string relativeName(const std::string& dn) {
    return components(dn).front();
}

std::string dnsDomainOf(const std::string& dn) {
    const std::vector<std::string> parts = components(dn);
    std::vector<std::string> labels;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        const std::string component = trimSpaces(*part);
        if (component.size() < 3 || !equalsIgnoringCase(component.substr(0, 3), "DC=")) {
            break;
        }
        labels.insert(labels.begin(), trimSpaces(component.substr(3)));
    }
    std::string domain;
    for (const std::string& label : labels) {
        domain += (domain.empty() ? "" : ".") + label;
    }
    return domain;
}

}  // namespace qm

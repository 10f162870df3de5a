#include "platform/ldap/ldap_path.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace qm {

namespace {

constexpr std::string_view kScheme = "LDAP://";

// ADSI paths escape "/" as "\/"; LDAP itself needs no escape for it.
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

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::optional<LdapPath> parseLdapPath(const std::string& path) {
    if (path.compare(0, kScheme.size(), kScheme) != 0) {
        return std::nullopt;
    }
    std::string rest = path.substr(kScheme.size());
    LdapPath parsed;
    const auto slash = rest.find('/');
    if (slash != std::string::npos && rest.substr(0, slash).find('=') == std::string::npos) {
        parsed.server = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
        if (parsed.server.empty()) {
            return std::nullopt;
        }
    }
    if (equalsIgnoringCase(rest, "RootDSE")) {
        parsed.rootDse = true;
        return parsed;
    }
    if (rest.find('=') == std::string::npos) {
        return std::nullopt;
    }
    parsed.dn = withoutSlashEscapes(rest);
    return parsed;
}

std::string formatLdapPath(const std::string& server, const std::string& dn) {
    std::string path(kScheme);
    if (!server.empty()) {
        path += server + "/";
    }
    return path + dn;
}

std::string relativeName(const std::string& dn) {
    return components(dn).front();
}

std::string dnsDomainOf(const std::string& dn) {
    const std::vector<std::string> parts = components(dn);
    std::vector<std::string> labels;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        const std::string component = trimmed(*part);
        if (component.size() < 3 || !equalsIgnoringCase(component.substr(0, 3), "DC=")) {
            break;
        }
        labels.insert(labels.begin(), trimmed(component.substr(3)));
    }
    std::string domain;
    for (const std::string& label : labels) {
        domain += (domain.empty() ? "" : ".") + label;
    }
    return domain;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace qm

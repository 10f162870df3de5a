#include "platform/ldap/ldap_object.h"

#include <algorithm>

#include "platform/ldap/ldap_error.h"
#include "platform/ldap/ldap_path.h"

namespace qm {

namespace {

constexpr std::size_t kLogonHoursLength = 21;

bool containsIgnoringCase(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& candidate) {
        return equalsIgnoringCase(candidate, name);
    });
}

std::string classFilter(const std::vector<std::string>& classNames) {
    if (classNames.empty()) {
        return "(objectClass=*)";
    }
    std::string filter = "(|";
    for (const std::string& name : classNames) {
        filter += "(objectClass=" + name + ")";
    }
    return filter + ")";
}

// The bytes of a value as LDAP stores them.
std::string rawValue(const Variant& value, const std::string& what) {
    switch (value.type()) {
        case Variant::Type::Bytes:
            return {value.bytes().begin(), value.bytes().end()};
        case Variant::Type::Text:
            return value.toText();
        case Variant::Type::Long:
            return std::to_string(value.toLong());
        default:
            throw RunTimeError(hresult::CantConvertDatatype,
                               what + ": a value of type " + value.typeName() +
                                   " cannot be stored in the directory",
                               kLdapSource);
    }
}

}  // namespace

const std::vector<std::string>& LdapObject::boundAttributes() {
    static const std::vector<std::string> names = {"cn", "sAMAccountName", "distinguishedName",
                                                   "logonHours"};
    return names;
}

namespace {

// Children also bring their classes, which the filter is checked against.
const std::vector<std::string>& childAttributes() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all = LdapObject::boundAttributes();
        all.push_back("objectClass");
        return all;
    }();
    return names;
}

}  // namespace

LdapObject::LdapObject(std::shared_ptr<SessionPool> sessions, LdapSession& session,
                       std::string server, LdapEntry entry, bool rootDse)
    : sessions_(std::move(sessions)),
      session_(session),
      server_(std::move(server)),
      entry_(std::move(entry)),
      rootDse_(rootDse) {}

std::unique_ptr<DirectoryObject> LdapObject::bind(const std::shared_ptr<SessionPool>& sessions,
                                                  const std::string& path) {
    const auto parsed = parseLdapPath(path);
    if (!parsed) {
        throw RunTimeError(hresult::BadPathName,
                           "Cannot bind to " + path +
                               ": not an LDAP path (\"LDAP://RootDSE\" or \"LDAP://\" followed "
                               "by a distinguished name)",
                           kLdapSource);
    }
    const Operation operation{"Cannot bind to " + (parsed->rootDse ? "the RootDSE" : parsed->dn),
                              kLdapSource};
    LdapSession& session = sessions->forPath(*parsed, operation);
    SearchRequest request;
    request.base = parsed->rootDse ? "" : parsed->dn;
    if (!parsed->rootDse) {
        request.attributes = boundAttributes();
    }
    std::vector<LdapEntry> entries = session.search(request, operation);
    if (entries.empty()) {
        throw RunTimeError(
            hresult::NoSuchObject,
            operation.what + " on " + session.server() + ": There is no such object on the server",
            kLdapSource);
    }
    return std::unique_ptr<DirectoryObject>(new LdapObject(
        sessions, session, parsed->server, std::move(entries.front()), parsed->rootDse));
}

std::string LdapObject::displayName() const {
    return rootDse_ ? "the RootDSE" : entry_.dn;
}

std::string LdapObject::ADsPath() const {
    return formatLdapPath(server_, rootDse_ ? "RootDSE" : entry_.dn);
}

std::string LdapObject::Name() const {
    return rootDse_ ? "RootDSE" : relativeName(entry_.dn);
}

Variant LdapObject::Get(const std::string& property) {
    if (const auto* values = entry_.find(property)) {
        return attributeValue(property, values);
    }
    if (rootDse_ || containsIgnoringCase(boundAttributes(), property)) {
        return Variant::null();
    }
    // Not read at the bind: read it now, and remember it (or its absence).
    SearchRequest request{entry_.dn, LDAP_SCOPE_BASE, "(objectClass=*)", {property}};
    const auto entries =
        session_.search(request, {"Cannot read " + property + " of " + entry_.dn, kLdapSource});
    const auto* values = entries.empty() ? nullptr : entries.front().find(property);
    entry_.attributes.emplace_back(property,
                                   values != nullptr ? *values : std::vector<std::string>());
    return attributeValue(property, values);
}

void LdapObject::setFilter(const std::vector<std::string>& classNames) {
    filter_ = classNames;
}

bool LdapObject::passesFilter(const std::vector<std::string>& classNames) const {
    if (classNames.empty()) {
        return true;
    }
    const auto* classes = entry_.find("objectClass");
    if (classes == nullptr || classes->empty()) {
        return false;
    }
    // The server lists an object's classes from the most general to the most specific.
    const std::string& structural = classes->back();
    if (containsIgnoringCase(classNames, structural)) {
        return true;
    }
    // A domain's head object is of class domainDNS, which refines domain.
    return equalsIgnoringCase(structural, "domainDNS") &&
           containsIgnoringCase(classNames, "domain");
}

std::vector<std::unique_ptr<DirectoryObject>> LdapObject::children() {
    std::vector<std::unique_ptr<DirectoryObject>> found;
    if (rootDse_) {
        return found;
    }
    const SearchRequest request{entry_.dn, LDAP_SCOPE_ONELEVEL, classFilter(filter_),
                                childAttributes()};
    const Operation operation{"Cannot list the contents of " + entry_.dn, kLdapSource};
    std::string cookie;
    do {
        SearchPage page = session_.searchPage(request, cookie, operation);
        for (LdapEntry& entry : page.entries) {
            std::unique_ptr<LdapObject> child(
                new LdapObject(sessions_, session_, server_, std::move(entry), false));
            if (child->passesFilter(filter_)) {
                found.push_back(std::move(child));
            }
        }
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    return found;
}

void LdapObject::Put(const std::string& property, const Variant& value) {
    const std::string what = "Cannot put " + property + " of " + displayName();
    if (equalsIgnoringCase(property, "logonHours") &&
        (value.type() != Variant::Type::Bytes || value.bytes().size() != kLogonHoursLength)) {
        const std::string given = value.type() == Variant::Type::Bytes
                                      ? std::to_string(value.bytes().size()) + " bytes"
                                      : "a value of type " + value.typeName();
        throw RunTimeError(hresult::InvalidArgument,
                           what + ": a logon-hours value is exactly 21 bytes, not " + given,
                           kLdapSource);
    }
    std::string raw = rawValue(value, what);
    for (auto& [name, staged] : staged_) {
        if (equalsIgnoringCase(name, property)) {
            staged = std::move(raw);
            return;
        }
    }
    staged_.emplace_back(property, std::move(raw));
}

void LdapObject::SetInfo() {
    if (staged_.empty()) {
        return;
    }
    std::string names;
    for (const auto& [name, value] : staged_) {
        names += (names.empty() ? "" : ", ") + name;
    }
    session_.replace(entry_.dn, staged_,
                     {"Cannot save " + names + " of " + displayName(), kLdapSource});
    // What was saved is now the object's value, as a later Get sees it.
    for (auto& [name, value] : staged_) {
        auto existing = std::find_if(
            entry_.attributes.begin(), entry_.attributes.end(),
            [&](const auto& attribute) { return equalsIgnoringCase(attribute.first, name); });
        if (existing != entry_.attributes.end()) {
            existing->second = {std::move(value)};
        } else {
            entry_.attributes.emplace_back(name, std::vector<std::string>{std::move(value)});
        }
    }
    staged_.clear();
}

}  // namespace qm

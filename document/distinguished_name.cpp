#include "document/distinguished_name.h"

#include <algorithm>
#include <cctype>

#include "platform/core/run_time_error.h"
#include "platform/core/text.h"

namespace qm {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// An escaped equals sign inside the user's own name must not be taken for the parent's "=".
constexpr const char* kEscapedEquals = "\\=";
constexpr const char* kPlaceholder = "\\/..";

}  // namespace

UserLocation DeriveUserLocation(const std::string& distinguishedName) {
    const std::string& dn = distinguishedName;
    const std::size_t domainStart = upperAscii(dn).find(",DC=");
    if (domainStart == std::string::npos) {
        throw err::invalidProcedureCall("the distinguished name " + dn +
                                        " has no domain components");
    }
    UserLocation location;
    location.domain = dn.substr(domainStart + 1);

    // Everything before the domain components, less the user's own "CN=".
    std::string container = dn.substr(0, domainStart);
    const std::size_t nameAt = upperAscii(dn).find("CN=");
    const std::size_t nameEnd = nameAt == std::string::npos ? 2 : nameAt + 3;
    container = nameEnd < container.size() ? container.substr(nameEnd) : std::string();
    replaceAll(container, kEscapedEquals, kPlaceholder);
    const std::size_t parentEquals = container.find('=');
    if (parentEquals == std::string::npos || parentEquals < 2) {
        // Nothing between the user's own name and the domain components.
        return location;
    }
    container = container.substr(parentEquals - 2);
    replaceAll(container, kPlaceholder, kEscapedEquals);
    location.container = container;
    return location;
}

}  // namespace qm

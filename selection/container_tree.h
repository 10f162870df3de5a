#pragma once

#include <string>
#include <vector>

namespace qm {

// The three kinds of tree node, told apart by their Tag alone (compared exactly).
inline constexpr const char* kLocalComputerTag = "Local Computer";
inline constexpr const char* kDomainTag = "Domain";
inline constexpr const char* kDomainContainerTag = "Domain Container";

// The classes that become container nodes below a domain or container, and those that become
// child domains.
inline const std::vector<std::string> kContainerClasses = {"container", "organizationalUnit",
                                                           "builtinDomain"};
inline const std::vector<std::string> kDomainClasses = {"domain"};

// The users a directory node counts: the persons directly in its object.
inline constexpr const char* kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// "<LDAP://base>;filter;distinguishedName;oneLevel", the one-level count query of a node.
std::string userCountQuery(const std::string& key);

}  // namespace qm

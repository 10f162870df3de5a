#pragma once

#include <string>

namespace qm {

struct UserLocation {
    std::string container;  // the parent without its domain components ("OU=Sales,OU=West")
    std::string domain;     // the domain components ("DC=corp,DC=test")
};

// Where a user lives, cut from its distinguished name with the letter case of the directory. A user
// placed directly in a domain object gets an empty container (the Set run then binds it by name and
// domain alone). A name without domain components is run-time error 5.
UserLocation DeriveUserLocation(const std::string& distinguishedName);

}  // namespace qm

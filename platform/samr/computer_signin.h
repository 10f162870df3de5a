#pragma once

#include <memory>
#include <string>

#include "platform/samr/samr_client.h"
#include "platform/signin/credentials.h"

namespace qm {

// Opens a computer's account domain as the person: with their Kerberos ticket where the computer
// takes it, else with a user name and password (asked naming the computer, up to three times).
// A refused or cancelled sign-in is raised as the RunTimeError Windows gives for it.
std::shared_ptr<samr::AccountDomain> signInToComputer(const std::string& host,
                                                      const std::string& computer,
                                                      Credentials& credentials);

}  // namespace qm

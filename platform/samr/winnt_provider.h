#pragma once

#include <memory>
#include <string>

#include "platform/directory.h"
#include "platform/signin/credentials.h"

namespace qm {

// The WinNT side: computers and their local user accounts, reached through SAMR (the account
// database protocol Windows computers and Samba servers answer on TCP port 445). The local computer
// is reached even where it runs no SMB server: it then has no accounts. A name that a computer
// name cannot hold is refused before anyone is contacted. Every failure is a RunTimeError from the
// source "WinNT provider".
std::unique_ptr<Computer> reachComputer(const std::string& name, Credentials& credentials);

// This machine's name as a Windows computer name: the host name up to its first dot, upper case,
// at most 15 characters.
std::string localComputerName();

}  // namespace qm

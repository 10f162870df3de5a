#pragma once

#include <memory>
#include <string>

#include "platform/signin/credentials.h"
#include "platform/directory.h"

namespace qm {

// The WinNT provider: a computer's local user accounts, reached through SAMR (the account database
// protocol Windows computers and Samba servers answer on TCP port 445).
//
// "WinNT://PC01,computer" (or "WinNT://PC01") binds the computer; filtered on "user", its children
// are its local users. "WinNT://PC01/kiosk,user" binds one account, whose "LoginHours" is read and
// whose "loginHours" is written. The local computer binds even where it runs no SMB server: it then
// has no accounts. Every failure is a RunTimeError from the source "WinNT provider".
std::unique_ptr<DirectoryObject> bindWinNt(const std::string& path, Credentials& credentials);

// This machine's name as a Windows computer name: the host name up to its first dot, upper case,
// at most 15 characters.
std::string localComputerName();

}  // namespace qm

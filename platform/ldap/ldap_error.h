#pragma once

#include <cstdint>
#include <string>

#include "platform/core/run_time_error.h"

namespace qm {

// Errors of the LDAP provider and of the directory query carry the numbers Windows reports for the
// same condition: an LDAP result code becomes the HRESULT of the Win32 error Windows maps it to.
//
//   no such object                 0x80072030      server down, unreachable  0x8007203A
//   wrong user name or password    0x8007052E      insufficient rights       0x80070005
//   constraint violation           0x8007202F      invalid attribute syntax  0x8007200B
//   no domain found for a bind     0x8007054B      not a complete DN         0x80005000
//   a value other than 21 bytes    0x80070057      sign-in cancelled         0x800704C7
//   a user bind of a non-user      0x80004002
//   any other LDAP failure         0x80004005 (unspecified error), with the library's message

inline constexpr const char* kLdapSource = "LDAP provider";
inline constexpr const char* kQuerySource = "Directory query";

namespace hresult {
inline constexpr std::int32_t NoSuchObject = static_cast<std::int32_t>(0x80072030);
inline constexpr std::int32_t ServerDown = static_cast<std::int32_t>(0x8007203A);
inline constexpr std::int32_t LogonFailure = static_cast<std::int32_t>(0x8007052E);
inline constexpr std::int32_t AccessDenied = static_cast<std::int32_t>(0x80070005);
inline constexpr std::int32_t ConstraintViolation = static_cast<std::int32_t>(0x8007202F);
inline constexpr std::int32_t NoSuchDomain = static_cast<std::int32_t>(0x8007054B);
inline constexpr std::int32_t BadPathName = static_cast<std::int32_t>(0x80005000);
inline constexpr std::int32_t InvalidArgument = static_cast<std::int32_t>(0x80070057);
inline constexpr std::int32_t Cancelled = static_cast<std::int32_t>(0x800704C7);
inline constexpr std::int32_t Timeout = static_cast<std::int32_t>(0x800705B4);
inline constexpr std::int32_t Unspecified = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t NoInterface = static_cast<std::int32_t>(0x80004002);
}  // namespace hresult

// The query's own errors carry the numbers of the query components Windows programs use.
namespace adoerror {
inline constexpr std::int32_t ObjectClosed = static_cast<std::int32_t>(0x800A0E78);      // 3704
inline constexpr std::int32_t ConnectionClosed = static_cast<std::int32_t>(0x800A0E7D);  // 3709
}  // namespace adoerror

// The HRESULT Windows reports for an LDAP result code (libldap's negative client codes included).
std::int32_t hresultFromLdap(int resultCode);

// Windows' own text for that HRESULT where the table knows one, else libldap's.
std::string ldapResultText(int resultCode);

// Whether the code means the connection to the server is gone (so the session must reconnect).
bool isConnectionLost(int resultCode);

// "<what> on <server>: <text> (<server's diagnostic>)": what failed, where, and why, in the words
// an administrator can act on.
RunTimeError ldapError(int resultCode, const std::string& what, const std::string& server,
                       const std::string& diagnostic, const char* source);

}  // namespace qm

#pragma once

#include <cstdint>
#include <string>

#include "platform/core/run_time_error.h"

namespace qm {

// Errors of the WinNT provider carry the numbers Windows reports for the same condition: an HRESULT
// made from the Win32 error, or one of the directory service interfaces' own codes.
//
//   computer name unknown, or no connection on port 445   0x80070035  network path not found
//   sign-in cancelled (no user name given)                 0x800704C7  ERROR_CANCELLED
//   a value other than 21 bytes put                        0x80070057  E_INVALIDARG
//   logon hours stored in other units than 168 a week      0x8007000D  ERROR_INVALID_DATA
//   a computer name no computer can have                   E_ADS_BAD_PATHNAME
//   every other failure a computer reports (NTSTATUS)      HRESULT_FROM_WIN32 of Samba's mapping
//                                                          to a Win32 error: access denied
//                                                          0x80070005, wrong password 0x8007052E

inline constexpr const char* kWinNtSource = "WinNT provider";

// The directory service interfaces' own codes (E_ADS_…), as signed 32-bit numbers.
inline constexpr std::int32_t kBadPathName = static_cast<std::int32_t>(0x80005000);

namespace win32 {
inline constexpr std::uint32_t AccessDenied = 5;
inline constexpr std::uint32_t InvalidData = 13;
inline constexpr std::uint32_t BadNetPath = 53;  // "The network path was not found."
inline constexpr std::uint32_t InvalidParameter = 87;
inline constexpr std::uint32_t Cancelled = 1223;
}  // namespace win32

// Whether the computer refused the account or password itself (so another one may be typed), as
// opposed to failing to connect or to carry out a call.
bool refusesSignIn(std::uint32_t status);

// HRESULT_FROM_WIN32: 0x8007xxxx, negative as a signed number; 0 stays 0.
std::int32_t hresultFromWin32(std::uint32_t code);

// The HRESULT Windows reports for an NTSTATUS: the Win32 error Samba maps it to, made an HRESULT.
std::int32_t hresultFromNtStatus(std::uint32_t status);

// Samba's text for an NTSTATUS, with its name for searching: "Access denied
// (NT_STATUS_ACCESS_DENIED)".
std::string ntStatusMessage(std::uint32_t status);

RunTimeError winNtError(std::int32_t number, std::string description);

// A failed SAMR call: what was being done ("Cannot read the accounts of computer PC01") followed by
// Samba's message, numbered as Windows numbers the NTSTATUS.
RunTimeError samrError(std::uint32_t status, const std::string& what);

}  // namespace qm

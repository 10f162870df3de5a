#include "platform/samr/winnt_errors.h"

#include "platform/samr/samba_headers.h"

namespace qm {

std::int32_t hresultFromWin32(std::uint32_t code) {
    if (code == 0) {
        return 0;
    }
    return static_cast<std::int32_t>(0x80070000u | (code & 0xFFFFu));
}

std::int32_t hresultFromNtStatus(std::uint32_t status) {
    return hresultFromWin32(W_ERROR_V(ntstatus_to_werror(NT_STATUS(status))));
}

std::string ntStatusMessage(std::uint32_t status) {
    const NTSTATUS nt = NT_STATUS(status);
    return std::string(get_friendly_nt_error_msg(nt)) + " (" + nt_errstr(nt) + ")";
}

bool refusesSignIn(std::uint32_t status) {
    for (const NTSTATUS refusal :
         {NT_STATUS_LOGON_FAILURE, NT_STATUS_WRONG_PASSWORD, NT_STATUS_NO_SUCH_USER,
          NT_STATUS_ACCOUNT_RESTRICTION, NT_STATUS_INVALID_LOGON_HOURS,
          NT_STATUS_INVALID_WORKSTATION, NT_STATUS_PASSWORD_EXPIRED, NT_STATUS_ACCOUNT_DISABLED,
          NT_STATUS_ACCOUNT_EXPIRED, NT_STATUS_ACCOUNT_LOCKED_OUT,
          NT_STATUS_PASSWORD_MUST_CHANGE}) {
        if (NT_STATUS_V(refusal) == status) {
            return true;
        }
    }
    return false;
}

RunTimeError winNtError(std::int32_t number, std::string description) {
    return RunTimeError(number, std::move(description), kWinNtSource);
}

RunTimeError samrError(std::uint32_t status, const std::string& what) {
    return winNtError(hresultFromNtStatus(status), what + ": " + ntStatusMessage(status));
}

}  // namespace qm

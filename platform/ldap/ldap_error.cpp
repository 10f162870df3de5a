#include "platform/ldap/ldap_error.h"

#include <ldap.h>

#include <array>

namespace qm {

namespace {

struct Mapping {
    int resultCode;
    std::uint32_t hresult;
    const char* text;
};

// LDAP result codes as Windows maps them (LdapMapErrorToWin32), with Windows' message texts.
constexpr std::array kMappings = {
    Mapping{LDAP_OPERATIONS_ERROR, 0x80072020, "An operations error occurred"},
    Mapping{LDAP_PROTOCOL_ERROR, 0x80072021, "A protocol error occurred"},
    Mapping{LDAP_TIMELIMIT_EXCEEDED, 0x80072022, "The time limit for this request was exceeded"},
    Mapping{LDAP_SIZELIMIT_EXCEEDED, 0x80072023, "The size limit for this request was exceeded"},
    Mapping{LDAP_ADMINLIMIT_EXCEEDED, 0x80072024,
            "The administrative limit for this request was exceeded"},
    Mapping{LDAP_AUTH_METHOD_NOT_SUPPORTED, 0x80072027,
            "The authentication method is not supported"},
    Mapping{LDAP_STRONG_AUTH_REQUIRED, 0x80072028,
            "A more secure authentication method is required for this server"},
    Mapping{LDAP_REFERRAL, 0x8007202B, "A referral was returned from the server"},
    Mapping{LDAP_UNAVAILABLE_CRITICAL_EXTENSION, 0x8007202C,
            "The server does not support the requested critical extension"},
    Mapping{LDAP_CONFIDENTIALITY_REQUIRED, 0x8007202D, "This request requires a secure connection"},
    Mapping{LDAP_NO_SUCH_ATTRIBUTE, 0x8007200A,
            "The specified directory service attribute or value does not exist"},
    Mapping{LDAP_UNDEFINED_TYPE, 0x8007200C,
            "The attribute type specified to the directory service is not defined"},
    Mapping{LDAP_INAPPROPRIATE_MATCHING, 0x8007202E, "An inappropriate matching occurred"},
    Mapping{LDAP_CONSTRAINT_VIOLATION, 0x8007202F, "A constraint violation occurred"},
    Mapping{LDAP_TYPE_OR_VALUE_EXISTS, 0x8007200D,
            "The specified directory service attribute or value already exists"},
    Mapping{LDAP_INVALID_SYNTAX, 0x8007200B,
            "The attribute syntax specified to the directory service is invalid"},
    Mapping{LDAP_NO_SUCH_OBJECT, 0x80072030, "There is no such object on the server"},
    Mapping{LDAP_INVALID_DN_SYNTAX, 0x80072032, "An invalid dn syntax has been specified"},
    Mapping{LDAP_INAPPROPRIATE_AUTH, 0x80072029, "Inappropriate authentication"},
    Mapping{LDAP_INVALID_CREDENTIALS, 0x8007052E, "The user name or password is incorrect"},
    Mapping{LDAP_INSUFFICIENT_ACCESS, 0x80070005, "Access is denied"},
    Mapping{LDAP_BUSY, 0x8007200E, "The directory service is busy"},
    Mapping{LDAP_UNAVAILABLE, 0x8007200F, "The directory service is unavailable"},
    Mapping{LDAP_UNWILLING_TO_PERFORM, 0x80072035,
            "The server is unwilling to process the request"},
    Mapping{LDAP_NAMING_VIOLATION, 0x80072037, "A naming violation occurred"},
    Mapping{LDAP_OBJECT_CLASS_VIOLATION, 0x80072014,
            "The requested operation did not satisfy one or more constraints associated with the "
            "class of the object"},
    Mapping{LDAP_ALREADY_EXISTS, 0x80071392, "The object already exists"},
    Mapping{LDAP_SERVER_DOWN, 0x8007203A, "The server is not operational"},
    Mapping{LDAP_CONNECT_ERROR, 0x8007203A, "The server is not operational"},
    Mapping{LDAP_LOCAL_ERROR, 0x8007203B, "A local error has occurred"},
    Mapping{LDAP_ENCODING_ERROR, 0x8007203C, "An encoding error has occurred"},
    Mapping{LDAP_DECODING_ERROR, 0x8007203D, "A decoding error has occurred"},
    Mapping{LDAP_TIMEOUT, 0x800705B4, "This operation returned because the timeout period expired"},
    Mapping{LDAP_AUTH_UNKNOWN, 0x8007202A, "The authentication mechanism is unknown"},
    Mapping{LDAP_FILTER_ERROR, 0x8007203E, "The search filter cannot be recognized"},
    Mapping{LDAP_USER_CANCELLED, 0x800704C7, "The operation was canceled by the user"},
    Mapping{LDAP_PARAM_ERROR, 0x8007203F, "One or more parameters are illegal"},
    Mapping{LDAP_NO_MEMORY, 0x8007000E, "Not enough memory resources are available"},
    Mapping{LDAP_NOT_SUPPORTED, 0x80072040, "The specified method is not supported"},
};

const Mapping* mappingOf(int resultCode) {
    for (const Mapping& mapping : kMappings) {
        if (mapping.resultCode == resultCode) {
            return &mapping;
        }
    }
    return nullptr;
}

}  // namespace

std::int32_t hresultFromLdap(int resultCode) {
    const Mapping* mapping = mappingOf(resultCode);
    return static_cast<std::int32_t>(mapping != nullptr ? mapping->hresult : 0x80004005u);
}

std::string ldapResultText(int resultCode) {
    const Mapping* mapping = mappingOf(resultCode);
    return mapping != nullptr ? mapping->text : ldap_err2string(resultCode);
}

bool isConnectionLost(int resultCode) {
    return resultCode == LDAP_SERVER_DOWN || resultCode == LDAP_CONNECT_ERROR ||
           resultCode == LDAP_TIMEOUT;
}

RunTimeError ldapError(int resultCode, const std::string& what, const std::string& server,
                       const std::string& diagnostic, const char* source) {
    std::string description = what;
    if (!server.empty()) {
        description += " on " + server;
    }
    description += ": " + ldapResultText(resultCode) + " (LDAP: " + ldap_err2string(resultCode);
    // Samba ends its diagnostics with a line break, which would split the message and the log.
    const std::size_t end = diagnostic.find_last_not_of(" \r\n\t");
    if (end != std::string::npos) {
        description += "; " + diagnostic.substr(0, end + 1);
    }
    description += ")";
    return {hresultFromLdap(resultCode), description, source};
}

}  // namespace qm

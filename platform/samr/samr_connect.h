#pragma once

#include <cstdint>
#include <string>

#include "platform/samr/samba_headers.h"

namespace qm::samr {

// How long a computer that accepted the connection may take to answer one step.
inline constexpr std::uint32_t kAnswerTimeoutSeconds = 10;

// Samba's pipe connect (SMB negotiate, session set-up, pipe bind) given up after the answer
// timeout, where Samba's own bound is minutes. NT_STATUS_IO_TIMEOUT when it ran out.
NTSTATUS connectPipe(TALLOC_CTX* mem, dcerpc_pipe** pipe, const dcerpc_binding* binding,
                     cli_credentials* credentials, tevent_context* events,
                     loadparm_context* settings);

// What this run knows of computers that stopped answering. After a timeout the next connect is
// the one retry; when that fails too, the computer is given up for the run and every later
// connect fails at once with the same status.
class Silence {
public:
    // The status a given-up computer failed with, or 0.
    static std::uint32_t givenUp(const std::string& host);
    static void timedOut(const std::string& host);
    // A connect failed (status) or succeeded (0).
    static void connected(const std::string& host, std::uint32_t status);
};

}  // namespace qm::samr

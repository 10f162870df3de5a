#pragma once

#include <chrono>
#include <string>

namespace qm {

enum class ProbeResult { Answered, UnknownName, NoAnswer };

// Whether a host accepts a TCP connection on the port within the timeout, trying all its addresses
// at once. The name resolves the system's way (hosts file, DNS). A host that drops packets would
// otherwise hold a client library for its own, much longer, timeout. A host that twice in a row
// gave no answer in time is not waited for again in this run: it answers NoAnswer at once.
ProbeResult probeTcp(const std::string& host, int port, std::chrono::milliseconds timeout);

}  // namespace qm

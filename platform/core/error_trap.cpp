#include "platform/core/error_trap.h"

#include <cstdlib>

#include "platform/core/app_identity.h"

namespace qm {

std::string ErrorTrap::message(std::string_view marker, std::string_view tag,
                               const RunTimeError& error) {
    std::string text;
    text.append("Error ").append(marker).append(" in ").append(tag).append("\r\n");
    text.append("Error Number: ").append(std::to_string(error.number())).append("\r\n");
    text.append("Description:  ").append(error.description()).append("\r\n");
    text.append("Source:       ").append(error.source());
    return text;
}

void ErrorTrap::fire(const RunTimeError& error, const Cleanup& cleanup) const {
    services_.showCritical(kAppTitle, message(marker_, tag_, error));
    if (cleanup) {
        ignoringErrors([&] { cleanup(error); });
    }
    ignoringErrors([this] { services_.closeDirectoryConnection(); });
    services_.endProgram();
    std::abort();  // endProgram never returns
}

void ignoringErrors(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const std::exception&) {
        // The trap has already reported the error that matters.
    }
}

}  // namespace qm

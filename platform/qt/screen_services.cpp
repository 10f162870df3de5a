#include "platform/qt/screen_services.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/core/app_identity.h"

namespace qm {

void ProcessEnd::end(int exitStatus) {
    std::fflush(nullptr);
    std::_Exit(exitStatus);
}

void ScreenTrapServices::showCritical(const std::string& title, const std::string& text) {
    dialogs_.messageBox(title, text, MessageStyle::Critical);
}

void ScreenTrapServices::closeDirectoryConnection() {
    if (connection_) {
        closeIfOpen(connection_());
    }
}

void ScreenTrapServices::endProgram() {
    programEnd_.end(kExitAfterError);
    std::abort();  // end() never returns
}

void closeIfOpen(QueryConnection* connection) {
    if (connection != nullptr && connection->isOpen()) {
        connection->close();
    }
}

std::string runTimeErrorText(const RunTimeError& error) {
    return "Run-time error '" + std::to_string(error.number()) + "':\r\n\r\n" + error.description();
}

void runEventHandler(ScreenServices& services, const std::function<void()>& handler) {
    auto reportAndEnd = [&services](const RunTimeError& error) {
        ignoringErrors([&] {
            services.dialogs.messageBox(kAppTitle, runTimeErrorText(error), MessageStyle::Critical);
        });
        services.programEnd.end(kExitAfterError);
    };
    try {
        handler();
    } catch (const RunTimeError& error) {
        reportAndEnd(error);
    } catch (const std::bad_alloc&) {
        reportAndEnd(RunTimeError(err::OutOfMemory, "Out of memory", kProgramSource));
    } catch (const std::exception& error) {
        reportAndEnd(RunTimeError(err::InternalError, error.what(), kProgramSource));
    }
}

}  // namespace qm

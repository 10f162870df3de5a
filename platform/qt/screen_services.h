#pragma once

#include <functional>
#include <string>

#include "platform/core/error_trap.h"
#include "platform/dialogs.h"
#include "platform/directory.h"
#include "platform/sheet.h"
#include "platform/system.h"

namespace qm {

// How the program ends: Exit and the error traps end it at once, with no return to the caller.
// Tests give one that records the status and unwinds instead.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] virtual void end(int exitStatus) = 0;
};

// Ends the process. Nothing is unwound: whatever had to be closed was closed by the caller.
class ProcessEnd final : public ProgramEnd {
public:
    [[noreturn]] void end(int exitStatus) override;
};

inline constexpr int kExitNormally = 0;
inline constexpr int kExitAfterError = 1;

// The platform services every screen works through.
struct ScreenServices {
    Dialogs& dialogs;
    System& system;
    DirectoryServices& directory;
    SpreadsheetFactory& spreadsheets;
    ProgramEnd& programEnd;
};

// A screen's error trap: the message as a critical box, the screen's query connection closed when
// it is open (the first screen has none), then the end of the program.
class ScreenTrapServices final : public TrapServices {
public:
    using ConnectionOf = std::function<Connection*()>;

    ScreenTrapServices(Dialogs& dialogs, ProgramEnd& programEnd, ConnectionOf connection = {})
        : dialogs_(dialogs), programEnd_(programEnd), connection_(std::move(connection)) {}

    void showCritical(const std::string& title, const std::string& text) override;
    void closeDirectoryConnection() override;
    [[noreturn]] void endProgram() override;

private:
    Dialogs& dialogs_;
    ProgramEnd& programEnd_;
    ConnectionOf connection_;
};

// Closes a query connection when its State is 1 (open); a missing one is nothing to close.
void closeIfOpen(Connection* connection);

// The handling of an unexpected error in an event handler that has no trap of its own: the
// "Run-time error" box, then the end of the program. Handlers with a trap never get here.
void runEventHandler(ScreenServices& services, const std::function<void()>& handler);

// "Run-time error '<number>':" and the description, as the default handling reports it.
std::string runTimeErrorText(const RunTimeError& error);

}  // namespace qm

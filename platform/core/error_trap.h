#pragma once

#include <exception>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/core/run_time_error.h"

namespace qm {

// What an error trap needs from the running program. The screens give the real message box and the
// real end; tests give fakes that record the message and unwind instead of exiting.
class TrapServices {
public:
    virtual ~TrapServices() = default;
    virtual void showCritical(const std::string& title, const std::string& text) = 0;
    // Closes the directory query connection when one is open; a screen without one does nothing.
    virtual void closeDirectoryConnection() = 0;
    [[noreturn]] virtual void endProgram() = 0;
};

// The error trap of one procedure: its error-site tag and the step marker it has reached. On a
// run-time error it shows the four-line message, runs the procedure's own clean-up with further
// errors ignored, closes the directory connection when open and ends the program. There is no
// resume and no return to the caller.
class ErrorTrap {
public:
    ErrorTrap(std::string_view tag, TrapServices& services) : tag_(tag), services_(services) {}

    void step(std::string_view marker) { marker_ = marker; }
    std::string_view marker() const { return marker_; }

    using Cleanup = std::function<void(const RunTimeError&)>;

    // Runs the procedure's body under the trap. The clean-up runs only when the trap fires; it may
    // take the error (the Set run writes it to its log) or nothing.
    template <typename Body, typename CleanupFn = void (*)()>
    auto run(
        Body&& body, CleanupFn&& cleanup = [] {}) -> std::invoke_result_t<Body> {
        try {
            return body();
        } catch (const RunTimeError& error) {
            fire(error, adapt(cleanup));
        } catch (const std::bad_alloc&) {
            fire(RunTimeError(err::OutOfMemory, "Out of memory", kProgramSource), adapt(cleanup));
        } catch (const std::exception& error) {
            fire(RunTimeError(err::InternalError, error.what(), kProgramSource), adapt(cleanup));
        }
    }

    [[noreturn]] void fire(const RunTimeError& error, const Cleanup& cleanup = {}) const;

    // "Error <marker> in <tag>", then number, description and source, joined by CR LF.
    static std::string message(std::string_view marker, std::string_view tag,
                               const RunTimeError& error);

private:
    template <typename CleanupFn>
    static Cleanup adapt(CleanupFn& cleanup) {
        if constexpr (std::is_invocable_v<CleanupFn&, const RunTimeError&>) {
            return [&cleanup](const RunTimeError& error) { cleanup(error); };
        } else {
            return [&cleanup](const RunTimeError&) { cleanup(); };
        }
    }

    std::string_view tag_;
    std::string_view marker_;
    TrapServices& services_;
};

// Runs an operation with everything it raises ignored, as a trap's clean-up and the selection
// screen's Exit do.
void ignoringErrors(const std::function<void()>& operation);

}  // namespace qm

#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/error_trap.h"

namespace qm::testing {

// The run-time error an operation raises; a test failure when it raises none.
template <typename F>
RunTimeError errorOf(F&& operation) {
    try {
        operation();
    } catch (const RunTimeError& error) {
        return error;
    }
    ADD_FAILURE() << "no run-time error raised";
    return RunTimeError(0, "", "");
}

// Thrown instead of ending the process, so a test can see that the program would have ended. It is
// not a std::exception, so no trap or clean-up in the code under test can swallow it.
struct ProgramEnded {};

// Records what an error trap shows and does.
class FakeTrapServices : public TrapServices {
public:
    void showCritical(const std::string& title, const std::string& text) override {
        titles.push_back(title);
        messages.push_back(text);
        events.push_back("message");
    }
    void closeDirectoryConnection() override { events.push_back("close connection"); }
    [[noreturn]] void endProgram() override {
        events.push_back("end");
        throw ProgramEnded{};
    }

    std::vector<std::string> titles, messages, events;
};

}  // namespace qm::testing

#pragma once

#include <string>
#include <vector>

#include "platform/core/error_trap.h"

namespace qm::testing {

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

    std::vector<std::string> titles;
    std::vector<std::string> messages;
    std::vector<std::string> events;
};

}  // namespace qm::testing

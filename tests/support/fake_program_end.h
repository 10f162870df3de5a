#pragma once

#include <optional>

#include "platform/qt/screen_services.h"
#include "support/fake_trap.h"

namespace qm::testing {

// Records how the program would have ended and unwinds with ProgramEnded instead.
class FakeProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void end(int exitStatus) override {
        status = exitStatus;
        throw ProgramEnded{};
    }
    std::optional<int> status;
};

}  // namespace qm::testing

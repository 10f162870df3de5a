#pragma once

#include <string>

#include "platform/core/error_trap.h"

// A trap that unwinds instead of ending the process, so the fuzzer sees a fired trap as an
// ordinary outcome, not a crash.
struct TrapFired {};

class FuzzTrapServices : public qm::TrapServices {
public:
    void showCritical(const std::string&, const std::string&) override {}
    void closeDirectoryConnection() override {}
    [[noreturn]] void endProgram() override { throw TrapFired{}; }
};

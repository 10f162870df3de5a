#pragma once

#include <gtest/gtest.h>

#include "platform/core/run_time_error.h"

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

}  // namespace qm::testing

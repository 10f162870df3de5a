#pragma once

#include "platform/controls.h"
#include "support/fake_directory.h"
#include "support/fake_platform.h"
#include "support/run_time_errors.h"

namespace qm::testing {

// A progress bar through which a test looks at the run half-way.
struct FakeProgressBar : ProgressBar {
    void setMaximum(Int16) override {}
    void setValue(Int16 value) override { onValue(value.value()); }
    std::function<void(int)> onValue = [](int) {};
};

// The fake platform, a private folder as the program's folder, and the CSV sheet's line format.
class RunFixture : public ::testing::Test {
protected:
    RunFixture() { system.applicationPath = folder_.path().string(); }

    std::string path(const std::string& name) const { return folder_.file(name); }
    static Bytes hours(std::uint8_t fill) { return Bytes(21, fill); }

    // A user's line with the same hours on every day.
    static std::string entry(const std::string& name, const std::string& container,
                             const std::string& domain, const std::string& day) {
        return csvRecord({name, container, domain, day, day, day, day, day, day, day});
    }

    FakeDirectory directory;
    FakeDialogs dialogs;
    FakeSystem system;
    FakeTrapServices trap;
    FakeSpreadsheets spreadsheets;
    FakeProgressBar progress;

    ScratchFolder folder_{"run"};
    LogonHours logonHours{trap, 0};
};

}  // namespace qm::testing

#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "logonhours/logon_hours.h"
#include "platform/controls.h"
#include "support/fake_dialogs.h"
#include "support/fake_directory.h"
#include "support/fake_spreadsheet.h"
#include "support/fake_system.h"
#include "support/fake_trap.h"

namespace qm::testing {

// A progress bar that remembers what it was set to.
class FakeProgressBar : public ProgressBar {
public:
    void setMaximum(Int16 value) override { maximum = value.value(); }
    void setValue(Int16 value) override {
        this->value = value.value();
        highest = std::max(highest, this->value);
    }
    int maximum = -1;
    int value = -1;
    int highest = 0;
};

// What every run test needs: the fake platform, a private folder and a few known values.
class RunFixture : public ::testing::Test {
protected:
    RunFixture() : folder_(makeFolder()), logonHours(trap, 0) { system.applicationPath = folder_; }
    ~RunFixture() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    static std::string readFile(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    static Bytes hours(std::uint8_t fill) { return Bytes(21, fill); }

    FakeDirectory directory;
    FakeDialogs dialogs;
    FakeSystem system;
    FakeTrapServices trap;
    FakeWorkbookFiles workbooks;
    FakeSpreadsheetFactory spreadsheets{workbooks};
    FakeProgressBar progress;

private:
    static std::string makeFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qm-run-XXXXXX").string();
        return mkdtemp(pattern.data());
    }
    std::string folder_;

protected:
    LogonHours logonHours;
};

}  // namespace qm::testing

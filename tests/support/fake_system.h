#pragma once

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/run_time_error.h"
#include "platform/system.h"

namespace qm::testing {

// The operating system's facts as a test sets them; digit grouping as in English ("1,234").
class FakeSystem : public System {
public:
    std::string computerName = "PC1";
    Variant bias = Variant(300);
    std::optional<RunTimeError> biasError;
    std::string applicationPath = "/opt/quillmark";
    std::set<std::string> files;
    std::vector<std::string> editorStarted;
    std::string now = "6/15/2026 10:30:00 AM";

    std::string ComputerName() override { return computerName; }
    Variant TimeZoneBias() override {
        if (biasError) {
            throw *biasError;
        }
        return bias;
    }
    std::string ApplicationPath() override { return applicationPath; }
    bool FileExists(const std::string& path) override { return files.contains(path); }
    void startTextEditor(const std::string& path) override { editorStarted.push_back(path); }
    std::string nowText() override { return now; }

    std::string formatGrouped(std::int64_t number) override {
        std::string digits = std::to_string(number < 0 ? -number : number);
        for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
            digits.insert(static_cast<std::size_t>(i), ",");
        }
        return number < 0 ? "-" + digits : digits;
    }
    std::int64_t parseGrouped(const std::string& text) override {
        std::string digits = text;
        std::erase(digits, ',');
        try {
            std::size_t used = 0;
            const std::int64_t number = std::stoll(digits, &used);
            if (used == digits.size()) {
                return number;
            }
        } catch (const std::exception&) {
        }
        throw err::typeMismatch();
    }
};

}  // namespace qm::testing

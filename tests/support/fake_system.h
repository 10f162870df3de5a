#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

namespace qm::testing {

// The operating system's facts as a test sets them; digit grouping as in English ("1,234").
class FakeSystem : public System {
public:
    std::string computerName = "PC1";
    Variant bias = Variant(300);
    std::string applicationPath = "/opt/quillmark";
    std::set<std::string> files;
    std::vector<std::string> editorStarted;

    std::string ComputerName() override { return computerName; }
    Variant TimeZoneBias() override { return bias; }
    std::string ApplicationPath() override { return applicationPath; }
    bool FileExists(const std::string& path) override { return files.contains(path); }
    void startTextEditor(const std::string& path) override { editorStarted.push_back(path); }
    std::string nowText() override { return "6/15/2026 10:30:00 AM"; }

    std::string formatGrouped(std::int64_t number) override {
        std::string text = std::to_string(number);
        for (int at = int(text.size()) - 3; at > (number < 0 ? 1 : 0); at -= 3) {
            text.insert(std::size_t(at), 1, ',');
        }
        return text;
    }
    std::int64_t parseGrouped(const std::string& text) override {
        std::string digits = text;
        std::erase(digits, ',');
        std::size_t used = 0;
        const std::int64_t number = std::stoll(digits, &used);
        if (used != digits.size()) {
            throw err::typeMismatch();
        }
        return number;
    }
};

}  // namespace qm::testing

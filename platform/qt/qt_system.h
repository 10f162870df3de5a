#pragma once

#include "platform/system.h"

namespace qm {

// The source of the run-time errors the operating system's services raise.
inline constexpr const char* kSystemSource = "System";

// The operating system's facts and services through Qt and POSIX.
class QtSystem final : public System {
public:
    std::string ComputerName() override;
    // An unknown system time zone is a run-time error: it must not pass silently as UTC.
    Variant TimeZoneBias() override;
    std::string ApplicationPath() override;
    bool FileExists(const std::string& path) override;
    void startTextEditor(const std::string& path) override;
    std::string nowText() override;
    std::string formatGrouped(std::int64_t number) override;
    std::int64_t parseGrouped(const std::string& text) override;
};

}  // namespace qm

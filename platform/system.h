#pragma once

#include <cstdint>
#include <string>

#include "platform/core/variant.h"

namespace qm {

// The few facts and services of the operating system the screens and runs use.
class System {
public:
    virtual ~System() = default;
    // The local computer's name, as a Windows computer name (upper case, at most 15 characters).
    virtual std::string ComputerName() = 0;
    // The standard time-zone bias in minutes as a Long, UTC = local time + bias (never the
    // daylight-saving offset).
    virtual Variant TimeZoneBias() = 0;
    // The folder of the program file, without a trailing separator.
    virtual std::string ApplicationPath() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Opens the file in the desktop's text editor and returns without waiting.
    virtual void startTextEditor(const std::string& path) = 0;
    // The current local date and time as text in the regional format.
    virtual std::string nowText() = 0;
    // A whole number with the locale's digit grouping (1234 as "1,234").
    virtual std::string formatGrouped(std::int64_t number) = 0;
    // The inverse: a number shown with digit grouping, read back; error 13 when it is not one.
    virtual std::int64_t parseGrouped(const std::string& text) = 0;
};

}  // namespace qm

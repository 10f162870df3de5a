#pragma once

#include <array>
#include <string>

#include "platform/core/checked_int.h"
#include "platform/core/error_trap.h"
#include "platform/core/variant.h"

namespace qm {

// Seven day strings of local time, Sunday first.
using DayStrings = std::array<std::string, 7>;

inline constexpr const char* kAllHoursAllowed = "111 111 111 111 111 111 111 111";
inline constexpr int kLogonHoursBytes = 21;
inline constexpr int kHoursPerWeek = 168;

// The conversions between the stored logon-hours value (21 bytes, one bit per UTC hour of the week
// from Sunday 00:00) and seven day strings in local time, shifted by the standard-time bias in
// whole hours (UTC = local + bias). Each procedure runs under its own error trap.
class LogonHours {
public:
    LogonHours(TrapServices& trap, Int16 biasHours = 0) : trap_(trap), biasHours_(biasHours) {}

    Int16 biasHours() const { return biasHours_; }
    void setBiasHours(Int16 biasHours) { biasHours_ = biasHours; }

    // A value shorter than 21 bytes decodes as if the missing bytes were 0; a longer one is
    // run-time error 9 at its 22nd byte.
    void DecodeLogonHours(const Bytes& value, DayStrings& days) const;
    // False, with bytes untouched, when a day string is invalid.
    bool EncodeLogonHours(DayStrings days, Bytes& bytes) const;

    bool JoinDayStrings(DayStrings days, std::string& joined) const;
    std::string StripDaySeparators(std::string text) const;
    bool IsValidDayString(const std::string& text) const;
    std::string BinaryToHex(const std::string& digits) const;
    Bytes HexToBytes(const std::string& hex) const;

private:
    TrapServices& trap_;
    Int16 biasHours_;
};

}  // namespace qm

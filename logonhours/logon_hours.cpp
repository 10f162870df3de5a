#include "logonhours/logon_hours.h"

#include <string_view>

namespace qm {

namespace {

constexpr std::array<std::string_view, 7> kDayMarkers = {"1", "2", "3", "4", "5", "6", "7"};

// The digit's value for the bit sum; the caller validated the text, anything else is a type error.
int bitValue(char digit) {
    if (digit != '0' && digit != '1') {
        throw err::typeMismatch();
    }
    return digit - '0';
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    throw err::typeMismatch();
}

void removeAll(std::string& text, char separator) {
    std::erase(text, separator);
}

}  // namespace

void LogonHours::DecodeLogonHours(const Bytes& value, DayStrings& days) const {
    ErrorTrap trap("QMK2", trap_);
    trap.run([&] {
        trap.step("1");
        std::array<std::uint8_t, kLogonHoursBytes> bytes{};
        for (std::size_t k = 0; k < value.size(); ++k) {
            subscript(bytes, static_cast<long long>(k)) = value[k];
        }

        trap.step("2");
        std::array<std::uint8_t, kHoursPerWeek> hourFlags{};
        for (Int16 j = 0; j <= 20; ++j) {
            trap.step("3");
            for (Int16 i = 7; i >= 0; --i) {
                Int16 position = Int16(8) * j + i - biasHours_;
                if (position < 0) {
                    position += kHoursPerWeek;
                }
                if (position > kHoursPerWeek - 1) {
                    position -= kHoursPerWeek;
                }
                trap.step("4");
                const bool allowed = (bytes[j.value()] >> i.value()) & 1;
                subscript(hourFlags, position.value()) = allowed ? 1 : 0;
            }
        }

        trap.step("5");
        Int16 day = 0;
        Int16 hour = 0;
        days[0].clear();
        for (std::uint8_t flag : hourFlags) {
            trap.step("6");
            if (hour == 24) {
                ++day;
                hour = 0;
                subscript(days, day.value()).clear();
            }
            trap.step("7");
            std::string& text = days[day.value()];
            text += flag ? '1' : '0';
            if (hour.value() % 3 == 2 && hour < 23) {
                text += ' ';
            }
            ++hour;
        }
    });
}

bool LogonHours::EncodeLogonHours(DayStrings days, Bytes& bytes) const {
    ErrorTrap trap("QMK7", trap_);
    return trap.run([&] {
        trap.step("1");
        std::string joined;
        if (!JoinDayStrings(days, joined)) {
            return false;
        }

        trap.step("2");
        if (biasHours_ > 0) {
            const auto b = static_cast<std::size_t>(biasHours_.value());
            joined = joined.substr(kHoursPerWeek - b) + joined.substr(0, kHoursPerWeek - b);
        }
        trap.step("3");
        if (biasHours_ < 0) {
            const auto n = static_cast<std::size_t>((-biasHours_).value());
            joined = joined.substr(n) + joined.substr(0, n);
        }

        trap.step("4");
        std::string packed;
        for (int chunk = 0; chunk < kLogonHoursBytes; ++chunk) {
            packed += BinaryToHex(joined.substr(static_cast<std::size_t>(chunk) * 8, 8));
        }

        trap.step("5");
        bytes = HexToBytes(packed);
        return true;
    });
}

bool LogonHours::JoinDayStrings(DayStrings days, std::string& joined) const {
    ErrorTrap trap("QMK19", trap_);
    return trap.run([&] {
        joined.clear();
        for (std::size_t day = 0; day < days.size(); ++day) {
            trap.step(kDayMarkers[day]);
            days[day] = StripDaySeparators(days[day]);
            if (!IsValidDayString(days[day])) {
                return false;
            }
        }
        for (const std::string& day : days) {
            joined += day;
        }
        return true;
    });
}

std::string LogonHours::StripDaySeparators(std::string text) const {
    ErrorTrap trap("QMK20", trap_);
    return trap.run([&] {
        trap.step("1");
        for (char separator : {' ', '.', ',', '-', '/', '\\'}) {
            removeAll(text, separator);
        }
        return text;
    });
}

bool LogonHours::IsValidDayString(const std::string& text) const {
    ErrorTrap trap("QMK21", trap_);
    return trap.run([&] {
        trap.step("1");
        if (text.size() != 24) {
            return false;
        }
        trap.step("2");
        for (char ch : text) {
            trap.step("3");
            trap.step("4");
            if (ch != '0' && ch != '1') {
                return false;
            }
        }
        return true;
    });
}

std::string LogonHours::BinaryToHex(const std::string& digits) const {
    ErrorTrap trap("QMK9", trap_);
    return trap.run([&] {
        trap.step("1");
        Int16 sum = 0;
        for (int i = 0; i < 8; ++i) {
            sum += Int16(1 << i) * bitValue(subscript(digits, i));
        }
        trap.step("2");
        static constexpr char kHexDigits[] = "0123456789ABCDEF";
        const int n = sum.value();
        return std::string{kHexDigits[(n >> 4) & 0xF], kHexDigits[n & 0xF]};
    });
}

Bytes LogonHours::HexToBytes(const std::string& hex) const {
    ErrorTrap trap("QMK8", trap_);
    return trap.run([&] {
        trap.step("1");
        Bytes bytes(hex.size() / 2);
        trap.step("2");
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] =
                static_cast<std::uint8_t>(16 * hexValue(hex[2 * i]) + hexValue(hex[2 * i + 1]));
        }
        trap.step("3");
        return bytes;
    });
}

}  // namespace qm

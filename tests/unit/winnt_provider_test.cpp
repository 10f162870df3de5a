// The WinNT side's rules that need no computer: the names it refuses before contacting anyone,
// and hours read in other units.

#include <gtest/gtest.h>

#include "platform/samr/samr_client.h"
#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_provider.h"
#include "support/fake_dialogs.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using namespace std::string_literals;

// Samba takes names as C strings: "lab1\0junk" would write lab1. Such names fail the bind at once,
// with no connection and no sign-in asked for.
TEST(WinNtNames, NamesNoAccountCanHaveFailBeforeAnyoneIsContacted) {
    testing::FakeDialogs dialogs;
    Credentials credentials(dialogs);
    for (const auto& [computer, name] :
         std::vector<std::pair<std::string, std::string>>{{"PC01", "lab1\0junk"s},
                                                          {"PC01\0PC02"s, "lab1"},
                                                          {"PC01", ""},
                                                          {"", "lab1"},
                                                          {"PC01", "a/b"},
                                                          {"PC01", "a\tb"},
                                                          {"PC01", "x,y"},
                                                          {"PC01/x", "lab1"},
                                                          {"PC01", "CN=kiosk"}}) {
        const RunTimeError error =
            testing::errorOf([&] { bindLocalAccount(computer, name, credentials); });
        EXPECT_EQ(error.number(), kBadPathName) << computer << "/" << name;
    }
    EXPECT_EQ(testing::errorOf([&] { reachComputer("PC\x01", credentials); }).number(),
              kBadPathName);
    EXPECT_TRUE(dialogs.shown.empty());
}

// "0"/"1" per hour of the week, of hours read in other units with units [first, end) allowed.
std::string hourString(std::uint32_t units, int first, int end) {
    Bytes bits((units + 7) / 8, 0);
    for (int unit = first; unit < end; ++unit) {
        bits[unit / 8] |= static_cast<std::uint8_t>(1 << (unit % 8));
    }
    const auto hours = samr::hourlyBits(units, bits);
    std::string text;
    for (int hour = 0; hours && hour < 168; ++hour) {
        text += ((*hours)[hour / 8] >> (hour % 8) & 1) != 0 ? '1' : '0';
    }
    return text;
}

// An hour counts as allowed when the account may log on throughout it.
TEST(WinNtHours, OtherUnitsThanHoursAreReadAsTheHourlyWeek) {
    const auto hoursAllowed = [](int first, int end) {
        return std::string(first, '0') + std::string(end - first, '1') +
               std::string(168 - end, '0');
    };
    EXPECT_EQ(hourString(168, 5, 9), hoursAllowed(5, 9));
    EXPECT_EQ(hourString(7, 1, 2), hoursAllowed(24, 48));                // Monday, in days
    EXPECT_EQ(hourString(10080, 60 * 9, 60 * 17), hoursAllowed(9, 17));  // in minutes
    EXPECT_EQ(hourString(10080, 60 * 9 + 30, 60 * 17), hoursAllowed(10, 17));
    EXPECT_EQ(hourString(100, 0, 100), std::string(168, '1'));  // units across hours
    EXPECT_EQ(hourString(0, 0, 0), "");
    EXPECT_FALSE(samr::hourlyBits(10080, Bytes(21, 0xFF)));  // fewer bits than the units claim
}

}  // namespace
}  // namespace qm

// The WinNT provider's rules that need no computer: its paths and error numbers.

#include <gtest/gtest.h>

#include <tuple>

#include "platform/samr/samr_client.h"
#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_path.h"

namespace qm {
namespace {

// "COMPUTER[/user]" of a parsed path, or what its error says.
std::string parsed(const std::string& path) {
    try {
        const WinNtPath parts = parseWinNtPath(path);
        return parts.computer + (parts.isUser() ? "/" + parts.user : "");
    } catch (const RunTimeError& error) {
        const bool namesPath = error.description().find(path) != std::string::npos;
        return error.number() == kBadPathName && namesPath ? "bad pathname" : error.description();
    }
}

TEST(WinNtPath, NamesAComputerOrOneOfItsUsersAndAnythingElseIsABadPathname) {
    for (const auto& [path, parts] : std::vector<std::pair<std::string, std::string>>{
             {"WinNT://PC01,computer", "PC01"},
             {"WinNT://pc01,Computer", "pc01"},
             {"WinNT://PC01", "PC01"},  // the ADsPath a computer gives itself
             {"WinNT://PC01/kiosk,user", "PC01/kiosk"},
             {"WinNT://PC01/kiosk", "PC01/kiosk"},
             {"WinNT://PC01/front desk,USER", "PC01/front desk"},
             {"WinNT://pc01.corp.test,computer", "pc01.corp.test"}}) {
        EXPECT_EQ(parsed(path), parts) << path;
    }
    for (const char* bad : {"LDAP://CN=Users,DC=corp,DC=test", "winnt://PC01,computer", "WinNT://",
                            "WinNT://,computer", "WinNT:///kiosk,user", "WinNT://PC01/,user",
                            "WinNT://CORP/PC01/kiosk,user", "WinNT://PC01,user",
                            "WinNT://PC01/kiosk,computer", "WinNT://PC01,group"}) {
        EXPECT_EQ(parsed(bad), "bad pathname") << bad;
    }
}

TEST(WinNtErrors, NumbersAreThoseWindowsReportsAndOnlyRefusalsCallForAnotherSignIn) {
    EXPECT_EQ(hresultFromWin32(0), 0);
    EXPECT_EQ(hresultFromWin32(win32::BadNetPath), -2147024843);    // 0x80070035
    EXPECT_EQ(hresultFromWin32(win32::UserNotFound), -2147022675);  // 0x800708AD
    for (const auto& [status, hresult, refuses] :
         std::vector<std::tuple<std::uint32_t, std::uint32_t, bool>>{
             {0xC000006D, 0x8007052E, true},      // logon failure
             {0xC000006A, 0x80070056, true},      // wrong password
             {0xC0000072, 0x80070533, true},      // account disabled
             {0xC0000234, 0x80070775, true},      // account locked out
             {0xC0000022, 0x80070005, false},     // access denied
             {0xC0000073, 0x80070534, false},     // none mapped
             {0xC00000CC, 0x80070043, false},     // bad network name
             {0xC00000B5, 0x80070079, false},     // I/O timeout
             {0xC000020D, 0x80070040, false}}) {  // connection reset
        EXPECT_EQ(hresultFromNtStatus(status), static_cast<std::int32_t>(hresult))
            << std::hex << status;
        EXPECT_EQ(refusesSignIn(status), refuses) << std::hex << status;
    }
}

// "0"/"1" per hour of the week, of hours read in other units.
std::string hourString(std::uint32_t units, const std::vector<int>& allowedUnits) {
    Bytes bits((units + 7) / 8, 0);
    for (const int unit : allowedUnits) {
        bits[unit / 8] |= static_cast<std::uint8_t>(1 << (unit % 8));
    }
    const auto hours = samr::hourlyBits(units, bits);
    std::string text;
    for (int hour = 0; hours && hour < 168; ++hour) {
        text += ((*hours)[hour / 8] >> (hour % 8) & 1) != 0 ? '1' : '0';
    }
    return text;
}

std::vector<int> range(int first, int end) {
    std::vector<int> units;
    for (int unit = first; unit < end; ++unit) {
        units.push_back(unit);
    }
    return units;
}

// An hour counts as allowed when the account may log on throughout it.
TEST(WinNtHours, OtherUnitsThanHoursAreReadAsTheHourlyWeek) {
    const std::string none(168, '0');
    const auto hoursAllowed = [&](int first, int end) {
        std::string text = none;
        text.replace(first, end - first, end - first, '1');
        return text;
    };
    EXPECT_EQ(hourString(168, range(5, 9)), hoursAllowed(5, 9));
    EXPECT_EQ(hourString(7, {1}), hoursAllowed(24, 48));                        // Monday, in days
    EXPECT_EQ(hourString(10080, range(60 * 9, 60 * 17)), hoursAllowed(9, 17));  // in minutes
    EXPECT_EQ(hourString(10080, range(60 * 9 + 30, 60 * 17)), hoursAllowed(10, 17));
    EXPECT_EQ(hourString(100, range(0, 100)), std::string(168, '1'));  // units across hours
    EXPECT_EQ(hourString(0, {}), "");
    EXPECT_FALSE(samr::hourlyBits(10080, Bytes(21, 0xFF)));  // fewer bits than the units claim
}

}  // namespace
}  // namespace qm

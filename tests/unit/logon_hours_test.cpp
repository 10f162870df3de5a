#include <gtest/gtest.h>

#include <random>

#include "logonhours/bias_hours.h"
#include "logonhours/logon_hours.h"
#include "support/fake_trap.h"

namespace qm {
namespace {

using testing::FakeTrapServices;
using testing::ProgramEnded;

const std::string kNone = "000 000 000 000 000 000 000 000";

DayStrings allDays(const std::string& day) {
    return {day, day, day, day, day, day, day};
}

class LogonHoursTest : public ::testing::Test {
protected:
    DayStrings decode(const Bytes& value, int bias) {
        LogonHours hours(services, bias);
        DayStrings days;
        hours.DecodeLogonHours(value, days);
        return days;
    }
    std::optional<Bytes> encode(const DayStrings& days, int bias) {
        LogonHours hours(services, bias);
        Bytes bytes;
        if (!hours.EncodeLogonHours(days, bytes)) {
            return std::nullopt;
        }
        return bytes;
    }
    static Bytes onlyBit(int byte, int bit) {
        Bytes value(21, 0);
        value[byte] = static_cast<std::uint8_t>(1 << bit);
        return value;
    }

    FakeTrapServices services;
};

TEST_F(LogonHoursTest, DecodesTheDocumentedExamples) {
    EXPECT_EQ(decode(Bytes(21, 0xFF), 0), allDays(kAllHoursAllowed));

    // Sunday 00:00 UTC is Saturday 19:00 five hours west of Greenwich.
    DayStrings days = allDays(kNone);
    days[6] = "000 000 000 000 000 000 010 000";
    EXPECT_EQ(decode(onlyBit(0, 0), 5), days);

    // Saturday 23:00 UTC is Sunday 00:00 one hour east: the shift wraps past the week's end too.
    days = allDays(kNone);
    days[0] = "100 000 000 000 000 000 000 000";
    EXPECT_EQ(decode(onlyBit(20, 7), -1), days);
}

TEST_F(LogonHoursTest, EncodesTheDocumentedExamples) {
    EXPECT_EQ(encode(allDays(kAllHoursAllowed), 0), Bytes(21, 0xFF));

    DayStrings days = allDays(kNone);
    days[0] = "100 000 000 000 000 000 000 000";
    EXPECT_EQ(encode(days, 0), onlyBit(0, 0));
    days[0] = "000 000 000 000 000 000 000 001";
    EXPECT_EQ(encode(days, 0), onlyBit(2, 7));

    days = allDays(kNone);
    days[6] = "000 000 000 000 000 000 010 000";
    EXPECT_EQ(encode(days, 5), onlyBit(0, 0));

    Bytes officeHours;
    for (int day = 0; day < 7; ++day) {
        officeHours.insert(officeHours.end(), {0, 224, 127});
    }
    EXPECT_EQ(encode(allDays("000 000 001 111 111 111 000 000"), 5), officeHours);
}

TEST_F(LogonHoursTest, DecodeThenEncodeIsTheIdentityForEveryBiasOfTheWorld) {
    std::mt19937 random(1234);
    std::vector<Bytes> values = {Bytes(21, 0), Bytes(21, 0xFF)};
    for (int i = 0; i < 50; ++i) {
        Bytes value(21);
        for (auto& byte : value) {
            byte = static_cast<std::uint8_t>(random());
        }
        values.push_back(value);
    }
    for (int byte = 0; byte < 21; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            values.push_back(onlyBit(byte, bit));
        }
    }
    for (int bias = -14; bias <= 12; ++bias) {
        for (const Bytes& value : values) {
            ASSERT_EQ(encode(decode(value, bias), bias), value) << "bias " << bias;
        }
    }
    // The conversions hold over the whole range they accept.
    for (int bias : {-167, -100, 100, 167}) {
        EXPECT_EQ(encode(decode(values[5], bias), bias), values[5]) << "bias " << bias;
    }
}

TEST_F(LogonHoursTest, ShiftMovesEachHourByTheBias) {
    // Local hour m is UTC hour (m + bias) mod 168, at both ends of the week.
    for (int bias : {-14, -1, 1, 12}) {
        for (int utcHour : {0, 1, 23, 24, 100, 166, 167}) {
            DayStrings days = decode(onlyBit(utcHour / 8, utcHour % 8), bias);
            int local = ((utcHour - bias) % 168 + 168) % 168;
            std::string digits = days[local / 24];
            std::erase(digits, ' ');
            EXPECT_EQ(digits[local % 24], '1') << "bias " << bias << " hour " << utcHour;
        }
    }
}

TEST_F(LogonHoursTest, ShortValuesDecodeWithMissingHoursDeniedAndLongOnesEndTheProgram) {
    EXPECT_EQ(decode({}, 0), allDays(kNone));
    DayStrings days = decode({0xFF, 0xFF, 0xFF}, 0);
    EXPECT_EQ(days[0], kAllHoursAllowed);
    EXPECT_EQ(days[1], kNone);

    EXPECT_THROW(decode(Bytes(22, 0xFF), 0), ProgramEnded);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Error 1 in QMK2\r\nError Number: 9\r\nDescription:  Subscript out of range\r\n"
              "Source:       Quillmark");
    EXPECT_EQ(services.events, (std::vector<std::string>{"message", "close connection", "end"}));
}

TEST_F(LogonHoursTest, DecodedDayStringsHaveTheSheetShape) {
    std::mt19937 random(99);
    Bytes value(21);
    for (auto& byte : value) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (const std::string& day : decode(value, 3)) {
        EXPECT_EQ(day.size(), 31u);
        EXPECT_EQ(std::count(day.begin(), day.end(), ' '), 7);
        EXPECT_NE(day.back(), ' ');
        for (std::size_t at = 3; at < 31; at += 4) {
            EXPECT_EQ(day[at], ' ');
        }
    }
}

TEST_F(LogonHoursTest, AcceptsTheSeparatorsAdministratorsTypeAndNothingElse) {
    const Bytes all = Bytes(21, 0xFF);
    for (const std::string& day :
         {std::string(24, '1'), std::string("111-111-111-111-111-111-111-111"),
          std::string("111.111,111/111\\111 111-111.111"),
          std::string(" 111 111 111 111 111 111 111 111 ")}) {
        EXPECT_EQ(encode(allDays(day), 0), all) << day;
    }
    for (const std::string& bad :
         {std::string(23, '1'), std::string(25, '1'),
          std::string("211 111 111 111 111 111 111 111"),
          std::string("a11 111 111 111 111 111 111 111"),
          std::string("111\t111 111 111 111 111 111 111"), std::string("")}) {
        DayStrings days = allDays(kAllHoursAllowed);
        days[4] = bad;
        Bytes untouched = {7, 7};
        LogonHours hours(services, 0);
        EXPECT_FALSE(hours.EncodeLogonHours(days, untouched)) << "'" << bad << "'";
        EXPECT_EQ(untouched, (Bytes{7, 7}));
    }
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(LogonHoursTest, PacksBitsLeastSignificantFirst) {
    LogonHours hours(services, 0);
    EXPECT_EQ(hours.BinaryToHex("10000000"), "01");
    EXPECT_EQ(hours.BinaryToHex("00000001"), "80");
    EXPECT_EQ(hours.BinaryToHex("11111111"), "FF");
    EXPECT_EQ(hours.HexToBytes("00E07F"), (Bytes{0, 224, 127}));
    EXPECT_EQ(hours.HexToBytes("ABC"), (Bytes{0xAB}));
    std::string joined;
    EXPECT_FALSE(hours.JoinDayStrings(allDays("1"), joined));
    EXPECT_EQ(joined, "");
}

TEST(BiasHours, WholeHoursFromTheStoredMinutesTowardZero) {
    const std::vector<std::pair<int, int>> cases = {{300, 5}, {0, 0},      {-60, -1}, {-330, -5},
                                                    {210, 3}, {-720, -12}, {840, 14}};
    for (auto [minutes, hours] : cases) {
        EXPECT_EQ(BiasHoursFrom(Variant(std::int32_t{minutes})).value(), hours) << minutes;
    }
    EXPECT_EQ(BiasHoursFrom(Variant(Bytes{0x2C, 0x01, 0x00, 0x00})).value(), 5);
    EXPECT_EQ(BiasHoursFrom(Variant("300")).value(), 0);
    EXPECT_EQ(BiasHoursFrom(Variant()).value(), 0);
    // Binary data above 32,767 minutes does not fit the 16-bit sum.
    try {
        BiasHoursFrom(Variant(Bytes{0xC4, 0xFF, 0xFF, 0xFF}));
        FAIL() << "no overflow";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 6);
    }
}

}  // namespace
}  // namespace qm

// The program's conventions (checked integers, the error trap) and the logon-hours value.

#include "logonhours/bias_hours.h"
#include "logonhours/logon_hours.h"
#include "platform/core/checked_int.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using namespace qm::testing;

TEST(CheckedIntegers, OverflowIsRunTimeError6AtBothEndsOfTheRange) {
    const std::function<void()> overflowing[] = {
        [] { ++(Int16(32767)); },
        [] { Int16(-32768) / Int16(-1); },
        [] { Int32(-3'000'000'000LL); },
    };
    for (const auto& operation : overflowing) {
        const RunTimeError error = errorOf(operation);
        EXPECT_EQ(error.number(), 6);
        EXPECT_EQ(error.description(), "Overflow");
    }
    EXPECT_EQ((Int16(-330) / 60).value(), -5);  // towards zero
    EXPECT_EQ((Int16(-32767) - 1).value(), -32768);
}

// An error in the clean-up itself is ignored.
TEST(ErrorTrap, ShowsTheFourLineMessageThenCleansUpClosesTheConnectionAndEnds) {
    FakeTrapServices services;
    ErrorTrap trap("QMK3", services);
    EXPECT_THROW(trap.run(
                     [&] {
                         trap.step("1");
                         trap.step("29");
                         throw RunTimeError(-2147016656, "There is no such object on the server.",
                                            "Active Directory");
                     },
                     [&] {
                         services.events.push_back("cleanup");
                         throw RunTimeError(70, "Permission denied", "Quillmark");
                     }),
                 ProgramEnded);
    EXPECT_EQ(services.titles, std::vector<std::string>{"Quillmark"});
    // The last step reached; the message's lines are compared whole by every run's trap tests.
    EXPECT_EQ(services.messages.at(0).substr(0, 18), "Error 29 in QMK3\r\n");
    EXPECT_EQ(services.events,
              (std::vector<std::string>{"message", "cleanup", "close connection", "end"}));
}

TEST(ErrorTrap, AnInnerTrapEndsTheProgramWithoutTheOuterCleanUp) {
    FakeTrapServices services;
    ErrorTrap outer("QMK3", services);
    bool outerCleanedUp = false;
    EXPECT_THROW(outer.run(
                     [&] {
                         outer.step("33");
                         ErrorTrap inner("QMK2", services);
                         inner.run([&] {
                             inner.step("1");
                             throw err::subscriptOutOfRange();
                         });
                     },
                     [&] { outerCleanedUp = true; }),
                 ProgramEnded);
    EXPECT_FALSE(outerCleanedUp);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_TRUE(services.messages[0].starts_with("Error 1 in QMK2\r\n"));
}

const std::string kNone = "000 000 000 000 000 000 000 000";

DayStrings allDays(const std::string& day) {
    return {day, day, day, day, day, day, day};
}

// Every day denied but one.
DayStrings oneDay(int day, const std::string& hours) {
    DayStrings days = allDays(kNone);
    days[day] = hours;
    return days;
}

Bytes onlyBit(int byte, int bit) {
    Bytes value(21, 0);
    value[byte] = static_cast<std::uint8_t>(1 << bit);
    return value;
}

class LogonHoursTest : public ::testing::Test {
protected:
    DayStrings decode(const Bytes& value, int bias) {
        DayStrings days;
        LogonHours(services, bias).DecodeLogonHours(value, days);
        return days;
    }
    std::optional<Bytes> encode(const DayStrings& days, int bias) {
        Bytes bytes;
        return LogonHours(services, bias).EncodeLogonHours(days, bytes) ? std::optional(bytes)
                                                                        : std::nullopt;
    }

    FakeTrapServices services;
};

// The sandbox suites document and set many values five hours west of Greenwich and at it.
TEST_F(LogonHoursTest, DecodesAndEncodesTheDocumentedExamples) {
    const std::tuple<Bytes, int, DayStrings> cases[] = {
        // Sunday 00:00 UTC is Saturday 19:00 five hours west of Greenwich.
        {onlyBit(0, 0), 5, oneDay(6, "000 000 000 000 000 000 010 000")},
        // Saturday 23:00 UTC is Sunday 00:00 one hour east: the shift wraps past the week's end.
        {onlyBit(20, 7), -1, oneDay(0, "100 000 000 000 000 000 000 000")},
    };
    for (const auto& [value, bias, days] : cases) {
        EXPECT_EQ(decode(value, bias), days) << "bias " << bias;
        EXPECT_EQ(encode(days, bias), value) << "bias " << bias;
    }
}

TEST_F(LogonHoursTest, ShortValuesDecodeWithMissingHoursDeniedAndLongOnesEndTheProgram) {
    EXPECT_EQ(decode({}, 0), allDays(kNone));
    EXPECT_EQ(decode({0xFF, 0xFF, 0xFF}, 0), oneDay(0, kAllHoursAllowed));

    EXPECT_THROW(decode(Bytes(22, 0xFF), 0), ProgramEnded);
    EXPECT_EQ(services.messages, std::vector<std::string>{"Error 1 in QMK2\r\nError Number: 9\r\n"
                                                          "Description:  Subscript out of range\r\n"
                                                          "Source:       Quillmark"});
    EXPECT_EQ(services.events, (std::vector<std::string>{"message", "close connection", "end"}));
}

TEST_F(LogonHoursTest, AcceptsTheSeparatorsAdministratorsTypeAndNothingElse) {
    for (const std::string& day :
         std::vector<std::string>{std::string(24, '1'), "111.111,111/111\\111 111-111.111",
                                  " 111 111 111 111 111 111 111 111 "}) {
        EXPECT_EQ(encode(allDays(day), 0), Bytes(21, 0xFF)) << day;
    }
    for (const std::string& bad :
         std::vector<std::string>{std::string(25, '1'), "211 111 111 111 111 111 111 111",
                                  "111\t111 111 111 111 111 111 111"}) {
        DayStrings days = allDays(kAllHoursAllowed);
        days[4] = bad;
        Bytes untouched = {7, 7};
        EXPECT_FALSE(LogonHours(services, 0).EncodeLogonHours(days, untouched)) << bad;
        EXPECT_EQ(untouched, (Bytes{7, 7}));
    }
    EXPECT_TRUE(services.messages.empty());
}

TEST(BiasHours, WholeHoursFromTheStoredMinutesTowardZero) {
    for (auto [minutes, hours] : {std::pair{300, 5}, {-330, -5}, {840, 14}}) {
        EXPECT_EQ(BiasHoursFrom(Variant(std::int32_t{minutes})).value(), hours) << minutes;
    }
    EXPECT_EQ(BiasHoursFrom(Variant(Bytes{0x2C, 0x01, 0x00, 0x00})).value(), 5);
    EXPECT_EQ(BiasHoursFrom(Variant()).value(), 0);
    // Binary data above 32,767 minutes does not fit the 16-bit sum.
    EXPECT_EQ(errorOf([] { BiasHoursFrom(Variant(Bytes{0xC4, 0xFF, 0xFF, 0xFF})); }).number(), 6);
}

}  // namespace
}  // namespace qm

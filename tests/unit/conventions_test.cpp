#include <gtest/gtest.h>

#include "platform/checked_int.h"
#include "platform/error_trap.h"
#include "platform/variant.h"
#include "support/fake_trap.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using testing::errorOf;

using testing::FakeTrapServices;
using testing::ProgramEnded;

TEST(CheckedIntegers, OverflowIsRunTimeError6AtBothEndsOfTheRange) {
    for (auto overflowing : std::vector<std::function<void()>>{
             [] {
                 Int16 i = 32767;
                 ++i;
             },
             [] {
                 Int16 i = -32768;
                 --i;
             },
             [] {
                 Int16 i = 200;
                 i *= 200;
             },
             [] {
                 Int16 i = -32768;
                 i = -i;
             },
             [] {
                 Int16 i = -32768;
                 i /= -1;
             },
             [] {
                 Int16 i = 40000;
                 (void)i;
             },
             [] {
                 Int32 i = 2147483647;
                 i += 1;
             },
             [] {
                 Int32 i = 3'000'000'000LL;
                 (void)i;
             },
         }) {
        RunTimeError error = errorOf(overflowing);
        EXPECT_EQ(error.number(), 6);
        EXPECT_EQ(error.description(), "Overflow");
        EXPECT_EQ(error.source(), "Quillmark");
    }
}

TEST(CheckedIntegers, ArithmeticWithinRangeIsExactAndDivisionTruncatesTowardZero) {
    EXPECT_EQ((Int16(32766) + 1).value(), 32767);
    EXPECT_EQ((Int16(-330) / 60).value(), -5);
    EXPECT_EQ((Int16(210) / 60).value(), 3);
    EXPECT_EQ((Int16(-32767) - 1).value(), -32768);
    EXPECT_EQ(errorOf([] { Int16(1) / 0; }).number(), 11);
}

TEST(CheckedIntegers, IndexOutsideAnArrayIsRunTimeError9) {
    std::array<int, 21> bytes{};
    EXPECT_NO_THROW(subscript(bytes, 20));
    for (long long index : {-1LL, 21LL, 1LL << 40}) {
        RunTimeError error = errorOf([&] { subscript(bytes, index); });
        EXPECT_EQ(error.number(), 9);
        EXPECT_EQ(error.description(), "Subscript out of range");
    }
}

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
                     [&] { services.events.push_back("cleanup"); }),
                 ProgramEnded);

    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.titles[0], "Quillmark");
    EXPECT_EQ(services.messages[0],
              "Error 29 in QMK3\r\n"
              "Error Number: -2147016656\r\n"
              "Description:  There is no such object on the server.\r\n"
              "Source:       Active Directory");
    EXPECT_EQ(services.events,
              (std::vector<std::string>{"message", "cleanup", "close connection", "end"}));
}

TEST(ErrorTrap, ErrorsDuringTheCleanUpAreIgnored) {
    FakeTrapServices services;
    ErrorTrap trap("QMK18", services);
    EXPECT_THROW(trap.run([] { throw err::overflow(); },
                          [] { throw RunTimeError(70, "Permission denied", "Quillmark"); }),
                 ProgramEnded);
    EXPECT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.events.back(), "end");
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
    EXPECT_EQ(services.messages[0].substr(0, 15), "Error 1 in QMK2");
}

TEST(ErrorTrap, ForeignExceptionsBecomeRunTimeErrors) {
    FakeTrapServices services;
    ErrorTrap trap("QMK6", services);
    EXPECT_THROW(trap.run([] { throw std::bad_alloc(); }), ProgramEnded);
    EXPECT_NE(services.messages[0].find("Error Number: 7\r\n"), std::string::npos);
    EXPECT_THROW(trap.run([] { throw std::logic_error("broken"); }), ProgramEnded);
    EXPECT_NE(services.messages[1].find("Description:  broken"), std::string::npos);
}

TEST(ErrorTrap, ReturnsTheBodysResultWhenNothingFails) {
    FakeTrapServices services;
    ErrorTrap trap("QMK21", services);
    EXPECT_EQ(trap.run([] { return 42; }), 42);
    EXPECT_TRUE(services.events.empty());
}

TEST(Variant, ConvertsToTextAsTheWindowsPlatformDoes) {
    EXPECT_EQ(Variant(std::int32_t{-300}).toText(), "-300");
    EXPECT_EQ(Variant().toText(), "");
    EXPECT_EQ(Variant("CN=Users").toText(), "CN=Users");
    EXPECT_EQ(errorOf([] { Variant::null().toText(); }).number(), 94);
    EXPECT_EQ(errorOf([] { Variant(Bytes{1, 2}).toText(); }).number(), 13);
    EXPECT_EQ(Variant(Bytes{1}).typeName(), "Byte()");
    EXPECT_EQ(Variant(std::int32_t{0}).typeName(), "Long");
}

}  // namespace
}  // namespace qm

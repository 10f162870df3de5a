#include <gtest/gtest.h>

#include "platform/core/checked_int.h"
#include "platform/core/error_trap.h"
#include "support/fake_trap.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using testing::errorOf;
using testing::FakeTrapServices;
using testing::ProgramEnded;

TEST(CheckedIntegers, OverflowIsRunTimeError6AtBothEndsOfTheRange) {
    const std::function<void()> overflowing[] = {
        [] { ++(Int16(32767)); },
        [] { --(Int16(-32768)); },
        [] { Int16(200) * Int16(200); },
        [] { -Int16(-32768); },
        [] { Int16(-32768) / Int16(-1); },
        [] { Int16(40000); },
        [] { Int32(2147483647) + Int32(1); },
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
    EXPECT_EQ(services.messages,
              std::vector<std::string>{"Error 29 in QMK3\r\n"
                                       "Error Number: -2147016656\r\n"
                                       "Description:  There is no such object on the server.\r\n"
                                       "Source:       Active Directory"});
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

}  // namespace
}  // namespace qm

#include <gtest/gtest.h>

#include "document/distinguished_name.h"
#include "logonhours/logon_hours.h"
#include "logonhours/sheet_layout.h"
#include "setting/csv_line.h"
#include "setting/name_escape.h"
#include "support/fake_trap.h"

namespace qm {
namespace {

using Fields = std::vector<std::string>;

Fields parse(const std::string& line) {
    testing::FakeTrapServices services;
    return ParseCsvLine(line, services);
}

TEST(ParseCsvLine, KeepsCommasInsideQuotesAndUnquotesFields) {
    EXPECT_EQ(parse(R"("x,y",z,w)"), (Fields{"x,y", "z", "w"}));
    EXPECT_EQ(parse(R"("say ""hi""",x)"), (Fields{R"(say "hi")", "x"}));
    EXPECT_EQ(parse(R"("Jim Smith","OU=Sales,OU=West","DC=corp,DC=test")"),
              (Fields{"Jim Smith", "OU=Sales,OU=West", "DC=corp,DC=test"}));
    // The first and last characters go whatever the last one is.
    EXPECT_EQ(parse(R"("abc"d,e)"), (Fields{"abc\"", "e"}));
}

TEST(ParseCsvLine, NeitherTrimsNorInventsFields) {
    EXPECT_EQ(parse(R"(a, "b")"), (Fields{"a", R"( "b")"}));
    EXPECT_EQ(parse("x,,z"), (Fields{"x", "", "z"}));
    EXPECT_EQ(parse("   "), (Fields{""}));
    EXPECT_EQ(parse(""), (Fields{""}));
    EXPECT_EQ(parse("x,y"), (Fields{"x", "y"}));
    EXPECT_EQ(parse("x,"), (Fields{"x", ""}));
}

TEST(ParseCsvLine, UnbalancedQuotesDropTheRestOfTheLine) {
    EXPECT_EQ(parse(R"(x,"abc)"), (Fields{"x"}));
    EXPECT_EQ(parse(R"("abc)"), Fields{});
    EXPECT_EQ(parse(R"(")"), Fields{});
}

TEST(ParseCsvLine, ReadsBackWhatTheWriterWrites) {
    const Fields fields = {"Smith, Jim", "OU=Sales,OU=West", "DC=corp,DC=test", "",
                           "a b",        R"(Say "Hi")",      R"(a"b)",          R"(")"};
    EXPECT_EQ(parse(sheet::formatCsvRecord(fields)), fields);
    EXPECT_EQ(sheet::formatCsvRecord({R"(a"b)"}), R"("a""b")");
    EXPECT_EQ(sheet::formatCsvRecord({"a", "", "b"}), R"("a","","b")");
}

TEST(ParseCsvLine, LongLinesAreParsedNotOverflowed) {
    const std::string longField(40000, 'x');
    EXPECT_EQ(parse(longField + ",y"), (Fields{longField, "y"}));
}

TEST(NameEscape, EscapesInOrderWithTheBackslashFirst) {
    EXPECT_EQ(EscapeName("Smith, Jim"), "Smith\\, Jim");
    EXPECT_EQ(EscapeName("a\\,b"), "a\\\\\\,b");
    EXPECT_EQ(EscapeName("x/y"), "x\\/y");
    EXPECT_EQ(EscapeName("="), "\\=");
    EXPECT_EQ(EscapeName(R"(#1 "A"+<B>;C\D)"), R"(\#1 \"A\"\+\<B\>\;C\\D)");
    EXPECT_EQ(EscapeName("Zoë Ångström"), "Zoë Ångström");
}

TEST(UserLocation, CutsContainerAndDomainFromTheDistinguishedName) {
    struct Case {
        std::string dn, container, domain;
    };
    const std::vector<Case> cases = {
        {"CN=Smith\\, Jim,OU=Sales,OU=West,DC=corp,DC=test", "OU=Sales,OU=West", "DC=corp,DC=test"},
        {"CN=Ann\\=Lee,CN=Users,DC=corp,DC=test", "CN=Users", "DC=corp,DC=test"},
        {"cn=lower,ou=Sales,dc=corp,dc=test", "ou=Sales", "dc=corp,dc=test"},
        // Samba writes an escaped "=" in hexadecimal.
        {"CN=a\\3Db,OU=East,OU=West,DC=corp,DC=test", "OU=East,OU=West", "DC=corp,DC=test"},
        {"CN=Dept/IT Admin,OU=West,DC=corp,DC=test", "OU=West", "DC=corp,DC=test"},
        {"CN=x\\=y\\=z,OU=A\\=B,DC=corp,DC=test", "OU=A\\=B", "DC=corp,DC=test"},
        // Directly in the domain object: no container.
        {"CN=Direct,DC=corp,DC=test", "", "DC=corp,DC=test"},
    };
    for (const Case& c : cases) {
        UserLocation location = DeriveUserLocation(c.dn);
        EXPECT_EQ(location.container, c.container) << c.dn;
        EXPECT_EQ(location.domain, c.domain) << c.dn;
    }
}

TEST(UserLocation, ANameWithoutDomainComponentsIsARunTimeError) {
    try {
        DeriveUserLocation("CN=Bob,O=Example");
        FAIL();
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 5);
        EXPECT_NE(error.description().find("CN=Bob,O=Example"), std::string::npos);
    }
}

TEST(SheetLayout, BlocksStartEveryNineRowsFromRowThree) {
    EXPECT_EQ(sheet::blockFirstRow(0), 3);
    EXPECT_EQ(sheet::blockFirstRow(1), 12);
    EXPECT_EQ(sheet::blockFirstRow(2), 21);
    EXPECT_EQ(std::string(sheet::kHoursHeading).size(), std::string(kAllHoursAllowed).size());
}

}  // namespace
}  // namespace qm

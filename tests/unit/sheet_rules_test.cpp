#include "document/distinguished_name.h"
#include "logonhours/sheet_layout.h"
#include "setting/csv_line.h"
#include "support/run_time_errors.h"

namespace qm {
namespace {

using Fields = std::vector<std::string>;

// Each line with the fields the sheet reader relies on; that what the writer writes reads back is
// the fuzz target's to show.
TEST(ParseCsvLine, SplitsAtCommasOutsideQuotes) {
    const std::string longField(40000, 'x');  // wider than 16-bit positions
    const std::pair<std::string, Fields> cases[] = {
        {R"("x,y",z,w)", {"x,y", "z", "w"}},
        {R"("abc"d,e)", {"abc\"", "e"}},  // first and last go, whatever the last one is
        {R"(a, "b")", {"a", R"( "b")"}},  // never trimmed
        {"x,,z", {"x", "", "z"}},
        {"", {""}},
        {R"(x,"abc)", {"x"}},  // unbalanced quotes drop the rest of the line
        {R"(")", {}},
        {longField + ",y", {longField, "y"}},
    };
    testing::FakeTrapServices services;
    for (const auto& [line, fields] : cases) {
        EXPECT_EQ(ParseCsvLine(line, services), fields) << line.substr(0, 40);
    }
    EXPECT_EQ(sheet::formatCsvRecord({"a", "", R"(a"b)"}), R"("a","","a""b")");
}

// The DN escapes Samba writes (a comma, "=" in hexadecimal) and a user directly in the domain are
// documented from the sandbox domain end to end; an escaped "=" in a container is not there.
TEST(UserLocation, CutsContainerAndDomainFromTheDistinguishedName) {
    const UserLocation location = DeriveUserLocation("CN=x\\=y\\=z,OU=A\\=B,DC=corp,DC=test");
    EXPECT_EQ(location.container, "OU=A\\=B");
    EXPECT_EQ(location.domain, "DC=corp,DC=test");
    // A name without domain components is an error.
    const RunTimeError error = testing::errorOf([] { DeriveUserLocation("CN=Bob,O=Example"); });
    EXPECT_EQ(error.number(), 5);
    EXPECT_NE(error.description().find("CN=Bob,O=Example"), std::string::npos);
}

}  // namespace
}  // namespace qm

// The LDAP provider and the query connection against the sandbox's real Samba AD DCs (corp.test and
// the separate forest branch.test). Runs inside the sandbox's namespace (scripts/sandbox exec),
// where the DCs' names resolve and LDAPCONF, KRB5_CONFIG and KRB5CCNAME name the sandbox's files.
// The servers' own tools (ldapsearch, ldapmodify) are the independent view to compare with.

#include <gtest/gtest.h>
#include <ldap.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "platform/directory_services.h"
#include "platform/domain_locator.h"
#include "platform/ldap_error.h"
#include "platform/ldap_path.h"
#include "platform/ldap_query.h"
#include "setting/name_escape.h"
#include "support/fake_dialogs.h"
#include "support/loopback_listener.h"
#include "support/sandbox_tools.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using testing::FakeDialogs;
using testing::nonEmptyLines;
using testing::runCommand;
using testing::sandboxFact;
using testing::sandboxPassword;
using testing::ShownDialog;

const std::string kCorp = "DC=corp,DC=test";
const std::string kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// --- the DC's own view, through the OpenLDAP tools ----------------------------------------------

std::string ldapTool(const std::string& tool) {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
           sandboxFact("CORP_DOMAIN") + " -y '" + sandboxFact("SANDBOX_PASSWORD_FILE") + "'";
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

Bytes base64Decoded(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Bytes bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const auto index = alphabet.find(c);
        if (index == std::string::npos) {
            continue;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

std::string asText(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// The value of "name:" or "name::" (base64) on an LDIF line; nothing when the line is another.
std::optional<std::string> ldifValue(const std::string& line, const std::string& name) {
    if (line.rfind(name + ":: ", 0) == 0) {
        return asText(base64Decoded(line.substr(name.size() + 3)));
    }
    if (line.rfind(name + ": ", 0) == 0) {
        return line.substr(name.size() + 2);
    }
    return std::nullopt;
}

// One entry per "dn:" of a paged ldapsearch, with the values of the attributes asked.
struct LdifEntry {
    std::string dn;
    std::map<std::string, std::vector<std::string>> values;
};

std::vector<LdifEntry> ldapsearch(const std::string& base, const std::string& scope,
                                  const std::string& filter, const std::string& attributes) {
    const std::string output = runCommand(
        ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no -E pr=1000/noprompt -b " +
        shellQuoted(base) + " -s " + scope + " " + shellQuoted(filter) + " " + attributes);
    std::vector<LdifEntry> entries;
    for (const std::string& line : nonEmptyLines(output)) {
        if (auto dn = ldifValue(line, "dn")) {
            entries.push_back({*dn, {}});
            continue;
        }
        const auto colon = line.find(':');
        if (entries.empty() || colon == std::string::npos || line[0] == '#') {
            continue;
        }
        const std::string name = line.substr(0, colon);
        entries.back().values[name].push_back(*ldifValue(line, name));
    }
    return entries;
}

// logonHours as the DC holds it; nothing when the user has none.
std::optional<Bytes> serverLogonHours(const std::string& dn) {
    const auto entries = ldapsearch(dn, "base", "(objectClass=*)", "logonHours");
    if (entries.empty() || entries.front().values.count("logonHours") == 0) {
        return std::nullopt;
    }
    const std::string& value = entries.front().values.at("logonHours").front();
    return Bytes(value.begin(), value.end());
}

void ldapmodify(const std::string& ldif) {
    const std::string file = "/tmp/quillmark-ldap-test-" + std::to_string(getpid()) + ".ldif";
    std::ofstream(file) << ldif;
    runCommand(ldapTool("ldapmodify") + " -f " + file + " >/dev/null 2>&1; status=$?; rm -f " +
               file + "; exit $status");
}

std::string base64Of(const Bytes& bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned chunk = (bytes[i] << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                               (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        for (std::size_t j = 0; j < 4; ++j) {
            text += j <= (bytes.size() - i) ? alphabet[(chunk >> (18 - 6 * j)) & 63] : '=';
        }
    }
    return text;
}

void setLogonHoursWithLdapmodify(const std::string& dn, const std::optional<Bytes>& value) {
    std::string ldif = "dn: " + dn + "\nchangetype: modify\n";
    ldif += value ? "replace: logonHours\nlogonHours:: " + base64Of(*value) + "\n-\n"
                  : "delete: logonHours\n-\n";
    ldapmodify(ldif);
}

Bytes bytesCounting(std::uint8_t first, std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + 37 * i);
    }
    return bytes;
}

// Restores a user's logon hours when a test ends, passed or failed.
class LogonHoursRestorer {
public:
    explicit LogonHoursRestorer(std::string dn)
        : dn_(std::move(dn)), original_(serverLogonHours(dn_)) {}
    ~LogonHoursRestorer() {
        try {
            setLogonHoursWithLdapmodify(dn_, original_);
        } catch (...) {
        }
    }

private:
    std::string dn_;
    std::optional<Bytes> original_;
};

template <typename Operation>
RunTimeError errorOf(Operation&& operation) {
    try {
        operation();
    } catch (const RunTimeError& error) {
        return error;
    }
    ADD_FAILURE() << "no run-time error was raised";
    return {0, "", ""};
}

template <typename Operation>
std::chrono::milliseconds timeOf(Operation&& operation) {
    const auto start = std::chrono::steady_clock::now();
    operation();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

// --- fixture
// --------------------------------------------------------------------------------------

class LdapSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sandboxCache() = std::getenv("KRB5CCNAME") != nullptr ? std::getenv("KRB5CCNAME") : "";
        runCommand("kinit Administrator@CORP.TEST < '" + sandboxFact("SANDBOX_PASSWORD_FILE") +
                   "' >/dev/null");
    }
    static std::string& sandboxCache() {
        static std::string cache;
        return cache;
    }

    // Every test starts as the Administrator holding a Kerberos ticket.
    void SetUp() override { setenv("KRB5CCNAME", sandboxCache().c_str(), 1); }

    // As a person without a ticket, who is asked for a password.
    void withoutTicket() { setenv("KRB5CCNAME", "FILE:/nonexistent/quillmark-no-ticket", 1); }

    void answerSignIn(const std::string& user, const std::string& password) {
        dialogs.inputAnswers.push_back(user);
        dialogs.inputAnswers.push_back(password);
    }

    int inputBoxesShown() const {
        int count = 0;
        for (const auto& box : dialogs.shown) {
            count += box.kind == ShownDialog::Kind::Input ? 1 : 0;
        }
        return count;
    }

    std::unique_ptr<DirectoryObject> bind(const std::string& dn) {
        return directory->bind("LDAP://" + dn);
    }

    // Every row of a query, as the Document run reads them.
    std::vector<std::map<std::string, Variant>> query(const std::string& source,
                                                      const std::vector<std::string>& fields,
                                                      int* pages = nullptr) {
        auto connection = directory->newConnection();
        connection->Open("Active Directory Provider", "", "");
        auto recordset = connection->newRecordset();
        recordset->setSource(source);
        recordset->Open();
        std::vector<std::map<std::string, Variant>> rows;
        while (!recordset->Eof()) {
            auto& row = rows.emplace_back();
            for (const std::string& field : fields) {
                row[field] = recordset->Fields(field);
            }
            recordset->MoveNext();
        }
        if (pages != nullptr) {
            *pages = dynamic_cast<LdapRecordset&>(*recordset).pagesRead();
        }
        recordset->Close();
        connection->Close();
        return rows;
    }

    FakeDialogs dialogs;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
};

// --- binding ------------------------------------------------------------------------------------

TEST_F(LdapSandbox, RootDseNamesTheForestRootDomain) {
    auto root = directory->bind("LDAP://RootDSE");
    EXPECT_EQ(root->Get("rootDomainNamingContext").toText(), kCorp);
    EXPECT_EQ(root->Get("defaultNamingContext").toText(), kCorp);
    EXPECT_EQ(root->Get("ROOTDOMAINNAMINGCONTEXT").toText(), kCorp);
    EXPECT_TRUE(root->Get("noSuchAttribute").isNull());
    EXPECT_EQ(root->ADsPath(), "LDAP://RootDSE");
    EXPECT_TRUE(dialogs.shown.empty()) << "the Kerberos ticket signs in";
}

TEST_F(LdapSandbox, BoundObjectsHaveTheirRelativeNameAndAPathThatBindsThemAgain) {
    const std::vector<std::pair<std::string, std::string>> objects = {
        {kCorp, "DC=corp"},
        {"CN=Users," + kCorp, "CN=Users"},
        {"OU=Sales,OU=West," + kCorp, "OU=Sales"},
        {"CN=System,OU=West," + kCorp, "CN=System"},
        {"CN=Smith\\, Jim,OU=Sales,OU=West," + kCorp, "CN=Smith\\, Jim"},
    };
    for (const auto& [dn, name] : objects) {
        auto object = bind(dn);
        EXPECT_EQ(object->Name(), name);
        EXPECT_EQ(object->ADsPath(), "LDAP://" + dn);
        auto again = directory->bind(object->ADsPath());
        EXPECT_EQ(again->ADsPath(), object->ADsPath());
        EXPECT_EQ(again->Get("distinguishedName").toText(), dn);
    }
    // The path carries the DN as the directory writes it, so one object has one path.
    EXPECT_EQ(bind("ou=sales,ou=west,dc=corp,dc=test")->ADsPath(),
              "LDAP://OU=Sales,OU=West," + kCorp);
    // A server named in the path is kept in it.
    EXPECT_EQ(directory->bind("LDAP://dc1.corp.test/OU=West," + kCorp)->ADsPath(),
              "LDAP://dc1.corp.test/OU=West," + kCorp);
}

TEST_F(LdapSandbox, AUserBindReadsItsFourAttributesInOneGo) {
    auto user = bind("CN=Kim Park,CN=Users," + kCorp);
    EXPECT_EQ(user->Get("cn").toText(), "Kim Park");
    EXPECT_EQ(user->Get("sAMAccountName").toText(), "kpark");
    EXPECT_EQ(user->Get("distinguishedName").toText(), "CN=Kim Park,CN=Users," + kCorp);
    EXPECT_EQ(user->Get("logonHours").bytes(), *serverLogonHours("CN=Kim Park,CN=Users," + kCorp));
    EXPECT_TRUE(bind("CN=Ann\\=Lee,OU=Sales,OU=West," + kCorp)->Get("logonHours").isNull());
    // An attribute the bind did not read is read when asked for.
    EXPECT_EQ(user->Get("userPrincipalName").type(), Variant::Type::Null);
    EXPECT_EQ(user->Get("name").toText(), "Kim Park");
}

TEST_F(LdapSandbox, MissingObjectsAndBadPathsAreRunTimeErrors) {
    const auto missing = errorOf([&] { bind("OU=Nowhere," + kCorp); });
    EXPECT_EQ(missing.number(), -2147016656);  // 0x80072030
    EXPECT_EQ(missing.source(), "LDAP provider");
    EXPECT_NE(missing.description().find("OU=Nowhere," + kCorp), std::string::npos)
        << missing.description();
    EXPECT_NE(missing.description().find("dc1.corp.test"), std::string::npos);

    for (const std::string path : {"LDAP:/OU=West", "LDAP://", "LDAP://NotADn", "ldap://RootDSE"}) {
        const auto bad = errorOf([&] { directory->bind(path); });
        EXPECT_TRUE(bad.number() == hresult::BadPathName || bad.number() == -2147221020) << path;
    }
    EXPECT_EQ(errorOf([&] { directory->bind("LDAP://"); }).number(), hresult::BadPathName);
}

TEST_F(LdapSandbox, WinNtPathsGoToTheWinNtProviderAndOthersAreRefused) {
    answerSignIn("Administrator", sandboxPassword());
    EXPECT_EQ(directory->bind("WinNT://PC01,computer")->Name(), "PC01");
    const auto unknown = errorOf([&] { directory->bind("GC://DC=corp,DC=test"); });
    EXPECT_EQ(unknown.number(), -2147221020);  // 0x800401E4, "Invalid syntax"
}

// --- enumeration --------------------------------------------------------------------------------

std::vector<std::string> pathsOf(const std::vector<std::unique_ptr<DirectoryObject>>& objects) {
    std::vector<std::string> paths;
    for (const auto& object : objects) {
        paths.push_back(object->ADsPath());
    }
    return paths;
}

// The one-level children of a DN whose most specific class is one of the classes, in the DC's
// order.
std::vector<std::string> serverChildren(const std::string& dn,
                                        const std::set<std::string>& classes) {
    std::string filter = "(|";
    for (const auto& name : classes) {
        filter += "(objectClass=" + name + ")";
    }
    std::vector<std::string> paths;
    for (const auto& entry : ldapsearch(dn, "one", filter + ")", "objectClass")) {
        if (classes.count(entry.values.at("objectClass").back()) != 0) {
            paths.push_back("LDAP://" + entry.dn);
        }
    }
    return paths;
}

TEST_F(LdapSandbox, FilteredChildrenAreTheContainersInTheDirectorysOrder) {
    const std::set<std::string> containers = {"container", "organizationalUnit", "builtinDomain"};
    auto domain = bind(kCorp);
    domain->setFilter({"container", "organizationalUnit", "builtinDomain"});
    const auto children = domain->children();
    EXPECT_EQ(pathsOf(children), serverChildren(kCorp, containers));

    std::set<std::string> names;
    for (const auto& child : children) {
        names.insert(child->Name());
    }
    for (const char* expected : {"CN=Builtin", "CN=Users", "CN=Computers", "CN=System",
                                 "OU=Domain Controllers", "OU=West", "OU=Many", "OU=Empty"}) {
        EXPECT_EQ(names.count(expected), 1U) << expected;
    }
    // A user directly in the domain, and objects of other classes, are no containers.
    for (const char* excluded :
         {"CN=Root User", "CN=LostAndFound", "CN=Infrastructure", "CN=NTDS Quotas"}) {
        EXPECT_EQ(names.count(excluded), 0U) << excluded;
    }
    // Each child works as a container in its turn; the System container below an OU is one too.
    auto west = std::find_if(children.begin(), children.end(),
                             [](const auto& child) { return child->Name() == "OU=West"; });
    ASSERT_NE(west, children.end());
    (*west)->setFilter({"container", "organizationalUnit", "builtinDomain"});
    std::set<std::string> below;
    for (const auto& child : (*west)->children()) {
        below.insert(child->Name());
    }
    EXPECT_EQ(below, (std::set<std::string>{"OU=Sales", "OU=East", "CN=System"}));

    domain->setFilter({"domain"});
    EXPECT_TRUE(domain->children().empty()) << "the sandbox forest has no child domains";
}

TEST_F(LdapSandbox, UsersComputersGroupsAndContactsAreToldApartByTheirOwnClass) {
    auto east = bind("OU=East,OU=West," + kCorp);
    const auto namesOf = [&](const std::vector<std::string>& classes) {
        east->setFilter(classes);
        std::set<std::string> names;
        for (const auto& child : east->children()) {
            names.insert(child->Name());
        }
        return names;
    };
    EXPECT_EQ(namesOf({"container", "organizationalUnit", "builtinDomain"}),
              std::set<std::string>{});
    EXPECT_EQ(namesOf({"user"}),
              (std::set<std::string>{"CN=Dept/IT Admin", "CN=\\#1 Fan", "CN=A\\+B",
                                     "CN=Say \\\"Hi\\\"", "CN=Back\\\\Slash"}));
    EXPECT_EQ(namesOf({"computer"}), std::set<std::string>{"CN=EASTPC1"});
    EXPECT_EQ(namesOf({"group"}), std::set<std::string>{"CN=East Staff"});
    EXPECT_EQ(namesOf({"contact"}), std::set<std::string>{"CN=East Vendor"});
    EXPECT_EQ(namesOf({}).size(), 8U) << "no filter: every child";
}

// --- the query connection -----------------------------------------------------------------------

TEST_F(LdapSandbox, RecordsetReadsMoreThanAThousandUsersPageByPageAsTheDirectoryHoldsThem) {
    const std::string many = "OU=Many," + kCorp;
    int pages = 0;
    const auto rows = query("<LDAP://" + many + ">;" + kUserFilter +
                                ";logonHours,sAMAccountName,distinguishedName,cn;oneLevel",
                            {"logonHours", "sAMAccountName", "distinguishedName", "cn"}, &pages);
    const auto expected =
        ldapsearch(many, "one", kUserFilter, "logonHours sAMAccountName distinguishedName cn");
    ASSERT_EQ(expected.size(), 1200U);
    ASSERT_EQ(rows.size(), expected.size());
    EXPECT_EQ(pages, 2) << "1,200 rows in pages of 1,000: the paged-results control was sent";
    std::set<std::string> distinct;
    int withHours = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        const auto& entry = expected[i];
        EXPECT_EQ(row.at("distinguishedName").toText(), entry.dn) << "row " << i;
        EXPECT_EQ(row.at("cn").toText(), entry.values.at("cn").front());
        EXPECT_EQ(row.at("sAMAccountName").toText(), entry.values.at("sAMAccountName").front());
        if (entry.values.count("logonHours") != 0) {
            const std::string& hours = entry.values.at("logonHours").front();
            EXPECT_EQ(row.at("logonHours").bytes(), Bytes(hours.begin(), hours.end()));
            ++withHours;
        } else {
            EXPECT_TRUE(row.at("logonHours").isNull());
        }
        distinct.insert(entry.dn);
    }
    EXPECT_EQ(distinct.size(), 1200U);
    EXPECT_EQ(withHours, 400);
}

TEST_F(LdapSandbox, RecordCountCountsOneLevelOnly) {
    auto connection = directory->newConnection();
    EXPECT_EQ(connection->State(), 0);
    connection->Open("Active Directory Provider", "", "");
    EXPECT_EQ(connection->State(), 1);
    const auto countOf = [&](const std::string& base, const std::string& scope = "oneLevel") {
        auto recordset = connection->newRecordset();
        recordset->setSource("<LDAP://" + base + ">;" + kUserFilter + ";distinguishedName;" +
                             scope);
        recordset->Open();
        const std::int32_t count = recordset->RecordCount();
        EXPECT_EQ(count, recordset->RecordCount());
        recordset->Close();
        return count;
    };
    EXPECT_EQ(countOf("OU=Many," + kCorp), 1200);
    EXPECT_EQ(countOf("OU=Sales,OU=West," + kCorp), 4) << "not the group, contact or computer";
    EXPECT_EQ(countOf("OU=West," + kCorp), 1) << "West Lead only: the OUs below are not counted";
    EXPECT_EQ(countOf("OU=West," + kCorp, "subtree"), 11);
    EXPECT_EQ(countOf("CN=Smith\\, Jim,OU=Sales,OU=West," + kCorp, "base"), 1);
    EXPECT_EQ(countOf(kCorp), 1) << "the user placed directly in the domain";
    EXPECT_EQ(countOf("OU=Empty," + kCorp), 0);
    connection->Close();
    EXPECT_EQ(connection->State(), 0);
}

TEST_F(LdapSandbox, RecordsetMisuseGivesTheQueryErrors) {
    auto connection = directory->newConnection();
    connection->Open("Active Directory Provider", "", "");
    auto recordset = connection->newRecordset();
    EXPECT_EQ(errorOf([&] { recordset->Eof(); }).number(), adoerror::ObjectClosed);

    recordset->setSource("<LDAP://OU=Empty," + kCorp + ">;" + kUserFilter + ";cn;oneLevel");
    recordset->Open();
    EXPECT_TRUE(recordset->Eof());
    EXPECT_EQ(errorOf([&] { recordset->Fields("cn"); }).number(), adoerror::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { recordset->MoveNext(); }).number(), adoerror::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { recordset->Open(); }).number(), adoerror::ObjectOpen);
    recordset->Close();

    recordset->setSource("<LDAP://OU=Sales,OU=West," + kCorp + ">;" + kUserFilter + ";cn;oneLevel");
    recordset->Open();
    const auto unknown = errorOf([&] { recordset->Fields("sAMAccountName"); });
    EXPECT_EQ(unknown.number(), adoerror::ItemNotFound);
    EXPECT_EQ(unknown.source(), "Directory query");
    recordset->Close();

    recordset->setSource("<LDAP://OU=Nowhere," + kCorp + ">;" + kUserFilter + ";cn;oneLevel");
    const auto missing = errorOf([&] { recordset->Open(); });
    EXPECT_EQ(missing.number(), -2147016656);
    EXPECT_EQ(missing.source(), "Directory query");
    EXPECT_NE(missing.description().find("OU=Nowhere"), std::string::npos);

    recordset->setSource("<LDAP://" + kCorp + ">;(&(objectClass=user;cn;oneLevel");
    EXPECT_EQ(errorOf([&] { recordset->Open(); }).number(), -2147016642);  // bad filter 0x8007203E
    recordset->setSource("LDAP://" + kCorp + ";" + kUserFilter + ";cn;oneLevel");
    EXPECT_EQ(errorOf([&] { recordset->Open(); }).number(), adoerror::ErrorsInCommand);

    connection->Close();
    recordset->setSource("<LDAP://" + kCorp + ">;" + kUserFilter + ";cn;oneLevel");
    EXPECT_EQ(errorOf([&] { recordset->Open(); }).number(), adoerror::ConnectionClosed);
}

// --- names: the escaped common name rebuilds the distinguished name ---------------------------

struct SampleUser {
    std::string cn;
    std::string container;  // empty: directly in the domain
};

TEST_F(LdapSandbox, EveryTrickyNameBindsByTheDistinguishedNameRebuiltFromItsCommonName) {
    const std::vector<SampleUser> users = {
        {"Smith, Jim", "OU=Sales,OU=West"},
        {"Ann=Lee", "OU=Sales,OU=West"},
        {"Zo\u00eb \u00c5ngstr\u00f6m", "OU=Sales,OU=West"},
        {"Lee; Jr <Ops>", "OU=Sales,OU=West"},
        {"Dept/IT Admin", "OU=East,OU=West"},
        {"#1 Fan", "OU=East,OU=West"},
        {"A+B", "OU=East,OU=West"},
        {"Say \"Hi\"", "OU=East,OU=West"},
        {"Back\\Slash", "OU=East,OU=West"},
        {"Sys Op", "CN=System,OU=West"},
        {"Kim Park", "CN=Users"},
        {"Root User", ""},
    };
    // The DNs as the directory writes them, from the same search the Document run makes.
    std::map<std::string, std::string> dnByName;
    for (const std::string& base : {"OU=Sales,OU=West," + kCorp, "OU=East,OU=West," + kCorp,
                                    "CN=System,OU=West," + kCorp, "CN=Users," + kCorp, kCorp}) {
        for (const auto& row :
             query("<LDAP://" + base + ">;" + kUserFilter + ";distinguishedName,cn;oneLevel",
                   {"distinguishedName", "cn"})) {
            dnByName[row.at("cn").toText()] = row.at("distinguishedName").toText();
        }
    }
    for (const auto& user : users) {
        const std::string rebuilt =
            "CN=" + EscapeName(user.cn) + "," +
            (user.container.empty() ? std::string() : user.container + ",") + kCorp;
        SCOPED_TRACE(rebuilt);
        auto object = directory->bind("LDAP://" + rebuilt);
        EXPECT_EQ(object->Get("cn").toText(), user.cn);
        ASSERT_EQ(dnByName.count(user.cn), 1U);
        EXPECT_EQ(object->Get("distinguishedName").toText(), dnByName.at(user.cn));
        EXPECT_EQ(object->ADsPath(), "LDAP://" + dnByName.at(user.cn));
        // The path that the tree and the query use binds the same user again.
        EXPECT_EQ(directory->bind(object->ADsPath())->Get("cn").toText(), user.cn);
    }
}

// --- logon hours
// ----------------------------------------------------------------------------------

// The user these tests write to (the WinNT provider's tests write to another one).
const std::string kPatOrtiz = "CN=Pat Ortiz,CN=Users," + kCorp;

TEST_F(LdapSandbox, LogonHoursSavedThroughPutAndSetInfoAreWhatLdapsearchReads) {
    LogonHoursRestorer restore(kPatOrtiz);
    for (const Bytes& value : {bytesCounting(0x80, 21), Bytes(21, 0x00), Bytes(21, 0xFF)}) {
        auto user = bind(kPatOrtiz);
        user->Put("logonHours", value);
        user->SetInfo();
        EXPECT_EQ(serverLogonHours(kPatOrtiz), value);
        EXPECT_EQ(user->Get("logonHours").bytes(), value) << "the object holds what it saved";
        EXPECT_EQ(bind(kPatOrtiz)->Get("logonHours").bytes(), value);
    }
}

TEST_F(LdapSandbox, LogonHoursSavedByLdapmodifyAreWhatTheProviderReads) {
    LogonHoursRestorer restore(kPatOrtiz);
    const Bytes value = bytesCounting(0x0F, 21);
    setLogonHoursWithLdapmodify(kPatOrtiz, value);
    EXPECT_EQ(bind(kPatOrtiz)->Get("logonHours").bytes(), value);
    const auto rows =
        query("<LDAP://CN=Users," + kCorp + ">;(cn=Pat Ortiz);logonHours;oneLevel", {"logonHours"});
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows.front().at("logonHours").bytes(), value);
}

TEST_F(LdapSandbox, ValuesOtherThanTwentyOneBytesAreRefusedBeforeAnythingIsSent) {
    LogonHoursRestorer restore(kPatOrtiz);
    const Bytes before = bytesCounting(0x11, 21);
    setLogonHoursWithLdapmodify(kPatOrtiz, before);
    auto user = bind(kPatOrtiz);
    for (const Variant& value : {Variant(Bytes(20, 0xFF)), Variant(Bytes(22, 0xFF)),
                                 Variant(Bytes()), Variant("FFFFFF")}) {
        const auto error = errorOf([&] { user->Put("logonHours", value); });
        EXPECT_EQ(error.number(), hresult::InvalidArgument);
        EXPECT_EQ(error.source(), "LDAP provider");
        EXPECT_NE(error.description().find("21 bytes"), std::string::npos);
    }
    user->SetInfo();  // nothing was staged
    EXPECT_EQ(serverLogonHours(kPatOrtiz), before);
}

TEST_F(LdapSandbox, LogonHoursOfAnyOtherLengthAreReadAsTheServerHoldsThem) {
    EXPECT_EQ(bind("CN=Long Hours,OU=Odd," + kCorp)->Get("logonHours").bytes().size(), 22U);
    EXPECT_EQ(bind("CN=Short Hours,OU=Odd," + kCorp)->Get("logonHours").bytes(), Bytes(20, 0xF0));
    std::map<std::string, std::size_t> lengths;
    for (const auto& row :
         query("<LDAP://OU=Odd," + kCorp + ">;" + kUserFilter + ";cn,logonHours;oneLevel",
               {"cn", "logonHours"})) {
        lengths[row.at("cn").toText()] = row.at("logonHours").bytes().size();
    }
    EXPECT_EQ(lengths,
              (std::map<std::string, std::size_t>{{"Long Hours", 22}, {"Short Hours", 20}}));
}

// --- signing in
// -----------------------------------------------------------------------------------

TEST_F(LdapSandbox, AKerberosTicketSignsInWithoutAskingAnything) {
    ASSERT_TRUE(credentials.hasKerberosTicket());
    EXPECT_EQ(bind(kCorp)->Name(), "DC=corp");
    EXPECT_EQ(query("<LDAP://CN=Users," + kCorp + ">;(cn=Kim Park);cn;oneLevel", {"cn"}).size(),
              1U);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(LdapSandbox, APasswordIsAskedOnceAndSentOverStartTls) {
    withoutTicket();
    ASSERT_FALSE(credentials.hasKerberosTicket());
    answerSignIn("Administrator@corp.test", sandboxPassword());
    EXPECT_EQ(directory->bind("LDAP://RootDSE")->Get("rootDomainNamingContext").toText(), kCorp);
    EXPECT_EQ(bind("OU=West," + kCorp)->Name(), "OU=West");
    EXPECT_EQ(
        query("<LDAP://OU=Many," + kCorp + ">;" + kUserFilter + ";cn;oneLevel", {"cn"}).size(),
        1200U);
    EXPECT_EQ(inputBoxesShown(), 2) << "user name and password, once for the whole run";
    ASSERT_EQ(dialogs.shown.size(), 2U);
    EXPECT_TRUE(dialogs.shown[1].masked);
}

TEST_F(LdapSandbox, APasswordIsSentOverLdapsWhenThePathNamesItsPort) {
    withoutTicket();
    answerSignIn("CORP\\Administrator", sandboxPassword());
    auto west = directory->bind("LDAP://dc1.corp.test:636/OU=West," + kCorp);
    EXPECT_EQ(west->ADsPath(), "LDAP://dc1.corp.test:636/OU=West," + kCorp);
    west->setFilter({"organizationalUnit"});
    EXPECT_EQ(west->children().size(), 2U);
}

TEST_F(LdapSandbox, ARefusedPasswordIsAClearErrorAndIsAskedForAgain) {
    withoutTicket();
    answerSignIn("Administrator@corp.test", "not the password");
    const auto refused = errorOf([&] { bind(kCorp); });
    EXPECT_EQ(refused.number(), -2147023570);  // 0x8007052E
    EXPECT_EQ(refused.source(), "LDAP provider");
    EXPECT_NE(refused.description().find("Administrator@corp.test"), std::string::npos)
        << refused.description();
    EXPECT_EQ(refused.description().find("not the password"), std::string::npos);

    answerSignIn("Administrator@corp.test", sandboxPassword());
    EXPECT_EQ(bind(kCorp)->Name(), "DC=corp");
    EXPECT_EQ(inputBoxesShown(), 4);

    FakeDialogs cancelling;
    Credentials cancelled(cancelling);
    auto other = makeDirectoryServices(cancelled);
    EXPECT_EQ(errorOf([&] { other->bind("LDAP://" + kCorp); }).number(), hresult::Cancelled);
}

TEST_F(LdapSandbox, AnOrdinaryUserMayNotChangeLogonHours) {
    withoutTicket();
    answerSignIn("qoperator@corp.test", sandboxPassword());
    auto user = bind(kPatOrtiz);
    EXPECT_EQ(user->Get("cn").toText(), "Pat Ortiz");
    user->Put("logonHours", Bytes(21, 0x00));
    const auto denied = errorOf([&] { user->SetInfo(); });
    EXPECT_EQ(denied.number(), -2147024891);  // 0x80070005
    EXPECT_NE(denied.description().find(kPatOrtiz), std::string::npos) << denied.description();
}

// --- locating domains ---------------------------------------------------------------------------

TEST_F(LdapSandbox, AnotherForestIsFoundByItsDomainNameAndAsksForAPassword) {
    // The CORP ticket is of no use in BRANCH (no trust): its DC is reached with a password.
    answerSignIn("Administrator@branch.test", sandboxPassword());
    auto branch = bind("DC=branch,DC=test");
    EXPECT_EQ(branch->Name(), "DC=branch");
    EXPECT_EQ(branch->ADsPath(), "LDAP://DC=branch,DC=test");
    branch->setFilter({"container", "organizationalUnit", "builtinDomain"});
    std::set<std::string> names;
    for (const auto& child : branch->children()) {
        names.insert(child->Name());
    }
    EXPECT_EQ(names.count("OU=Branch Office"), 1U);
    const auto tellers = query(
        "<LDAP://OU=Tellers,OU=Branch Office,DC=branch,DC=test>;" + kUserFilter + ";cn;oneLevel",
        {"cn"});
    EXPECT_EQ(tellers.size(), 2U);
    EXPECT_EQ(inputBoxesShown(), 2);
    // The own forest still signs in with the ticket.
    EXPECT_EQ(bind(kCorp)->Name(), "DC=corp");
    EXPECT_EQ(inputBoxesShown(), 2);
}

TEST_F(LdapSandbox, TheOwnDomainIsFoundThroughDnsSrvRecordsWithoutAConfiguredUri) {
    EXPECT_EQ(srvServerUris("corp.test"), "ldap://dc1.corp.test");
    EXPECT_EQ(srvServerUris("branch.test"), "") << "the sandbox's DNS serves corp.test only";

    char* configured = nullptr;
    ldap_get_option(nullptr, LDAP_OPT_URI, &configured);
    ASSERT_NE(configured, nullptr) << "LDAPCONF names the DC";
    const std::string saved = configured;
    ldap_memfree(configured);
    ldap_set_option(nullptr, LDAP_OPT_URI, nullptr);
    const std::string located = configuredServerUris();
    auto found = makeDirectoryServices(credentials)->bind("LDAP://RootDSE");
    ldap_set_option(nullptr, LDAP_OPT_URI, saved.c_str());
    EXPECT_EQ(located, "ldap://dc1.corp.test") << "SRV records of the Kerberos default realm";
    EXPECT_EQ(found->Get("rootDomainNamingContext").toText(), kCorp);
}

// --- servers that do not answer
// -------------------------------------------------------------------

TEST_F(LdapSandbox, ServersThatDoNotAnswerFailWithinSeconds) {
    const std::string dead = sandboxFact("DEAD_ADDRESS");
    RunTimeError refused{0, "", ""};
    EXPECT_LT(timeOf([&] {
                  refused = errorOf([&] { directory->bind("LDAP://" + dead + "/" + kCorp); });
              }),
              2s);
    EXPECT_EQ(refused.number(), -2147016646);  // 0x8007203A
    EXPECT_NE(refused.description().find(dead), std::string::npos) << refused.description();

    testing::LoopbackListener silent(testing::LoopbackListener::Mode::Silent);
    ASSERT_TRUE(silent.listening());
    RunTimeError unreachable{0, "", ""};
    const auto connectWait = timeOf([&] {
        unreachable = errorOf([&] {
            directory->bind("LDAP://127.0.0.1:" + std::to_string(silent.port()) + "/" + kCorp);
        });
    });
    EXPECT_EQ(unreachable.number(), -2147016646);
    EXPECT_LT(connectWait, 6s);

    testing::LoopbackListener mute(testing::LoopbackListener::Mode::Answering);
    RunTimeError unanswered{0, "", ""};
    const auto answerWait = timeOf([&] {
        unanswered = errorOf([&] {
            directory->bind("LDAP://127.0.0.1:" + std::to_string(mute.port()) + "/" + kCorp);
        });
    });
    EXPECT_NE(unanswered.number(), 0);
    EXPECT_LT(answerWait, 15s) << unanswered.description();
}

}  // namespace
}  // namespace qm

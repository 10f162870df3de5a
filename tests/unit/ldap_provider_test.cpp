// The LDAP provider's own rules, without a server: its paths, query texts and error numbers.

#include <gtest/gtest.h>
#include <ldap.h>

#include "platform/ldap_error.h"
#include "platform/ldap_path.h"
#include "platform/ldap_query.h"
#include "platform/ldap_session.h"

namespace qm {
namespace {

TEST(LdapPath, NamesTheRootDseADnAndOptionallyAServer) {
    const auto root = parseLdapPath("LDAP://RootDSE");
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->rootDse);
    EXPECT_TRUE(root->server.empty());

    const auto dn = parseLdapPath("LDAP://OU=Sales,OU=West,DC=corp,DC=test");
    ASSERT_TRUE(dn);
    EXPECT_FALSE(dn->rootDse);
    EXPECT_EQ(dn->dn, "OU=Sales,OU=West,DC=corp,DC=test");

    const auto onServer = parseLdapPath("LDAP://dc1.corp.test:636/rootdse");
    ASSERT_TRUE(onServer);
    EXPECT_EQ(onServer->server, "dc1.corp.test:636");
    EXPECT_TRUE(onServer->rootDse);
    EXPECT_EQ(formatLdapPath("dc1.corp.test", "DC=corp,DC=test"),
              "LDAP://dc1.corp.test/DC=corp,DC=test");
}

TEST(LdapPath, ASlashInsideADnIsNoServerSeparator) {
    const auto plain = parseLdapPath("LDAP://CN=Dept/IT Admin,OU=East,DC=corp,DC=test");
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->server.empty());
    EXPECT_EQ(plain->dn, "CN=Dept/IT Admin,OU=East,DC=corp,DC=test");
    // ADSI's escaped slash reaches the server plain; an escaped backslash stays escaped.
    EXPECT_EQ(parseLdapPath("LDAP://CN=Dept\\/IT Admin,DC=corp,DC=test")->dn,
              "CN=Dept/IT Admin,DC=corp,DC=test");
    EXPECT_EQ(parseLdapPath("LDAP://CN=a\\\\/b\\,c,DC=corp,DC=test")->dn,
              "CN=a\\\\/b\\,c,DC=corp,DC=test");
    EXPECT_EQ(parseLdapPath("LDAP://dc1/CN=a/b,DC=x")->server, "dc1");
}

TEST(LdapPath, RefusesWhatIsNoLdapPath) {
    for (const char* path : {"", "LDAP://", "LDAP:/DC=x", "ldap://DC=x", "WinNT://PC01",
                             "LDAP://NoEqualsSign", "LDAP:///DC=x", "LDAP://server/"}) {
        EXPECT_FALSE(parseLdapPath(path)) << path;
    }
}

TEST(LdapPath, RelativeNameIsTheFirstComponentAsWritten) {
    EXPECT_EQ(relativeName("CN=Smith\\, Jim,OU=Sales,DC=corp,DC=test"), "CN=Smith\\, Jim");
    EXPECT_EQ(relativeName("CN=Back\\\\,OU=x"), "CN=Back\\\\");
    EXPECT_EQ(relativeName("DC=corp,DC=test"), "DC=corp");
    EXPECT_EQ(relativeName("OU=Sales"), "OU=Sales");
}

TEST(LdapPath, DnsDomainComesFromTheTrailingDomainComponents) {
    EXPECT_EQ(dnsDomainOf("CN=Smith\\, Jim,OU=Sales,DC=corp,DC=test"), "corp.test");
    EXPECT_EQ(dnsDomainOf("dc=Branch,dc=Test"), "Branch.Test");
    EXPECT_EQ(dnsDomainOf("DC=child,DC=corp,DC=test"), "child.corp.test");
    EXPECT_EQ(dnsDomainOf("CN=DC=odd,OU=x"), "");
    EXPECT_EQ(dnsDomainOf("OU=Sales"), "");
    EXPECT_TRUE(equalsIgnoringCase("CORP.test", "corp.TEST"));
    EXPECT_FALSE(equalsIgnoringCase("corp.test", "corp.tes"));
}

TEST(LdapPath, TheTlsPortsMeanLdaps) {
    EXPECT_EQ(serverUri("dc1.corp.test"), "ldap://dc1.corp.test");
    EXPECT_EQ(serverUri("dc1.corp.test:636"), "ldaps://dc1.corp.test:636");
    EXPECT_EQ(serverUri("dc1.corp.test:3269"), "ldaps://dc1.corp.test:3269");
    EXPECT_EQ(serverUri("127.0.0.1:389"), "ldap://127.0.0.1:389");
}

TEST(QuerySource, HasBaseFilterAttributesAndScope) {
    const auto query = parseQuerySource(
        "<LDAP://OU=Sales,DC=corp,DC=test>;(&(objectCategory=person)(objectClass=user));"
        "logonHours, sAMAccountName,distinguishedName,cn;oneLevel");
    ASSERT_TRUE(query);
    EXPECT_EQ(query->base.dn, "OU=Sales,DC=corp,DC=test");
    EXPECT_EQ(query->filter, "(&(objectCategory=person)(objectClass=user))");
    EXPECT_EQ(query->attributes, (std::vector<std::string>{"logonHours", "sAMAccountName",
                                                           "distinguishedName", "cn"}));
    EXPECT_EQ(query->scope, LDAP_SCOPE_ONELEVEL);

    EXPECT_EQ(parseQuerySource("<LDAP://DC=x>;(cn=*);cn;SUBTREE")->scope, LDAP_SCOPE_SUBTREE);
    EXPECT_EQ(parseQuerySource("<LDAP://DC=x>;(cn=*);cn;base")->scope, LDAP_SCOPE_BASE);
    EXPECT_EQ(parseQuerySource("<LDAP://DC=x>;(cn=*);cn")->scope, LDAP_SCOPE_SUBTREE);
    EXPECT_EQ(parseQuerySource("<LDAP://DC=x>;;cn;oneLevel")->filter, "(objectClass=*)");
    // A ";" inside the filter's value belongs to the filter.
    EXPECT_EQ(parseQuerySource("<LDAP://DC=x>;(cn=Lee; Jr);cn;oneLevel")->filter, "(cn=Lee; Jr)");
}

TEST(QuerySource, RefusesMalformedTexts) {
    for (const char* source :
         {"", "<LDAP://DC=x>", "LDAP://DC=x;(cn=*);cn;oneLevel", "<LDAP://DC=x;(cn=*);cn;oneLevel",
          "<WinNT://PC01>;(cn=*);cn;base", "<LDAP://DC=x>;(cn=*);cn;everywhere",
          "<LDAP://DC=x>;(cn=*); , ;base"}) {
        EXPECT_FALSE(parseQuerySource(source)) << source;
    }
}

TEST(LdapErrors, ResultCodesBecomeTheNumbersWindowsReports) {
    EXPECT_EQ(hresultFromLdap(LDAP_NO_SUCH_OBJECT), -2147016656);
    EXPECT_EQ(hresultFromLdap(LDAP_SERVER_DOWN), -2147016646);
    EXPECT_EQ(hresultFromLdap(LDAP_CONNECT_ERROR), -2147016646);
    EXPECT_EQ(hresultFromLdap(LDAP_INVALID_CREDENTIALS), -2147023570);
    EXPECT_EQ(hresultFromLdap(LDAP_INSUFFICIENT_ACCESS), -2147024891);
    EXPECT_EQ(hresultFromLdap(LDAP_CONSTRAINT_VIOLATION), -2147016657);
    EXPECT_EQ(hresultFromLdap(LDAP_INVALID_SYNTAX), static_cast<std::int32_t>(0x8007200B));
    EXPECT_EQ(hresultFromLdap(LDAP_OTHER), static_cast<std::int32_t>(0x80004005));
    EXPECT_TRUE(isConnectionLost(LDAP_SERVER_DOWN));
    EXPECT_TRUE(isConnectionLost(LDAP_TIMEOUT));
    EXPECT_FALSE(isConnectionLost(LDAP_NO_SUCH_OBJECT));
}

TEST(LdapErrors, DescriptionSaysWhatFailedWhereAndWhy) {
    const RunTimeError error =
        ldapError(LDAP_NO_SUCH_OBJECT, "Cannot bind to OU=Gone,DC=corp,DC=test",
                  "ldap://dc1.corp.test", "0000208D: NameErr", kLdapSource);
    EXPECT_EQ(error.number(), -2147016656);
    EXPECT_EQ(error.source(), "LDAP provider");
    EXPECT_EQ(error.description(),
              "Cannot bind to OU=Gone,DC=corp,DC=test on ldap://dc1.corp.test: There is no such "
              "object on the server (LDAP: No such object; 0000208D: NameErr)");
    EXPECT_NE(ldapError(LDAP_OTHER, "x", "", "", kQuerySource).description().find("Other"),
              std::string::npos);
}

TEST(LdapAttributes, LogonHoursAreBytesOtherValuesText) {
    const std::vector<std::string> hours = {std::string("\x00\xFF\x01", 3)};
    EXPECT_EQ(attributeValue("logonHours", &hours).bytes(), (Bytes{0x00, 0xFF, 0x01}));
    EXPECT_EQ(attributeValue("LOGONHOURS", &hours).type(), Variant::Type::Bytes);
    const std::vector<std::string> names = {"Smith, Jim", "second"};
    EXPECT_EQ(attributeValue("cn", &names).toText(), "Smith, Jim");
    EXPECT_TRUE(attributeValue("cn", nullptr).isNull());
    const std::vector<std::string> none;
    EXPECT_TRUE(attributeValue("logonHours", &none).isNull());
}

}  // namespace
}  // namespace qm

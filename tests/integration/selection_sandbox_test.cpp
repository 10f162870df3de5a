// The selection screen on the sandbox domain corp.test with the real directory providers: the tree
// start-up builds, and the users its check marks count, against what ldapsearch and Samba's own
// account database report. Runs inside the sandbox's namespace (scripts/sandbox exec).
#include <QByteArray>
#include <QLabel>
#include <QTest>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "gui/screen_fixture.h"
#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "selection/selection_screen.h"

using namespace qm;
using namespace qm::testing;

namespace {

std::map<std::string, std::string> readFacts() {
    const char* dir = std::getenv("QUILLMARK_SANDBOX_DIR");
    std::ifstream file(std::string(dir != nullptr ? dir : QM_SOURCE_DIR "/.sandbox") +
                       "/facts.env");
    std::map<std::string, std::string> facts;
    for (std::string line; std::getline(file, line);) {
        const auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

std::string fact(const std::string& name) {
    static const auto facts = readFacts();
    const auto found = facts.find(name);
    if (found == facts.end()) {
        throw std::runtime_error("facts.env lacks " + name + " (is the sandbox started?)");
    }
    return found->second;
}

std::string firstLineOf(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

std::vector<std::string> outputLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return lines;
    }
    std::array<char, 4096> buffer{};
    std::string text;
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        text += buffer.data();
    }
    pclose(pipe);
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The DNs of a one-level search, in the order the DC returns them.
std::vector<std::string> oneLevel(const std::string& base, const std::string& filter) {
    const std::string command =
        "ldapsearch -x -ZZ -LLL -o ldif-wrap=no -E pr=1000/noprompt -H ldap://" + fact("CORP_DC") +
        " -D Administrator@" + fact("CORP_DOMAIN") + " -y " +
        quoted(fact("SANDBOX_PASSWORD_FILE")) + " -b " + quoted(base) + " -s one " +
        quoted(filter) + " 1.1 2>/dev/null";
    std::vector<std::string> dns;
    for (const std::string& line : outputLines(command)) {
        if (line.rfind("dn:: ", 0) == 0) {
            dns.push_back(
                QByteArray::fromBase64(QByteArray::fromStdString(line.substr(5))).toStdString());
        } else if (line.rfind("dn: ", 0) == 0) {
            dns.push_back(line.substr(4));
        }
    }
    return dns;
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The DN inside an "LDAP://[server/]DN" key.
std::string dnOfKey(const std::string& key) {
    std::string rest = key.substr(std::string("LDAP://").size());
    const auto slash = rest.find('/');
    if (slash != std::string::npos && rest.substr(0, slash).find('=') == std::string::npos) {
        rest = rest.substr(slash + 1);
    }
    return rest;
}

const char* const kContainerFilter =
    "(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=builtinDomain))";
const char* const kUserFilter = "(&(objectCategory=person)(objectClass=user))";

// The tree below a container in the DC's own order: each container before its descendants.
void appendSubtree(const std::string& dn, bool isDomain, std::vector<std::string>& tree) {
    tree.push_back(dn);
    for (const std::string& child : oneLevel(dn, kContainerFilter)) {
        if (isDomain && lower(child.substr(0, child.find(','))) == "cn=system") {
            continue;
        }
        appendSubtree(child, false, tree);
    }
}

struct FakeFirstScreen : FirstScreen {
    bool optDocumentValue() override { return true; }
    bool optXLValue() override { return true; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

}  // namespace

class SelectionSandboxTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScreenFixture> fixture;
    std::unique_ptr<Credentials> credentials;
    std::unique_ptr<DirectoryServices> directory;
    std::unique_ptr<ScreenServices> services;
    FakeFirstScreen firstScreen;
    std::unique_ptr<frmSelect> screen;

    QTreeWidgetItem& item(int node) { return screen->tvwContainers->item(node); }

    int countOf(const std::string& dn) {
        return static_cast<int>(oneLevel(dn, kUserFilter).size());
    }

private slots:
    void initTestCase() {
        fixture = std::make_unique<ScreenFixture>();
        fixture->system.computerName = "PC01";
        // Without a Kerberos ticket the providers ask once for a name and a password.
        const std::string password = firstLineOf(fact("SANDBOX_PASSWORD_FILE"));
        fixture->dialogs.inputAnswers = {"Administrator@" + fact("CORP_DOMAIN"), password};
        credentials = std::make_unique<Credentials>(fixture->dialogs);
        directory = makeDirectoryServices(*credentials);
        services = std::make_unique<ScreenServices>(
            ScreenServices{fixture->dialogs, fixture->system, *directory, fixture->spreadsheets,
                           fixture->programEnd});
        screen = std::make_unique<frmSelect>(*services, firstScreen);
        screen->Form_Load();
        showScreen(*screen);
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    }

    void startUpBuildsTheDomainsTreeInTheDirectorysOrder() {
        std::vector<std::string> expected;
        appendSubtree(fact("CORP_DN"), true, expected);
        QVERIFY(expected.size() > 5);

        QCOMPARE(screen->tvwContainers->Text(1), std::string("PC01"));
        QCOMPARE(screen->tvwContainers->Tag(1), std::string("Local Computer"));
        QCOMPARE(screen->tvwContainers->Text(2), std::string("DC=corp"));
        QCOMPARE(screen->tvwContainers->Tag(2), std::string("Domain"));
        QCOMPARE(screen->tvwContainers->Count(), static_cast<int>(expected.size()) + 1);
        for (int node = 2; node <= screen->tvwContainers->Count(); ++node) {
            QCOMPARE(lower(dnOfKey(screen->tvwContainers->Key(node))),
                     lower(expected[static_cast<std::size_t>(node - 2)]));
            if (node > 2) {
                QCOMPARE(screen->tvwContainers->Tag(node), std::string("Domain Container"));
            }
        }
        QVERIFY(screen->DirectoryConnection() != nullptr);
        QCOMPARE(screen->DirectoryConnection()->State(), 1);
        QCOMPARE(fixture->dialogs.messages().size(), std::size_t(0));
    }

    void checkMarksCountTheUsersDirectlyInEachNode() {
        int expected = 0;
        const std::string west = "OU=West," + fact("CORP_DN");
        for (int node = 2; node <= screen->tvwContainers->Count(); ++node) {
            const std::string dn = dnOfKey(screen->tvwContainers->Key(node));
            if (node == 2 || lower(dn) == lower(west) ||
                lower(dn) == lower("CN=Users," + fact("CORP_DN"))) {
                clickCheckBox(*screen->tvwContainers, item(node));
                expected += countOf(dn);
                QCOMPARE(screen->lblCount->text().remove(','), QString::number(expected));
            }
        }
        QCOMPARE(screen->CheckedNodeCount().value(), 3);
        QVERIFY(expected > 3);

        // PC01's local accounts, as its own account database lists them.
        const auto accounts =
            outputLines("pdbedit -L -s " + quoted(fact("PC01_CONF")) + " 2>/dev/null");
        QVERIFY(accounts.size() >= 3);
        clickCheckBox(*screen->tvwContainers, item(1));
        QCOMPARE(screen->lblCount->text().remove(','),
                 QString::number(expected + static_cast<int>(accounts.size())));
    }

    void addComputerAddsASecondComputerAndReportsAnUnknownOne() {
        const int before = screen->tvwContainers->Count();
        fixture->dialogs.inputAnswers = {"nosuchpc", "pc02"};
        QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
        QCOMPARE(fixture->dialogs.messages().back(), std::string("Computer nosuchpc not found"));
        QTest::mouseClick(screen->cmdAdd, Qt::LeftButton);
        QCOMPARE(screen->tvwContainers->Count(), before + 1);
        QCOMPARE(lower(screen->tvwContainers->Text(before + 1)), std::string("pc02"));
        QCOMPARE(screen->tvwContainers->Tag(before + 1), std::string("Local Computer"));
    }

    void cleanupTestCase() {
        if (screen != nullptr && screen->DirectoryConnection() != nullptr) {
            closeIfOpen(screen->DirectoryConnection());
        }
        screen.reset();
    }
};

QTEST_MAIN(SelectionSandboxTest)
#include "selection_sandbox_test.moc"

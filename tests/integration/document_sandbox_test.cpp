// The Document button on the sandbox domain, from the first screen's choices to the file on disk:
// the comma-delimited file byte for byte and the workbook cell for cell as LibreOffice reads it,
// against sheets written out here from the sample data (scripts/sandbox-data). Only
// the order of the users within a node is asked of the servers, because it changes from one
// provisioning to the next. Runs alone: it stops the DC, and other suites change the domain.

#include <QProgressBar>

#include "platform/core/text.h"
#include "platform/ldap/ldap_query.h"
#include "support/sandbox_runs.h"

using namespace qm;
using namespace qm::testing;

namespace {

// The sample data's logon-hours values in hex, named as in corp.ldif; none is "".
const std::string kAll(42, 'F');
const std::string kWk0818 = "00000000ff0300ff0300ff0300ff0300ff03000000";
const std::string kWk1322 = "00000000e03f00e03f00e03f00e03f00e03f000000";
const std::string kWeekend = "ffffff000000000000000000000000000000ffffff";
const std::string kNights = "3f00c03f00c03f00c03f00c03f00c03f00c03f00c0";
const std::string kPattern = "aa55aa55aa55aa55aa55aa55aa55aa55aa55aa550f";

struct SampleUser {
    std::string commonName, logonName, hours;  // the name in UTF-8
};

// A directory node (by its DN) or a computer, and the users directly in it, in no order.
struct SampleNode {
    std::string name, container, domain;
    std::vector<SampleUser> users;
};

// A value's day strings in local time, `bias` hours west of Greenwich (UTC = local time + bias):
// bit u % 8 of byte u / 8 is UTC hour u of the week. No value reads as every hour allowed.
Week daysOf(const std::string& hex, int bias) {
    const QByteArray bytes =
        QByteArray::fromHex(QByteArray::fromStdString(hex.empty() ? kAll : hex));
    Week week;
    for (int local = 0; local < 168; ++local) {
        const int utc = (local + bias) % 168;
        std::string& day = week[std::size_t(local / 24)];
        day += local % 24 != 0 && local % 3 == 0 ? " " : "";
        day += (bytes[utc / 8] >> (utc % 8)) & 1 ? '1' : '0';
    }
    return week;
}

// A unit of corp.test, with no name the domain object itself; or a computer.
SampleNode unit(const std::string& ou, std::vector<SampleUser> users,
                const std::string& domain = kCorpDomain) {
    const std::string name = ou.empty() || ou == domain ? domain : ou + "," + domain;
    return {name, ou, domain, std::move(users)};
}

// PC01's local accounts (a new account allows every hour), a user directly in the domain, and two
// units of tricky names and users without a value.
std::vector<SampleNode> sampleNodes() {
    return {unit("PC01",
                 {{"Administrator", "Administrator", kAll},
                  {"kiosk", "kiosk", kWk0818},
                  {"lab1", "lab1", kAll},
                  {"scanner", "scanner", kNights}},
                 "PC01"),
            unit("", {{"Root User", "rootuser", kWk0818}}),
            unit("OU=Sales,OU=West", {{"Smith, Jim", "jsmith", kWk0818},
                                      {"Ann=Lee", "alee", ""},
                                      {"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m", "zangstrom", kWeekend},
                                      {"Lee; Jr <Ops>", "leejr", kNights}}),
            unit("OU=East,OU=West", {{"Dept/IT Admin", "itadmin", kPattern},
                                     {"#1 Fan", "fan1", kAll},
                                     {"A+B", "aplusb", ""},
                                     {"Say \"Hi\"", "sayhi", kWk1322},
                                     {"Back\\Slash", "bslash", ""}})};
}

// OU=Many: many00001 … many02400, every third one with wk0818, wk1322 or nights in turn.
SampleNode manyNode() {
    SampleNode node = unit("OU=Many", {});
    const std::string turn[] = {kWk0818, kWk1322, kNights};
    for (int i = 1; i <= 2400; ++i) {
        const std::string name = QString::asprintf("many%05d", i).toStdString();
        node.users.push_back({name, name, i % 3 != 0 ? "" : turn[(i / 3) % 3]});
    }
    return node;
}

// The node's users in the order its server lists them now, as the sheet should hold them.
std::vector<SheetRow> rowsOf(const SampleNode& node, int bias) {
    std::vector<std::string> order;
    if (node.name == "PC01") {
        for (const std::string& line : nonEmptyLines(sandboxPdbedit("PC01", "-L"))) {
            order.push_back(line.substr(0, line.find(':')));
        }
    } else {
        for (const std::string& line :
             corpSearch(node.name, "one", "(&(objectCategory=person)(objectClass=user))", "cn")) {
            if (const auto name = ldifValue(line, "cn")) {
                order.push_back(*name);
            }
        }
    }
    std::vector<SheetRow> rows;
    for (const std::string& name : order) {
        const auto user = std::ranges::find(node.users, name, &SampleUser::commonName);
        if (user != node.users.end()) {
            rows.push_back(
                {name, user->logonName, node.container, node.domain, daysOf(user->hours, bias)});
        }
    }
    if (rows.size() != order.size() || rows.size() != node.users.size()) {
        throw std::runtime_error(node.name + " holds other users than the sample data");
    }
    return rows;
}

// Clicks the nodes' check boxes as a person does; returns the rows they should give, in the tree's
// order. A tree node's key is the DN or the computer's name.
std::vector<SheetRow> checkNodes(SelectionScreen& screen, const std::vector<SampleNode>& nodes,
                                 int bias) {
    const ContainerTree& tree = screen.containerTree();
    std::vector<SheetRow> rows;
    std::size_t checked = 0;
    for (int index = 1; index <= tree.Count(); ++index) {
        for (const SampleNode& node : nodes) {
            if (equalsIgnoringCase(tree.Key(index), node.name)) {
                clickNode(screen, index);
                const auto ofNode = rowsOf(node, bias);
                rows.insert(rows.end(), ofNode.begin(), ofNode.end());
                ++checked;
            }
        }
    }
    if (checked != nodes.size()) {
        throw std::runtime_error("a sample node is not in the tree");
    }
    return rows;
}

// The comma-delimited file is in Windows-1252, which agrees with Latin-1 on the sample's letters.
std::string expectedCsv(std::vector<SheetRow> rows) {
    for (SheetRow& row : rows) {
        row.name = QString::fromStdString(row.name).toLatin1().toStdString();
    }
    return kCsvHeader + csvLines(rows);
}

// The cells of a workbook's first sheet as LibreOffice reads them.
inline CellGrid libreOfficeCells(const std::filesystem::path& folder, const std::string& workbook) {
    convertWithLibreOffice(folder, kUtf8CsvFilter, workbook);
    return parseLibreOfficeCsv(readBytes((folder / workbook).replace_extension(".csv").string()));
}

}  // namespace

class DocumentSandboxTest : public ::testing::Test {
protected:
    const ScratchFolder folder{"document-sandbox"};
};

TEST_F(DocumentSandboxTest, theSampleNodesAsACsvFileWithATicketAndNoBias) {
    ProgramRun run(0, folder.path(), true);
    const std::string file = folder.file("hours.csv");
    const auto rows = checkNodes(run.next(false, false, file), sampleNodes(), 0);

    run.pressDocument();

    ASSERT_EQ(readBytes(file), expectedCsv(rows));
    ASSERT_EQ(run.dialogs.messages(), std::vector<std::string>{"File " + file + " created"});
    EXPECT_EQ(run.dialogs.shown.size(), 3u);  // PC01's sign-in, no more: the ticket signs in
}

TEST_F(DocumentSandboxTest, theSampleNodesAsAWorkbookFiveHoursWestAsLibreOfficeReadsIt) {
    ProgramRun run(300, folder.path(), false);
    const std::string file = folder.file("book.xlsx");
    const auto rows = checkNodes(run.next(false, true, file), sampleNodes(), 5);

    run.pressDocument();

    ASSERT_EQ(run.dialogs.messages(), std::vector<std::string>{"File " + file + " created"});
    ASSERT_EQ(libreOfficeCells(folder.path(), "book.xlsx"), workbookCells(rows, "UTC-05:00"));
}

// The DC stops while the run writes the first page of OU=Many's users (1,000 of 2,400). The second
// page was asked for as the first arrived, so it may have come before the DC stopped; the third
// was not: the run fails after one or two whole pages, the trap reports what the query said,
// keeps the file and ends the program.
class DcStoppedMidRun : public DocumentSandboxTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DcStoppedMidRun, leavesWhatWasWrittenAndEndsTheProgram) {
    const bool workbook = GetParam();
    constexpr int kStopAtUser = 10;
    const SandboxRestarter restartAtEnd;
    ProgramRun run(workbook ? 300 : 0, folder.path(), workbook);  // a ticket for the workbook
    const std::string file = folder.file(workbook ? "many.xlsx" : "many.csv");
    SelectionScreen& screen = run.next(false, workbook, file);
    std::vector<SheetRow> rows = checkNodes(screen, {manyNode()}, workbook ? 5 : 0);
    QProgressBar& bar = *screen.findChild<QProgressBar*>("pbrUsers");
    bool stopped = false;
    const auto hook = QObject::connect(&bar, &QProgressBar::valueChanged, [&](int at) {
        if (at == kStopAtUser && !std::exchange(stopped, true)) {
            runSandbox("stop corp");
        }
    });

    run.pressDocument();

    QObject::disconnect(hook);
    ASSERT_TRUE(stopped);
    const int written = bar.value();
    ASSERT_TRUE(written == 1000 || written == 2000) << written;
    rows.resize(std::size_t(written));
    // The marker the last entry set before the next page was asked for: the end of a
    // workbook block, or a comma-delimited line with or without a value (OU=Many has no
    // value allowing every hour, so such a row had none).
    const std::string marker = workbook ? "35" : rows.back().days != daysOf("", 0) ? "38" : "36";
    const auto messages = run.dialogs.messages();
    ASSERT_EQ(messages.size(), std::size_t(1));
    ASSERT_TRUE(
        messages[0].starts_with("Error " + marker +
                                " in QMK3\r\nError Number: -2147016646\r\nDescription:  ") &&
        messages[0].find(sandboxFact("CORP_DC")) != std::string::npos &&
        messages[0].ends_with("\r\nSource:       Directory query"))
        << messages[0];
    ASSERT_EQ(run.dialogs.shown.back().style, MessageStyle::Critical);
    ASSERT_EQ(run.programEnd.status, std::optional<int>(kExitAfterError));
    ASSERT_FALSE(screen.directoryConnection()->isOpen());
    EXPECT_EQ(dynamic_cast<LdapQueryConnection&>(*screen.directoryConnection()).pagesRead(),
              written / 1000);
    if (workbook) {
        ASSERT_EQ(libreOfficeCells(folder.path(), "many.xlsx"), workbookCells(rows, "UTC-05:00"));
    } else {
        ASSERT_EQ(readBytes(file), expectedCsv(rows));
    }
}

INSTANTIATE_TEST_SUITE_P(CsvAndWorkbook, DcStoppedMidRun, ::testing::Values(false, true));

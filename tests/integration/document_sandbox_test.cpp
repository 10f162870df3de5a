// The Document button on the sandbox domain, from the first screen's choices to the file on disk:
// the comma-delimited file byte for byte and the workbook cell for cell, against the sheets the
// sample data should give. Runs inside the sandbox's namespace (scripts/sandbox exec), alone: it
// adds and removes a unit of its own, and other tests change logon hours in CN=Users and on PC01
// for a moment.

#include <QLabel>

#include "integration/document_sandbox.h"
#include "support/workbook_files.h"

using namespace qm;
using namespace qm::testing;

namespace {

const std::string kScratchUnit = "OU=Scratch Document," + kCorpDomain;
// "Łukasz Żak": neither letter exists in Windows-1252.
const std::string kOutsideCodePage =
    "\xC5\x81ukasz \xC5\xBB"
    "ak";

SampleNode scratchNode() {
    return {kScratchUnit, "OU=Scratch Document", kCorpDomain, {{kOutsideCodePage, "lzak", {}}}};
}

std::string base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

void ldapCommand(const std::string& tool, const std::string& arguments) {
    runCommand(tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
               sandboxFact("CORP_DOMAIN") + " -y " +
               shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE")) + " " + arguments + " 2>&1");
}

// A unit holding one user whose name the code page cannot store, for as long as it lives.
class ScratchUnit {
public:
    explicit ScratchUnit(const std::string& ldifPath) {
        remove();
        writeBytes(ldifPath, "dn: " + kScratchUnit +
                                 "\nobjectClass: organizationalUnit\n\n"
                                 "dn:: " +
                                 base64("CN=" + kOutsideCodePage + "," + kScratchUnit) +
                                 "\nobjectClass: user\ncn:: " + base64(kOutsideCodePage) +
                                 "\nsAMAccountName: lzak\n");
        ldapCommand("ldapadd", "-f " + shellQuoted(ldifPath));
    }
    ~ScratchUnit() { remove(); }

private:
    static void remove() {
        try {
            ldapCommand("ldapdelete", "-r " + shellQuoted(kScratchUnit));
        } catch (const std::exception&) {
            // Not there.
        }
    }
};

}  // namespace

class DocumentSandboxTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchFolder> folder;
    // The program of the first cases, with a Kerberos ticket and no bias; it lives on.
    std::unique_ptr<ProgramRun> noBias;

    const std::vector<SampleNode> kSampleNodes = {pc01Node(),  corpDomainNode(), westNode(),
                                                  salesNode(), eastNode(),       usersNode()};

    static void checkAll(ProgramRun& program, const std::vector<SampleNode>& nodes) {
        for (const SampleNode& node : nodes) {
            program.toggle(node);
        }
    }

private slots:
    void initTestCase() { folder = std::make_unique<ScratchFolder>("document-sandbox"); }

    void csvOfTheSampleNodesWithATicketAndNoBias() {
        noBias = std::make_unique<ProgramRun>(0, SignIn::KerberosTicket, folder->path());
        const std::string file = folder->file("hours.csv");
        frmSelect& screen = noBias->next(false, file);
        checkAll(*noBias, kSampleNodes);
        const auto entries = noBias->expectedEntries(kSampleNodes);
        QCOMPARE(screen.lblCount->text(), QString::number(entries.size()));

        noBias->pressDocument();

        const std::string difference = firstDifference(readBytes(file), expectedCsv(entries, 0));
        QVERIFY2(difference.empty(), difference.c_str());
        QVERIFY(messagesOf(noBias->dialogs) ==
                (std::vector<std::pair<MessageStyle, std::string>>{
                    {MessageStyle::Information, "File " + file + " created"}}));
        QCOMPARE(screen.pbrUsers->value(), 0);
        QVERIFY(noBias->holdsLdapServiceTicket());
        QVERIFY(!noBias->programEnd.status);
    }

    void workbookOfTheSameNodesWithAPasswordFiveHoursWest() {
        ProgramRun program(300, SignIn::Password, folder->path());
        const std::string file = folder->file("hours.xlsx");
        program.next(true, file);
        checkAll(program, kSampleNodes);
        const auto entries = program.expectedEntries(kSampleNodes);

        program.pressDocument();

        const Grid cells = readWorkbook(file, rowsToRead(entries.size()), 5);
        const std::string difference = firstDifference(cells, expectedWorkbook(entries, 5));
        QVERIFY2(difference.empty(), difference.c_str());
        QCOMPARE(openWorkbookFile(file)->sheetName(), std::string("Logon Hours"));
        QCOMPARE(program.dialogs.messages(), std::vector<std::string>{"File " + file + " created"});
        QVERIFY(!program.holdsLdapServiceTicket());
    }

    // Back keeps the tree and its check marks; the next run reads the first screen afresh and
    // replaces a file of the same name.
    void backAndNextKeepTheSelectionAndTheNextRunOverwrites() {
        QVERIFY(noBias != nullptr);
        frmSelect& screen = noBias->select();
        const int nodes = screen.tvwContainers->Count();
        const QString count = screen.lblCount->text();
        const std::string file = folder->file("hours.csv");

        QTest::mouseClick(screen.cmdBack, Qt::LeftButton);
        QVERIFY(screen.isHidden());
        QCOMPARE(&noBias->next(false, file), &screen);
        QCOMPARE(screen.tvwContainers->Count(), nodes);
        QCOMPARE(screen.lblCount->text(), count);

        const std::vector<SampleNode> fewer = {corpDomainNode(), salesNode(), eastNode()};
        checkAll(*noBias, {pc01Node(), westNode(), usersNode()});  // unchecked again
        const auto entries = noBias->expectedEntries(fewer);
        QCOMPARE(screen.lblCount->text(), QString::number(entries.size()));
        noBias->pressDocument();
        const std::string difference = firstDifference(readBytes(file), expectedCsv(entries, 0));
        QVERIFY2(difference.empty(), difference.c_str());

        QTest::mouseClick(screen.cmdBack, Qt::LeftButton);
        const std::string workbook = folder->file("again.xlsx");
        noBias->next(true, workbook);
        noBias->pressDocument();
        const Grid cells = readWorkbook(workbook, rowsToRead(entries.size()), 5);
        const std::string cellDifference = firstDifference(cells, expectedWorkbook(entries, 0));
        QVERIFY2(cellDifference.empty(), cellDifference.c_str());
        QCOMPARE(noBias->dialogs.messages().back(), "File " + workbook + " created");
    }

    void checkedNodesWithoutUsersOnlySayThereAreNone() {
        QVERIFY(noBias != nullptr);
        frmSelect& screen = noBias->select();
        QTest::mouseClick(screen.cmdBack, Qt::LeftButton);
        const std::string file = folder->file("none.csv");
        noBias->next(false, file);
        QTest::mouseClick(screen.cmdClear, Qt::LeftButton);
        noBias->toggle(emptyNode());
        QCOMPARE(screen.lblCount->text(), QString("0"));
        QVERIFY(screen.cmdOK->isEnabled());
        const std::size_t shown = noBias->dialogs.shown.size();

        noBias->pressDocument();

        QCOMPARE(noBias->dialogs.shown.size(), shown + 1);
        QVERIFY(messagesOf(noBias->dialogs).back() ==
                std::make_pair(MessageStyle::Information, std::string("No users to document.")));
        QVERIFY(!std::filesystem::exists(file));
        QVERIFY(!noBias->programEnd.status);
    }

    // The server stores values of any length. A short one reads as if padded with denied hours; a
    // long one ends the program in the decoder, which keeps the lines written before it but never
    // saves a workbook.
    void valuesOfTheWrongLengthAreDecodedOrEndTheProgram() {
        std::vector<SheetEntry> beforeLong;
        for (const bool workbook : {false, true}) {
            ProgramRun program(0, SignIn::Password, folder->path());
            const std::string file = folder->file(workbook ? "odd.xlsx" : "odd.csv");
            program.next(workbook, file);
            program.toggle(oddNode());
            beforeLong.clear();
            for (const SheetEntry& entry : program.expectedEntries({oddNode()})) {
                if (entry.user.hours == Hours::Long) {
                    break;
                }
                beforeLong.push_back(entry);
            }

            QVERIFY_THROWS_EXCEPTION(ProgramEnded, program.select().cmdOK_Click());

            QVERIFY(messagesOf(program.dialogs) ==
                    (std::vector<std::pair<MessageStyle, std::string>>{
                        {MessageStyle::Critical,
                         "Error 1 in QMK2\r\nError Number: 9\r\nDescription:  Subscript out of "
                         "range\r\nSource:       Quillmark"}}));
            QCOMPARE(program.programEnd.status, std::optional<int>(kExitAfterError));
            QCOMPARE(program.select().DirectoryConnection()->State(), 0);
            if (workbook) {
                QVERIFY(!std::filesystem::exists(file));
            } else {
                QCOMPARE(readBytes(file), expectedCsv(beforeLong, 0));
            }
        }
    }

    // The sample data holds no such name, so the test adds one for the time it runs.
    void aNameOutsideTheCodePageEndsACsvRunButFillsAWorkbook() {
        const ScratchUnit unit(folder->file("scratch.ldif"));
        {
            ProgramRun program(0, SignIn::Password, folder->path());
            const std::string file = folder->file("outside.csv");
            program.next(false, file);
            program.toggle(scratchNode());

            QVERIFY_THROWS_EXCEPTION(ProgramEnded, program.select().cmdOK_Click());

            const auto messages = messagesOf(program.dialogs);
            QCOMPARE(messages.size(), std::size_t(1));
            QCOMPARE(messages[0].first, MessageStyle::Critical);
            const std::string& text = messages[0].second;
            QVERIFY2(text.starts_with("Error 36 in QMK3\r\nError Number: 5\r\nDescription:  ") &&
                         text.find("U+0141") != std::string::npos &&
                         text.ends_with("\r\nSource:       Quillmark"),
                     text.c_str());
            QCOMPARE(readBytes(file), expectedCsv({}, 0));
            QCOMPARE(program.programEnd.status, std::optional<int>(kExitAfterError));
        }
        ProgramRun program(0, SignIn::Password, folder->path());
        const std::string file = folder->file("outside.xlsx");
        program.next(true, file);
        program.toggle(scratchNode());
        program.pressDocument();
        const auto entries = program.expectedEntries({scratchNode()});
        const std::string difference =
            firstDifference(readWorkbook(file, rowsToRead(1), 5), expectedWorkbook(entries, 0));
        QVERIFY2(difference.empty(), difference.c_str());
    }

    void cleanupTestCase() {
        noBias.reset();
        folder.reset();
    }
};

QTEST_MAIN(DocumentSandboxTest)
#include "document_sandbox_test.moc"

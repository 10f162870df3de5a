// A workbook the Document run wrote from the sandbox domain opens in LibreOffice with the cells
// the sample data should give: the tricky names, the empty container of a user placed directly in
// the domain, day strings shifted by the bias. Runs inside the sandbox's namespace.

#include "integration/document_sandbox.h"
#include "support/libreoffice.h"

using namespace qm;
using namespace qm::testing;

class DocumentLibreOfficeTest : public QObject {
    Q_OBJECT

private slots:
    void theWorkbookShowsTheSameCellsInLibreOffice() {
        const ScratchFolder folder("document-libreoffice");
        // Nodes whose users no other test changes.
        const std::vector<SampleNode> nodes = {corpDomainNode(), salesNode(), eastNode()};
        ProgramRun program(300, SignIn::Password, folder.path());
        program.next(true, folder.file("hours.xlsx"));
        for (const SampleNode& node : nodes) {
            program.toggle(node);
        }
        const auto entries = program.expectedEntries(nodes);

        program.pressDocument();
        QCOMPARE(program.dialogs.messages(),
                 std::vector<std::string>{"File " + folder.file("hours.xlsx") + " created"});

        convertWithLibreOffice(folder.path(), kUtf8CsvFilter, "hours.xlsx");
        const CellGrid cells = parseLibreOfficeCsv(readBytes(folder.file("hours.csv")));
        const std::string difference = firstDifference(cells, expectedWorkbook(entries, 5));
        QVERIFY2(difference.empty(), difference.c_str());
    }
};

QTEST_MAIN(DocumentLibreOfficeTest)
#include "document_libreoffice_test.moc"

// The domain controller stops in the middle of a Document run: the run has the first page of
// OU=Many's users and is writing them when the DC goes away, so the call for the next page fails.
// The error trap reports what the directory query said, keeps what was written, closes the query
// connection and ends the program. Stops and restarts the sandbox's corp DC, so it runs alone.

#include <QObject>

#include "integration/document_sandbox.h"
#include "support/workbook_files.h"

using namespace qm;
using namespace qm::testing;

namespace {

constexpr int kStopAtUser = 10;

void sandbox(const std::string& arguments) {
    runCommand(std::string(QM_SOURCE_DIR) + "/scripts/sandbox " + arguments + " 2>&1");
}

// Starts the DC again even when the test fails half-way.
struct DcRestarter {
    ~DcRestarter() {
        try {
            sandbox("start");
        } catch (...) {
        }
    }
};

}  // namespace

class DocumentDcStopTest : public QObject {
    Q_OBJECT

private:
    // Documents OU=Many, stopping the DC when the progress bar reaches kStopAtUser, and checks
    // what the error trap did. Returns the entries the first page should have given.
    std::vector<SheetEntry> documentWhileTheDcStops(ProgramRun& program, bool workbook,
                                                    const std::string& file) {
        frmSelect& screen = program.next(workbook, file);
        program.toggle(manyNode());
        std::vector<SheetEntry> entries = program.expectedEntries({manyNode()});
        const int firstPage = usersInFirstPage(manyNode().name);
        if (firstPage <= kStopAtUser || firstPage >= static_cast<int>(entries.size())) {
            throw std::runtime_error("a first page of " + std::to_string(firstPage) +
                                     " users leaves no room to stop the DC within it");
        }
        entries.resize(static_cast<std::size_t>(firstPage));

        bool stopped = false;
        const auto hook =
            QObject::connect(screen.pbrUsers, &QProgressBar::valueChanged, [&stopped](int value) {
                if (value == kStopAtUser && !stopped) {
                    stopped = true;
                    sandbox("stop corp");
                }
            });
        try {
            screen.cmdOK_Click();
            QObject::disconnect(hook);
            throw std::runtime_error("the run went on without the DC");
        } catch (const ProgramEnded&) {
            QObject::disconnect(hook);
        }
        if (!stopped) {
            throw std::runtime_error("the DC was never stopped");
        }

        // The marker is the last one the last entry set before the next page was asked for: the
        // end of a workbook block, or a comma-delimited line with or without a value.
        const bool lastHasHours = entries.back().user.hours != Hours::None;
        const std::string marker = workbook ? "35" : lastHasHours ? "38" : "36";
        const auto messages = messagesOf(program.dialogs);
        const std::string expectedStart =
            "Error " + marker + " in QMK3\r\nError Number: -2147016646\r\nDescription:  ";
        if (messages.size() != 1 || messages[0].first != MessageStyle::Critical ||
            !messages[0].second.starts_with(expectedStart) ||
            !messages[0].second.ends_with("\r\nSource:       Directory query") ||
            messages[0].second.find(sandboxFact("CORP_DC")) == std::string::npos) {
            throw std::runtime_error("unexpected messages: " +
                                     (messages.empty() ? "none" : messages.back().second));
        }
        if (program.programEnd.status != kExitAfterError) {
            throw std::runtime_error("the program did not end");
        }
        if (screen.DirectoryConnection()->State() != 0) {
            throw std::runtime_error("the query connection was left open");
        }
        return entries;
    }

private slots:
    void aCsvKeepsTheHeaderAndTheUsersWrittenBeforeTheDcStopped() {
        const DcRestarter restartAtEnd;
        const ScratchFolder folder("document-dc-stop-csv");
        ProgramRun program(0, SignIn::Password, folder.path());
        const std::string file = folder.file("many.csv");

        std::vector<SheetEntry> written;
        try {
            written = documentWhileTheDcStops(program, false, file);
        } catch (const std::exception& failure) {
            QFAIL(failure.what());
        }

        const std::string difference = firstDifference(readBytes(file), expectedCsv(written, 0));
        QVERIFY2(difference.empty(), difference.c_str());
    }

    void aWorkbookIsSavedWithTheBlocksWrittenBeforeTheDcStopped() {
        const DcRestarter restartAtEnd;
        sandbox("start");
        const ScratchFolder folder("document-dc-stop-xlsx");
        ProgramRun program(300, SignIn::KerberosTicket, folder.path());
        const std::string file = folder.file("many.xlsx");

        std::vector<SheetEntry> written;
        try {
            written = documentWhileTheDcStops(program, true, file);
        } catch (const std::exception& failure) {
            QFAIL(failure.what());
        }

        const Grid cells = readWorkbook(file, rowsToRead(written.size()), 5);
        const std::string difference = firstDifference(cells, expectedWorkbook(written, 5));
        QVERIFY2(difference.empty(), difference.c_str());
    }
};

QTEST_MAIN(DocumentDcStopTest)
#include "document_dc_stop_test.moc"

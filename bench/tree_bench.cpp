// Loads the container tree of a large domain the way the selection screen's start-up does, with
// the real directory providers, and times it against ldapsearch making the same one-level queries
// (one process per container, as a script would) and against one subtree search that fetches every
// container at once (the least the server has to send). Run inside the sandbox's namespace with
// QT_QPA_PLATFORM=offscreen; bench/tree-load arranges all of that.
#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <memory>

#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_system.h"
#include "platform/workbook_application.h"
#include "selection/selection_screen.h"

namespace {

struct DocumentTaskChosen : qm::FirstScreen {
    bool optDocumentValue() override { return true; }
    bool optXLValue() override { return true; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

class EndByExit : public qm::ProgramEnd {
public:
    [[noreturn]] void end(int exitStatus) override { std::exit(exitStatus); }
};

const char* const kContainerFilter =
    "(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=builtinDomain))";

QString dnOfKey(const std::string& key) {
    QString rest = QString::fromStdString(key).mid(7);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash >= 0 && !rest.left(slash).contains(QLatin1Char('='))) {
        rest = rest.mid(slash + 1);
    }
    return rest;
}

QStringList ldapsearch(const QStringList& common, const QString& base, const QString& scope) {
    return common + QStringList{"-b", base, "-s", scope, kContainerFilter, "1.1"};
}

int runQuietly(const QStringList& command) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(command.first(), command.mid(1));
    process.waitForFinished(-1);
    return process.exitCode();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tree_bench DC_HOST BIND_ARGS...\n");
        return 2;
    }
    const QString host = QString::fromLocal8Bit(argv[1]);
    QStringList common{"ldapsearch", "-LLL", "-ZZ", "-H", "ldap://" + host};
    for (int i = 2; i < argc; ++i) {
        common << QString::fromLocal8Bit(argv[i]);
    }

    qm::QtDialogs dialogs;
    qm::QtSystem system;
    qm::Credentials credentials(dialogs);
    const auto directory = qm::makeDirectoryServices(credentials);
    const auto spreadsheets = qm::makeSpreadsheetFactory();
    EndByExit programEnd;
    qm::ScreenServices services{dialogs, system, *directory, *spreadsheets, programEnd};
    DocumentTaskChosen firstScreen;
    qm::frmSelect screen(services, firstScreen);

    QElapsedTimer clock;
    clock.start();
    screen.Form_Load();
    const double treeSeconds = clock.nsecsElapsed() / 1e9;
    const int nodes = screen.tvwContainers->Count();

    // The same one-level queries: one per node below the local computer.
    QStringList bases;
    for (int node = 2; node <= nodes; ++node) {
        bases << dnOfKey(screen.tvwContainers->Key(node));
    }
    clock.restart();
    int failures = 0;
    for (const QString& base : bases) {
        failures += runQuietly(ldapsearch(common, base, "one")) != 0 ? 1 : 0;
    }
    const double oneLevelSeconds = clock.nsecsElapsed() / 1e9;

    clock.restart();
    failures += runQuietly(ldapsearch(common, bases.first(), "sub")) != 0 ? 1 : 0;
    const double subtreeSeconds = clock.nsecsElapsed() / 1e9;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tree nodes                          %d\n", nodes);
    std::printf("peak memory of the program          %ld MB\n", usage.ru_maxrss / 1024);
    std::printf("selection screen start-up (tree)    %.2f s\n", treeSeconds);
    std::printf("ldapsearch, %d one-level queries  %.2f s   ratio %.3f\n",
                static_cast<int>(bases.size()), oneLevelSeconds, treeSeconds / oneLevelSeconds);
    std::printf("ldapsearch, one subtree query       %.2f s   ratio %.3f\n", subtreeSeconds,
                treeSeconds / subtreeSeconds);
    if (failures != 0) {
        std::printf("ldapsearch failed %d times\n", failures);
        return 1;
    }
    return 0;
}

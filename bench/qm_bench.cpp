// The measured side of bench/bench.sh: each command does one benchmark's work the way the program
// does it, with the real directory services and spreadsheet component. The script times the whole
// process (signing in included) and its peak memory against a tool doing the same work.
//   qm_bench read BASE                      the four attributes of every user one level below BASE
//   qm_bench write BASE USERS SEED          new hours for each bulk user, one save at a time
//   qm_bench ldif BASE USERS SEED           the same replaces as LDIF, for ldapmodify
//   qm_bench sheet csv|xlsx USERS SEED FILE those values as the Document run writes them
//   qm_bench scan USERS FILE                the Set run's two passes over a workbook
//   qm_bench document csv|xlsx BASE USERS FILE   the Document run on one checked node
//   qm_bench set SHEET FOLDER               the Set task on a CSV sheet, its log in FOLDER
//   qm_bench preview SHEET FOLDER           the same up to the confirmation, answered No
//   qm_bench winnt COMPUTER                 bind a computer and list its users
// Signs in with the Kerberos ticket, or as the sandbox's Administrator when a password is asked.
#include <QByteArray>

#include <cstdio>
#include <map>
#include <vector>

#include "bench/bench_platform.h"
#include "document/sheet_writer.h"
#include "logonhours/sheet_layout.h"
#include "setting/set_run.h"
#include "setting/sheet_reader.h"

namespace {

using namespace qm;
using qm::bench::Bench;

// The two screens as the runs see them: one checked node, the chosen file, a silent progress bar.
class BenchScreen : public DocumentScreen, public SetScreen, public ProgressBar {
public:
    BenchScreen(std::string file, bool workbook, std::string base = {}, std::string count = {})
        : file_(std::move(file)),
          workbook_(workbook),
          base_(std::move(base)),
          count_(std::move(count)) {}
    std::string countCaption() override { return count_; }
    Int16 nodeCount() override { return 1; }
    TreeNodeState node(Int16) override { return {true, "Domain Container", base_, base_}; }
    ProgressBar& progressBar() override { return *this; }
    bool workbookChosen() override { return workbook_; }
    std::string fileName() override { return file_; }
    void showSelectionScreen() override {}
    void setMaximum(Int16) override {}
    void setValue(Int16) override {}

private:
    std::string file_;
    bool workbook_;
    std::string base_;
    std::string count_;
};

std::string bulkName(int user) {
    char name[16];
    std::snprintf(name, sizeof name, "bulk%05d", user);
    return name;
}

// New hours for every user and every seed, so that each replace really changes the user.
Bytes hoursOf(int user, int seed) {
    Bytes value(kLogonHoursBytes);
    for (int j = 0; j < kLogonHoursBytes; ++j) {
        value[j] = static_cast<std::uint8_t>(user * 7 + j * 13 + seed * 31);
    }
    return value;
}

bool readUsers(Bench& bench, const std::string& base) {
    const auto users = bench.directory->openQueryConnection()->users(base);
    std::size_t rows = 0;
    while (users->next()) {
        ++rows;
    }
    return rows > 0;
}

bool writeUsers(Bench& bench, const std::string& base, int users, int seed) {
    for (int user = 1; user <= users; ++user) {
        bench.directory->listedDomainUser("CN=" + bulkName(user) + "," + base, std::nullopt)
            ->setLogonHours(hoursOf(user, seed));
    }
    return true;
}

bool printLdif(const std::string& base, int users, int seed) {
    for (int user = 1; user <= users; ++user) {
        const Bytes value = hoursOf(user, seed);
        const QByteArray bytes(reinterpret_cast<const char*>(value.data()), kLogonHoursBytes);
        std::cout << "dn: CN=" << bulkName(user) << "," << base << "\nchangetype: modify\n"
                  << "replace: logonHours\nlogonHours:: " << bytes.toBase64().toStdString()
                  << "\n-\n\n";
    }
    return true;
}

bool writeSheet(Bench& bench, bool workbook, int users, int seed, const std::string& file) {
    ErrorTrap trap("QMK3", bench.trap);
    DocumentServices services = bench.document();
    SheetWriter sheet(trap, services, workbook, file);
    bool begun = sheet.BeginSheet();
    for (int user = 1; begun && user <= users; ++user) {
        sheet.WriteUserEntry(SheetWriter::Source::Directory, bulkName(user), bulkName(user),
                             "OU=Bulk", "DC=corp,DC=test", hoursOf(user, seed));
    }
    return begun && sheet.FinishSheet();
}

bool scanWorkbook(Bench& bench, int users, const std::string& file) {
    auto spreadsheet = bench.spreadsheets->start();
    const auto workbook = spreadsheet->openWorkbook(file);
    ErrorTrap trap("QMK18", bench.trap);
    WorkbookScan scan(*workbook, trap);
    const Int32 counted = scan.countBlocks();
    std::size_t characters = 0;
    scan.forEachBlock("18", [&](Int32 r) {
        for (int k = 0; k < 8; ++k) {
            characters +=
                scan.cellText(r + k, k < 4 ? sheet::kColumnValue : sheet::kColumnDay).size();
        }
    });
    return counted.value() == users && characters > 0;
}

bool documentRun(Bench& bench, bool workbook, const std::string& base, int users,
                 const std::string& file) {
    const auto connection = bench.directory->openQueryConnection();
    BenchScreen screen(file, workbook, base, bench.system.formatGrouped(users));
    DocumentServices services = bench.document(connection.get());
    runDocument(screen, services);
    return !bench.dialogs.critical;
}

bool setRun(Bench& bench, const std::string& sheet, const std::string& folder) {
    bench.system.folder = folder;
    BenchScreen screen(sheet, false);
    SetServices services{*bench.directory, *bench.spreadsheets, bench.dialogs,
                         bench.trap,       bench.logonHours,    bench.system};
    SetLogonHoursFromFile(screen, services);
    return !bench.dialogs.critical;
}

bool listComputer(Bench& bench, const std::string& computer) {
    return !bench.directory->computer(computer)->users().empty();
}

using Args = std::vector<std::string>;
int number(const Args& args, std::size_t i) {
    return std::stoi(args.at(i));
}

const std::map<std::string, std::function<bool(Bench&, const Args&)>> kCommands = {
    {"read", [](Bench& b, const Args& a) { return readUsers(b, a.at(1)); }},
    {"write",
     [](Bench& b, const Args& a) { return writeUsers(b, a.at(1), number(a, 2), number(a, 3)); }},
    {"ldif", [](Bench&, const Args& a) { return printLdif(a.at(1), number(a, 2), number(a, 3)); }},
    {"sheet",
     [](Bench& b, const Args& a) {
         return writeSheet(b, a.at(1) == "xlsx", number(a, 2), number(a, 3), a.at(4));
     }},
    {"scan", [](Bench& b, const Args& a) { return scanWorkbook(b, number(a, 1), a.at(2)); }},
    {"document",
     [](Bench& b, const Args& a) {
         return documentRun(b, a.at(1) == "xlsx", a.at(2), number(a, 3), a.at(4));
     }},
    {"set", [](Bench& b, const Args& a) { return setRun(b, a.at(1), a.at(2)); }},
    {"preview",
     [](Bench& b, const Args& a) {
         b.dialogs.confirmation = Answer::No;
         return setRun(b, a.at(1), a.at(2));
     }},
    {"winnt", [](Bench& b, const Args& a) { return listComputer(b, a.at(1)); }},
};

}  // namespace

int main(int argc, char** argv) {
    const Args args(argv + 1, argv + argc);
    const auto command = args.empty() ? kCommands.end() : kCommands.find(args[0]);
    if (command == kCommands.end()) {
        std::cerr << "qm_bench: unknown command (see the top of bench/qm_bench.cpp)\n";
        return 2;
    }
    return qm::bench::runGuarded("qm_bench",
                                 [&](Bench& bench) { return command->second(bench, args); });
}

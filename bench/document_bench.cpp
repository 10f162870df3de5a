// The Document run (qm::cmdOK_Click) over the users of one directory node, as the Document button
// starts it, with the real directory services and spreadsheet component, for bench/document.sh to
// time against ldapsearch:
//   document_bench csv|xlsx BASE USERS FILE
// Only the screen is a stand-in: one checked node, the count the selection screen would show
// (USERS, counted before the button is pressed, so not timed here) and a progress bar that goes
// nowhere. Signs in with the Kerberos ticket. Prints the users written, the
// run's own seconds and the peak memory to standard error.

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "document/document_run.h"
#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/workbook_application.h"

namespace {

// Any message but the final "created" one means the run failed.
class ReportingDialogs : public qm::Dialogs {
public:
    qm::Answer messageBox(const std::string&, const std::string& text,
                          qm::MessageStyle style) override {
        if (style != qm::MessageStyle::Information || text.rfind("File ", 0) != 0) {
            std::cerr << text << "\n";
            std::exit(1);
        }
        return qm::Answer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, bool) override { return {}; }
    std::string browseForFolder(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

class ExitingTrap : public qm::TrapServices {
public:
    void showCritical(const std::string&, const std::string& text) override {
        std::cerr << text << "\n";
    }
    void closeDirectoryConnection() override {}
    [[noreturn]] void endProgram() override { std::exit(1); }
};

class PlainSystem : public qm::System {
public:
    std::string ComputerName() override { return "BENCH"; }
    qm::Variant TimeZoneBias() override { return qm::Variant(300); }
    std::string ApplicationPath() override { return "."; }
    bool FileExists(const std::string&) override { return false; }
    void startTextEditor(const std::string&) override {}
    std::string nowText() override { return {}; }
    std::string formatGrouped(std::int64_t number) override { return std::to_string(number); }
    std::int64_t parseGrouped(const std::string& text) override { return std::stoll(text); }
};

class NoProgressBar : public qm::ProgressBar {
public:
    void setMaximum(qm::Int16) override {}
    void setValue(qm::Int16) override {}
};

class OneNodeScreen : public qm::DocumentScreen {
public:
    OneNodeScreen(std::string base, std::int32_t users, bool workbook, std::string file)
        : base_(std::move(base)), users_(users), workbook_(workbook), file_(std::move(file)) {}

    std::string countCaption() override { return std::to_string(users_); }
    qm::Int16 nodeCount() override { return 1; }
    qm::TreeNodeState node(qm::Int16) override {
        return {true, "Domain Container", base_, "LDAP://" + base_};
    }
    qm::ProgressBar& progressBar() override { return progress_; }
    bool workbookChosen() override { return workbook_; }
    std::string fileName() override { return file_; }

private:
    std::string base_;
    std::int32_t users_;
    bool workbook_;
    std::string file_;
    NoProgressBar progress_;
};

long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 5 ? argv[1] : "";
    if (mode != "csv" && mode != "xlsx") {
        std::cerr << "usage: document_bench csv|xlsx BASE USERS FILE\n";
        return 2;
    }
    ReportingDialogs dialogs;
    ExitingTrap trap;
    PlainSystem system;
    qm::Credentials credentials(dialogs);
    try {
        const auto directory = qm::makeDirectoryServices(credentials);
        const auto spreadsheets = qm::makeSpreadsheetFactory();
        const auto connection = directory->newConnection();
        connection->Open("Active Directory Provider", "", "");
        const auto users = static_cast<std::int32_t>(std::stol(argv[3]));
        const qm::LogonHours logonHours(trap, 5);
        OneNodeScreen screen(argv[2], users, mode == "xlsx", argv[4]);
        qm::DocumentServices services{*directory, connection.get(), *spreadsheets, dialogs,
                                      trap,       logonHours,       system};

        const auto start = std::chrono::steady_clock::now();
        qm::cmdOK_Click(screen, services);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cerr << "documented " << users << " users in " << took.count() << " s, peak memory "
                  << peakMemoryKb() << " kB\n";
    } catch (const qm::RunTimeError& error) {
        std::cerr << "error " << error.number() << ": " << error.description() << " ("
                  << error.source() << ")\n";
        return 1;
    }
    return 0;
}

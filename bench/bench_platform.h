// What every benchmark driver works through: the real directory services and spreadsheet
// component, dialogs that answer by themselves, and the operating system as Qt gives it.
#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "document/document_run.h"
#include "platform/ldap/directory_services.h"
#include "platform/qt/qt_system.h"
#include "platform/qt/screen_services.h"
#include "platform/signin/credentials.h"
#include "platform/workbook/workbook_application.h"

namespace qm::bench {

// Yes to the Set run's confirmation, OK to anything else; a critical message fails the run.
class BenchDialogs : public Dialogs {
public:
    Answer messageBox(const std::string&, const std::string& text, MessageStyle style) override {
        std::cerr << text << "\n";
        critical = critical || style == MessageStyle::Critical;
        return style == MessageStyle::Question ? Answer::Yes : Answer::Ok;
    }
    Answer askWithDetails(const std::string&, const std::string&, const std::string&,
                          const std::string&) override {
        return confirmation;
    }
    std::string inputBox(const std::string&, const std::string&, bool masked) override {
        const char* sandbox = std::getenv("QUILLMARK_SANDBOX_DIR");
        std::string password;
        std::getline(std::ifstream(std::string(sandbox ? sandbox : ".") + "/admin-password"),
                     password);
        return masked ? password : "Administrator";
    }
    std::string browseForFolder(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
    bool critical = false;
    Answer confirmation = Answer::Yes;
};

// The operating system as Qt gives it, with the program's folder where the benchmark wants it.
class BenchSystem : public System {
public:
    std::string ComputerName() override { return qt_.ComputerName(); }
    Variant TimeZoneBias() override { return qt_.TimeZoneBias(); }
    std::string ApplicationPath() override { return folder; }
    bool FileExists(const std::string& path) override { return qt_.FileExists(path); }
    void startTextEditor(const std::string&) override {}
    std::string nowText() override { return qt_.nowText(); }
    std::string formatGrouped(std::int64_t number) override { return qt_.formatGrouped(number); }
    std::int64_t parseGrouped(const std::string& text) override { return qt_.parseGrouped(text); }
    std::string folder = ".";

private:
    QtSystem qt_;
};

// Everything a run works through, built once.
struct Bench {
    BenchDialogs dialogs;
    Credentials credentials{dialogs};
    std::unique_ptr<DirectoryServices> directory = makeDirectoryServices(credentials);
    std::unique_ptr<SpreadsheetFactory> spreadsheets = makeSpreadsheetFactory();
    ProcessEnd programEnd;
    ScreenTrapServices trap{dialogs, programEnd};
    LogonHours logonHours{trap, 0};
    BenchSystem system;
    DocumentServices document(QueryConnection* connection = nullptr) {
        return {*directory, connection, *spreadsheets, dialogs, trap, logonHours, system};
    }
};

// Runs one driver command: 0 when it did its work, 1 when it failed (the error on stderr).
inline int runGuarded(const char* driver, const std::function<bool(Bench&)>& command) {
    try {
        Bench bench;
        return command(bench) ? 0 : 1;
    } catch (const RunTimeError& error) {
        std::cerr << driver << ": " << error.number() << " " << error.description() << "\n";
    } catch (const std::exception& error) {
        std::cerr << driver << ": " << error.what() << "\n";
    }
    return 1;
}

}  // namespace qm::bench

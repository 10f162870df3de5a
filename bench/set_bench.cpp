// The Set run on a large sheet, for bench/set.sh to time against ldapmodify, and the plain libldap
// work underneath it, to show where the floor lies:
//   set_bench set SHEET FOLDER BIAS   the whole Set task (SetLogonHoursFromFile) on a CSV sheet
//   with
//                                     the real directory services, spreadsheet component and files;
//                                     the log and the restore sheet go to FOLDER; Yes to the
//                                     confirmation
//   set_bench modify FILE             plain libldap, one connection: for each line "DN<TAB>hex of
//                                     21 bytes" one replace of logonHours (what ldapmodify does)
//   set_bench read-modify FILE        the same with a base read of the user before each replace
//                                     (what a bind and SetInfo cost at the least)
//   set_bench syncs N FOLDER          N pairs of durable appends, as the run makes per user: a
//                                     restore entry and a log line, each written and synced
// Signs in with the Kerberos ticket (SASL GSSAPI), as ldapmodify -Y GSSAPI does.

#include <ldap.h>
#include <sasl/sasl.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "logonhours/logon_hours.h"
#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/qt_system.h"
#include "platform/screen_services.h"
#include "platform/text_file.h"
#include "platform/workbook_application.h"
#include "setting/set_run.h"

namespace {

// Answers Yes to the confirmation and OK to everything else; shows each message on standard error.
class ScriptedDialogs : public qm::Dialogs {
public:
    qm::Answer messageBox(const std::string&, const std::string& text,
                          qm::MessageStyle style) override {
        std::cerr << text << "\n";
        ++shown;
        return style == qm::MessageStyle::Question ? qm::Answer::Yes : qm::Answer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, bool) override { return {}; }
    std::string browseForFolder(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
    int shown = 0;
};

class BenchScreen : public qm::SetScreen, public qm::ProgressBar {
public:
    explicit BenchScreen(std::string sheet) : sheet_(std::move(sheet)) {}
    bool workbookChosen() override { return false; }
    std::string fileName() override { return sheet_; }
    qm::ProgressBar& progressBar() override { return *this; }
    void showSelectionScreen() override {}
    void setMaximum(qm::Int16) override {}
    void setValue(qm::Int16) override {}

private:
    std::string sheet_;
};

// The operating system as Qt gives it, with the program's folder where the benchmark wants it.
class BenchSystem : public qm::System {
public:
    explicit BenchSystem(std::string folder) : folder_(std::move(folder)) {}
    std::string ComputerName() override { return qt_.ComputerName(); }
    qm::Variant TimeZoneBias() override { return qt_.TimeZoneBias(); }
    std::string ApplicationPath() override { return folder_; }
    bool FileExists(const std::string& path) override { return qt_.FileExists(path); }
    void startTextEditor(const std::string&) override {}
    std::string nowText() override { return qt_.nowText(); }
    std::string formatGrouped(std::int64_t number) override { return qt_.formatGrouped(number); }
    std::int64_t parseGrouped(const std::string& text) override { return qt_.parseGrouped(text); }

private:
    qm::QtSystem qt_;
    std::string folder_;
};

int runSet(const std::string& sheet, const std::string& folder, int bias) {
    ScriptedDialogs dialogs;
    qm::Credentials credentials(dialogs);
    auto directory = qm::makeDirectoryServices(credentials);
    auto spreadsheets = qm::makeSpreadsheetFactory();
    qm::ProcessEnd programEnd;
    qm::ScreenTrapServices trap(dialogs, programEnd);
    qm::LogonHours logonHours(trap, qm::Int16(bias));
    BenchSystem system(folder);
    BenchScreen screen(sheet);
    qm::SetServices services{*directory, *spreadsheets, dialogs, trap, logonHours, system};
    qm::SetLogonHoursFromFile(screen, services);
    return dialogs.shown == 2 ? 0 : 1;  // the confirmation and the summary, nothing else
}

// --- plain libldap -------------------------------------------------------------------------------

int answerSaslDefaults(LDAP*, unsigned, void*, void* prompts) {
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
         ++prompt) {
        prompt->result = prompt->defresult != nullptr ? prompt->defresult : "";
        prompt->len = static_cast<unsigned>(
            std::char_traits<char>::length(static_cast<const char*>(prompt->result)));
    }
    return LDAP_SUCCESS;
}

bool failed(int rc, const char* what) {
    if (rc != LDAP_SUCCESS) {
        std::cerr << what << ": " << ldap_err2string(rc) << "\n";
    }
    return rc != LDAP_SUCCESS;
}

std::string bytesOfHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

int plainLdap(const std::string& file, bool readFirst) {
    LDAP* ld = nullptr;
    // The URI and the TLS settings come from the client configuration (LDAPCONF).
    if (failed(ldap_initialize(&ld, nullptr), "initialize")) {
        return 1;
    }
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    if (failed(ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr,
                                            LDAP_SASL_QUIET, answerSaslDefaults, nullptr),
               "GSSAPI bind")) {
        return 1;
    }
    std::array<char*, 5> attributes = {const_cast<char*>("cn"), const_cast<char*>("sAMAccountName"),
                                       const_cast<char*>("distinguishedName"),
                                       const_cast<char*>("logonHours"), nullptr};
    std::ifstream lines(file);
    long done = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        const std::string dn = line.substr(0, tab);
        if (readFirst) {
            LDAPMessage* result = nullptr;
            const int rc = ldap_search_ext_s(ld, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)",
                                             attributes.data(), 0, nullptr, nullptr, nullptr,
                                             LDAP_NO_LIMIT, &result);
            const bool found = rc == LDAP_SUCCESS && ldap_count_entries(ld, result) == 1;
            ldap_msgfree(result);
            if (!found) {
                failed(rc == LDAP_SUCCESS ? LDAP_NO_SUCH_OBJECT : rc, dn.c_str());
                return 1;
            }
        }
        std::string value = bytesOfHex(line.substr(tab + 1));
        berval bytes{static_cast<ber_len_t>(value.size()), value.data()};
        std::array<berval*, 2> values = {&bytes, nullptr};
        LDAPMod modification{};
        modification.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
        modification.mod_type = const_cast<char*>("logonHours");
        modification.mod_bvalues = values.data();
        std::array<LDAPMod*, 2> modifications = {&modification, nullptr};
        if (failed(ldap_modify_ext_s(ld, dn.c_str(), modifications.data(), nullptr, nullptr),
                   dn.c_str())) {
            return 1;
        }
        ++done;
    }
    ldap_unbind_ext(ld, nullptr, nullptr);
    std::cerr << (readFirst ? "read and modified " : "modified ") << done << " users\n";
    return 0;
}

int durableAppends(int pairs, const std::string& folder) {
    qm::TextFileWriter restore(folder + "/restore.csv", qm::TextFileMode::CreateOrTruncate,
                               qm::TextEncoding::Utf8WithBom);
    qm::TextFileWriter log(folder + "/Quillmark.log", qm::TextFileMode::CreateOrTruncate,
                           qm::TextEncoding::Windows1252Lossy);
    const std::string entry =
        "\"bulk00001\",\"OU=Bulk\",\"DC=corp,DC=test\"" + std::string(246, '1');
    for (int i = 0; i < pairs; ++i) {
        restore.writeLine(entry);
        restore.flushToDisk();
        log.writeLine("Updated CN=bulk00001,OU=Bulk,DC=corp,DC=test");
        log.flushToDisk();
    }
    restore.close();
    log.close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "set") {
        return runSet(args[1], args[2], std::stoi(args[3]));
    }
    if (args.size() == 2 && (args[0] == "modify" || args[0] == "read-modify")) {
        return plainLdap(args[1], args[0] == "read-modify");
    }
    if (args.size() == 3 && args[0] == "syncs") {
        return durableAppends(std::stoi(args[1]), args[2]);
    }
    std::cerr << "usage: set_bench set SHEET FOLDER BIAS | modify FILE | read-modify FILE | "
                 "syncs N FOLDER\n";
    return 2;
}

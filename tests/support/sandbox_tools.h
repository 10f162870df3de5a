#pragma once

// What tests inside the sandbox domain need: the facts scripts/sandbox writes (DIR/facts.env), and
// the servers' own tools (pdbedit, ldapsearch, ldapmodify), the independent view to compare with.

#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/workbook_files.h"

namespace qm::testing {

inline const std::string kCorpDomain = "DC=corp,DC=test";

// One fact ("PC01_CONF", "CORP_DN" …) of $QUILLMARK_SANDBOX_DIR/facts.env (shell syntax), else
// of the source tree's .sandbox; a missing one means the sandbox is not started.
inline std::string sandboxFact(const std::string& name) {
    static std::map<std::string, std::string> known;
    if (known.count(name) == 0) {
        const char* dir = std::getenv("QUILLMARK_SANDBOX_DIR");
        const std::string facts =
            "'" + std::string(dir != nullptr ? dir : QM_SOURCE_DIR "/.sandbox") + "/facts.env'";
        known[name] =
            runCommand("test -r " + facts + " && . " + facts + "; printf %s \"$" + name + "\"");
    }
    if (known[name].empty()) {
        throw std::runtime_error("facts.env lacks " + name + " (is the sandbox started?)");
    }
    return known[name];
}

// The one password of the sandbox's Administrator accounts.
inline std::string sandboxPassword() {
    return runCommand("head -n1 '" + sandboxFact("SANDBOX_PASSWORD_FILE") + "' | tr -d '\\n'");
}

inline std::vector<std::string> nonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

// pdbedit's view of a sandbox computer's ("PC01") account database, read from its files.
inline std::string sandboxPdbedit(const std::string& computer, const std::string& arguments) {
    return runCommand("pdbedit -s '" + sandboxFact(computer + "_CONF") + "' " + arguments +
                      " 2>/dev/null");
}

inline std::string shellQuoted(const std::string& text) {
    return quoted(text, '\'', "'\\''");
}

// scripts/sandbox with the arguments ("stop corp", "start").
inline void runSandbox(const std::string& arguments) {
    runCommand(std::string(QM_SOURCE_DIR) + "/scripts/sandbox " + arguments + " >/dev/null 2>&1");
}

// Starts the servers a test stopped again when it goes, even when the test fails half-way.
struct SandboxRestarter {
    ~SandboxRestarter() {
        (void)std::system(QM_SOURCE_DIR "/scripts/sandbox start >/dev/null 2>&1");
    }
};

// An OpenLDAP tool signed in to the corp DC as the account (the sandbox password is everyone's)
// over StartTLS.
inline std::string ldapTool(const std::string& tool, const std::string& account = "Administrator") {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D " + account + "@" +
           sandboxFact("CORP_DOMAIN") + " -y " + shellQuoted(sandboxFact("SANDBOX_PASSWORD_FILE"));
}

// The LDIF lines of a paged search of the corp DC (scope "base", "one" or "sub"), in its order.
inline std::vector<std::string> corpSearch(const std::string& base, const std::string& scope,
                                           const std::string& filter,
                                           const std::string& attributes) {
    return nonEmptyLines(runCommand(
        ldapTool("ldapsearch") + " -LLL -o ldif-wrap=no -E pr=1000/noprompt -b " +
        shellQuoted(base) + " -s " + scope + " " + shellQuoted(filter) + " " + attributes));
}

}  // namespace qm::testing

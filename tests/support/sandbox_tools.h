#pragma once

// What tests inside the sandbox domain need: the facts scripts/sandbox writes (DIR/facts.env), and
// the servers' own tools (pdbedit, ldapsearch, ldapmodify), the independent view to compare with.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/variant.h"

namespace qm::testing {

// Runs a shell command and returns what it printed; a failing command throws.
inline std::string runCommand(const std::string& command) {
    std::string output;
    std::array<char, 4096> buffer{};
    FILE* pipe = popen(command.c_str(), "r");
    for (std::size_t n; pipe != nullptr && (n = fread(buffer.data(), 1, buffer.size(), pipe));) {
        output.append(buffer.data(), n);
    }
    if (pipe == nullptr || pclose(pipe) != 0) {
        throw std::runtime_error("failed: " + command + "\n" + output);
    }
    return output;
}

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

// An OpenLDAP tool ("ldapsearch", "ldapmodify") talking to the corp DC over StartTLS as the
// forest's Administrator.
inline std::string corpLdapTool(const std::string& tool) {
    return tool + " -x -ZZ -H ldap://" + sandboxFact("CORP_DC") + " -D Administrator@" +
           sandboxFact("CORP_DOMAIN") + " -y '" + sandboxFact("SANDBOX_PASSWORD_FILE") + "'";
}

inline std::string toBase64(const Bytes& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const unsigned chunk =
            (bytes[i] << 16) | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
        for (std::size_t j = 0; j < 4; ++j) {
            text += j <= left ? digits[(chunk >> (18 - 6 * j)) & 63] : '=';
        }
    }
    return text;
}

// The DNs a paged search of the corp DC finds (scope "base", "one" or "sub"), in its order.
inline std::vector<std::string> corpDns(const std::string& base, const std::string& scope,
                                        const std::string& filter) {
    std::vector<std::string> dns;
    for (const std::string& line : nonEmptyLines(runCommand(
             corpLdapTool("ldapsearch") + " -LLL -o ldif-wrap=no -E pr=1000/noprompt -b '" + base +
             "' -s " + scope + " '" + filter + "' 1.1"))) {
        if (line.starts_with("dn:")) {  // not the paged search's comments
            dns.push_back(line.substr(line.find_first_not_of(": ", 3)));
        }
    }
    return dns;
}

// A corp user's logonHours as the DC holds them; nothing when the user has none.
inline std::optional<Bytes> corpLogonHours(const std::string& dn) {
    const std::string bytes =
        runCommand(corpLdapTool("ldapsearch") + " -LLL -o ldif-wrap=no -b '" + dn +
                   "' -s base logonHours | sed -n 's/^logonHours:: //p' | base64 -d");
    return bytes.empty() ? std::nullopt : std::optional<Bytes>(Bytes(bytes.begin(), bytes.end()));
}

// Sets a corp user's logonHours through ldapmodify; nothing deletes them.
inline void setCorpLogonHours(const std::string& dn, const std::optional<Bytes>& value) {
    const std::string change = value ? "replace: logonHours\nlogonHours:: " + toBase64(*value)
                                     : std::string("delete: logonHours");
    runCommand("printf '%s\\n' 'dn: " + dn + "' 'changetype: modify' '" + change + "' | " +
               corpLdapTool("ldapmodify") + " >/dev/null");
}

// Stops a sandbox server's processes ("corp", "pc01": one process group) without ending them, and
// continues them when it goes: the kernel still accepts connections, and nothing answers.
class SandboxServerFrozen {
public:
    explicit SandboxServerFrozen(const std::string& server)
        : group_(" -$(cut -d' ' -f1 \"$QUILLMARK_SANDBOX_DIR/run/" + server + ".pid\")") {
        runCommand("kill -STOP" + group_);
    }
    ~SandboxServerFrozen() { std::system(("kill -CONT" + group_).c_str()); }
    SandboxServerFrozen(const SandboxServerFrozen&) = delete;
    SandboxServerFrozen& operator=(const SandboxServerFrozen&) = delete;

private:
    std::string group_;
};

// 21 bytes that differ from each other, as logon hours to write.
inline Bytes sampleHours(std::uint8_t seed) {
    Bytes bytes(21);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + 37 * i);
    }
    return bytes;
}

}  // namespace qm::testing

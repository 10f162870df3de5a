#pragma once

// What tests inside the sandbox domain need to know and run: the facts scripts/sandbox writes
// (DIR/facts.env) and a way to run the servers' own tools (pdbedit, ldapsearch …) as commands.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::testing {

// DIR is $QUILLMARK_SANDBOX_DIR, else the .sandbox folder of the source tree (QM_SOURCE_DIR).
inline std::map<std::string, std::string> readSandboxFacts() {
    const char* dir = std::getenv("QUILLMARK_SANDBOX_DIR");
    std::ifstream file(std::string(dir != nullptr ? dir : QM_SOURCE_DIR "/.sandbox") +
                       "/facts.env");
    std::map<std::string, std::string> facts;
    for (std::string line; std::getline(file, line);) {
        const auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

// One fact ("PC01_CONF", "CORP_DN" …); a missing one means the sandbox is not started.
inline std::string sandboxFact(const std::string& name) {
    static const auto facts = readSandboxFacts();
    const auto it = facts.find(name);
    if (it == facts.end()) {
        throw std::runtime_error("facts.env lacks " + name + " (is the sandbox started?)");
    }
    return it->second;
}

// The one password of the sandbox's Administrator accounts.
inline std::string sandboxPassword() {
    std::ifstream file(sandboxFact("SANDBOX_PASSWORD_FILE"));
    std::string password;
    std::getline(file, password);
    return password;
}

// Runs a shell command and returns what it printed; a failing command throws.
inline std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::array<char, 4096> buffer{};
    while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), n);
    }
    if (pclose(pipe) != 0) {
        throw std::runtime_error("failed: " + command + "\n" + output);
    }
    return output;
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

}  // namespace qm::testing

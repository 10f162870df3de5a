#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::testing {

// A sheet's cells by (row, column), empty ones left out.
using CellGrid = std::map<std::pair<int, int>, std::string>;

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

// A folder of its own for one test, removed afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("qm-" + name + "-" + std::to_string(getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The restore sheets a Set run wrote into the program's folder.
inline std::vector<std::string> restoreSheets(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("Quillmark-restore-")) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

// The text between quotes, each quote inside written as escaped.
inline std::string quoted(const std::string& text, char quote, const std::string& escaped) {
    std::string result(1, quote);
    for (char c : text) {
        result += c == quote ? escaped : std::string(1, c);
    }
    return result + quote;
}

inline std::string csvField(const std::string& text) {
    return quoted(text, '"', "\"\"");
}

inline std::string csvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (const std::string& field : fields) {
        record += (record.empty() ? "" : ",") + csvField(field);
    }
    return record + "\r\n";
}

inline const std::string kCsvHeader =
    csvRecord({"Name", "Container", "Domain", "Sunday", "Monday", "Tuesday", "Wednesday",
               "Thursday", "Friday", "Saturday"});

}  // namespace qm::testing

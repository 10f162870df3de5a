#pragma once

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qm::testing {

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

inline std::string csvField(const std::string& text) {
    std::string field = "\"";
    for (char c : text) {
        field += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return field + "\"";
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

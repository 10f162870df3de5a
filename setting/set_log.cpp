#include "setting/set_log.h"

#include <algorithm>
#include <chrono>

#include "platform/core/app_identity.h"

namespace qm {

namespace {

// How long a line may wait to reach the disk: a crash loses at most these lines.
constexpr std::size_t kSyncEveryLines = 100;
constexpr std::chrono::milliseconds kSyncWithin{250};

}  // namespace

void SetLog::open(const std::string& path) {
    file_.emplace(path);
    file_->syncInGroups(kSyncEveryLines, kSyncWithin);
}

void SetLog::writeHeader(const std::string& fileName, const std::string& groupedCount,
                         const std::string& now) {
    write(std::string(50, '-'));
    write(kVersionLabel);
    write("Input file: " + fileName);
    write("Update Logon Hours for " + groupedCount + " users");
    write("Started at: " + now);
}

void SetLog::write(const std::string& line) {
    file_->writeLine(asOneLine(line));
}

void SetLog::writeErrorBlock(const std::string& marker, const RunTimeError& error,
                             const std::optional<RowFields>& row) {
    write("### Error & " + marker + " in QMK18");
    write("    Error Number: " + std::to_string(error.number()));
    write("    Description:  " + error.description());
    write("    Source:       " + error.source());
    if (row) {
        write("    Domain:       " + row->domain);
        write("    Container:    " + row->container);
        write("    User:         " + row->name);
        write("    Common Name:  " + row->commonName);
    }
    // The run ends here: the block is on the disk before anything else is tried.
    file_->flushToDisk();
}

void SetLog::close() {
    if (file_) {
        file_->close();
        file_.reset();
    }
}

std::string SetLog::asOneLine(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char ch) {
        if (ch == '\r' || ch == '\n') {
            return ' ';
        }
        const auto byte = static_cast<unsigned char>(ch);
        return byte < 0x20 || byte == 0x7F ? '?' : ch;
    });
    return text;
}

}  // namespace qm

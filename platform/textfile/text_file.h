#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

// The sequential text files of the program: the comma-delimited sheet and the log. Lines end with
// CR LF on disk; texts are UTF-8 inside. Every failure is a RunTimeError with the number a Windows
// program's file calls give (53 "File not found", 70 "Permission denied", 75 "Path/File access
// error", 76 "Path not found", 61 "Disk full") and the system's own message.

// Appends lines to a file, creating it when missing, in the system's 8-bit code page: a character
// it lacks becomes '?', as Windows writes it. For the log, whose lines are read by people and must
// never stop a run half-way. The sheets have a writer of their own (CsvSheetWriter).
class TextFileWriter {
public:
    explicit TextFileWriter(std::string path);
    ~TextFileWriter();  // closes without reporting; call close() to hear of a failure
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    // Writes the text and CR LF.
    void writeLine(std::string_view utf8Text);
    // From now on the lines reach the disk in groups, not only at flushToDisk: a sync starts once
    // `lines` lines or `delay` after the oldest line not yet there, and the writer waits for one
    // at close. A thread of the writer's own syncs, so writing never waits for the disk; a failure
    // of its sync is raised by the next call.
    void syncInGroups(std::size_t lines, std::chrono::milliseconds delay);
    // Waits until everything written is on the disk, so a crash cannot lose an earlier line. A
    // file that cannot be synced (a device, a file system without it) has nothing to wait for.
    void flushToDisk();
    void close();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

private:
    class GroupSync;

    void writeAll(std::string_view bytes);
    void raise(int error);

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<GroupSync> group_;
};

class TextFileReader {
public:
    // A file that starts with the UTF-8 byte-order mark is read as UTF-8; otherwise each line that
    // is valid UTF-8 is read as UTF-8 and any other as Windows-1252. Errors name the file as
    // displayName when one is given. Only a regular file is opened, and never with a wait.
    explicit TextFileReader(const std::string& path, std::string displayName = {});
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    // The next line as UTF-8 without its end (CR LF, LF or a lone CR); false at the end of the
    // file. Memory stays bounded: a line longer than kMaxLineBytes is an error.
    bool readLine(std::string& line);
    bool atEndOfFile();
    void close();

    bool isOpen() const { return fd_ >= 0; }

    static constexpr std::size_t kMaxLineBytes = 4 * 1024 * 1024;

private:
    bool fill();

    std::string path_;
    int fd_ = -1;
    bool utf8_ = false;
    std::string buffer_;
    std::size_t position_ = 0;
    long long lineNumber_ = 0;
};

}  // namespace qm

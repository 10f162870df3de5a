#pragma once

#include <string>

namespace qm {

// A private copy of a file's bytes, taken once when the file is opened: every later read sees
// exactly what was there then, whatever happens to the file meanwhile. So the rows a Set run
// counted and had confirmed are the rows it applies. The copy is an unlinked temporary file, so
// memory stays flat however large the sheet is. Only a regular file is taken (see
// openRegularFile); every failure is a file RunTimeError.
class FileSnapshot {
public:
    explicit FileSnapshot(const std::string& path);
    ~FileSnapshot();
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;

    // A name that opens the copy afresh, with a reading position of its own, while this lives.
    std::string path() const;

private:
    int fd_ = -1;
};

}  // namespace qm

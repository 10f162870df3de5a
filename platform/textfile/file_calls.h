#pragma once

#include <sys/types.h>

#include <string>

#include "platform/core/run_time_error.h"

namespace qm {

// A failed file call as the run-time error a Windows program's file calls give (53 "File not
// found", 70 "Permission denied", 75 "Path/File access error", 76 "Path not found", 61 "Disk
// full"), with the system's own message after the path.
RunTimeError fileError(int errorNumber, const std::string& path, bool creating = false);

// Opens a file for reading without ever waiting: a named pipe or a device is refused (error 75)
// instead of blocking the screen, and so is a folder. The descriptor returned blocks as usual.
int openRegularFile(const std::string& path);

// A new, empty file beside target under a name nobody else uses, for a file that is renamed over
// target only once it is complete.
struct SiblingFile {
    int fd;
    std::string path;
};
SiblingFile createTemporarySibling(const std::string& target);

// Waits until the file's bytes are on the disk: 0, or the error. A refusal to sync at all is no
// error: such a file has nothing to wait for.
int syncData(int fd);

// Lets the disk start taking the bytes just written, without waiting for it; only a hint.
void startWriteBack(int fd, off_t offset, off_t length);

// Waits until the file's bytes are on the disk, then renames it over target.
void replaceWith(int fd, const std::string& temporary, const std::string& target);

}  // namespace qm

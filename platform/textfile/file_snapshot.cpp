#include "platform/textfile/file_snapshot.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/textfile/file_calls.h"

namespace qm {

namespace {

constexpr std::size_t kCopyChunk = 64 * 1024;

// An unlinked file in the temporary folder; memory where that folder cannot hold one.
int createPrivateFile() {
    std::error_code ignored;
    const std::string folder = std::filesystem::temp_directory_path(ignored).string();
    const int fd =
        ::open(folder.empty() ? "/tmp" : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return fd >= 0 ? fd : memfd_create("quillmark-sheet", MFD_CLOEXEC);
}

void copyAll(int from, int to, const std::string& path) {
    char buffer[kCopyChunk];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw fileError(errno, path);
        }
        if (got == 0) {
            return;
        }
        for (ssize_t put = 0; put < got;) {
            const ssize_t done = ::write(to, buffer + put, std::size_t(got - put));
            if (done < 0 && errno != EINTR) {
                throw fileError(errno, path);
            }
            put += done < 0 ? 0 : done;
        }
    }
}

}  // namespace

FileSnapshot::FileSnapshot(const std::string& path) {
    const int source = openRegularFile(path);
    fd_ = createPrivateFile();
    if (fd_ < 0) {
        const int error = errno;
        ::close(source);
        throw fileError(error, path);
    }
    try {
        copyAll(source, fd_, path);
    } catch (...) {
        ::close(source);
        ::close(fd_);
        throw;
    }
    ::close(source);
}

FileSnapshot::~FileSnapshot() {
    ::close(fd_);
}

std::string FileSnapshot::path() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

}  // namespace qm

#include "platform/textfile/file_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace qm {

namespace {

struct FileErrorKind {
    std::int32_t number;
    const char* text;
};

FileErrorKind kindOf(int errorNumber, bool creating) {
    switch (errorNumber) {
        case EEXIST:
            return {58, "File already exists"};
        case ENOENT:
            return creating ? FileErrorKind{76, "Path not found"}
                            : FileErrorKind{53, "File not found"};
        case ENOTDIR:
        case ENAMETOOLONG:
            return {76, "Path not found"};
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return {70, "Permission denied"};
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return {61, "Disk full"};
        case EIO:
            return {57, "Device I/O error"};
        default:
            return {75, "Path/File access error"};
    }
}

}  // namespace

RunTimeError fileError(int errorNumber, const std::string& path, bool creating) {
    const FileErrorKind kind = kindOf(errorNumber, creating);
    return RunTimeError(
        kind.number, std::string(kind.text) + " (" + path + ": " + std::strerror(errorNumber) + ")",
        kProgramSource);
}

int openRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(errno, path);
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw fileError(error, path);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        if (S_ISDIR(status.st_mode)) {
            throw fileError(EISDIR, path);
        }
        throw RunTimeError(75, "Path/File access error (" + path + " is not a regular file)",
                           kProgramSource);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

SiblingFile createTemporarySibling(const std::string& target) {
    const std::filesystem::path targetPath(target);
    const std::filesystem::path folder =
        targetPath.has_parent_path() ? targetPath.parent_path() : ".";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = ".~" + targetPath.filename().string() + "." +
                                 std::to_string(random() % 1000000000u) + ".tmp";
        const std::string candidate = (folder / name).string();
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return {fd, candidate};
        }
        if (errno != EEXIST) {
            throw fileError(errno, target, true);
        }
    }
    throw fileError(EEXIST, target, true);
}

int syncData(int fd) {
    if (fdatasync(fd) == 0) {
        return 0;
    }
    const int error = errno;
    return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP || error == EROFS ? 0 : error;
}

void startWriteBack(int fd, off_t offset, off_t length) {
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

void replaceWith(int fd, const std::string& temporary, const std::string& target) {
    if (const int error = syncData(fd); error != 0) {
        throw fileError(error, target, true);
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        throw fileError(errno, target, true);
    }
    // The new name is on the disk only once its folder is.
    const std::filesystem::path targetPath(target);
    const int folder = ::open(targetPath.has_parent_path() ? targetPath.parent_path().c_str() : ".",
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace qm

#include "platform/textfile/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/core/code_page.h"
#include "platform/core/run_time_error.h"
#include "platform/core/utf8.h"
#include "platform/textfile/file_calls.h"

namespace qm {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr off_t kReservedBytes = 64 * 1024;

int closeReportingError(int& fd) {
    const int result = ::close(fd);
    fd = -1;
    return result == 0 ? 0 : errno;
}

}  // namespace

// --- Writer -----------------------------------------------------------------------------------

// The lines not yet on the disk, synced by a thread of their own once there are `lines` of them or
// the oldest has waited `delay`.
class TextFileWriter::GroupSync {
public:
    using Clock = std::chrono::steady_clock;

    GroupSync(int fd, std::size_t lines, std::chrono::milliseconds delay)
        : fd_(fd), lines_(lines), delay_(delay), thread_([this] { run(); }) {}
    ~GroupSync() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    GroupSync(const GroupSync&) = delete;
    GroupSync& operator=(const GroupSync&) = delete;

    // After a line was written: 0, or the error of a sync (an earlier one, or this line's).
    int lineWritten() {
        std::unique_lock lock(mutex_);
        if (failure_ != 0) {
            return std::exchange(failure_, 0);
        }
        // The writer does not wait for the disk: the thread syncs, at once once there are enough
        // lines, and a failure is told with a later line.
        if (++pending_ == 1 || pending_ == lines_) {
            due_ = pending_ == 1 ? Clock::now() + delay_ : Clock::now();
            wake_.notify_one();
        }
        return 0;
    }

    int syncNow() {
        std::unique_lock lock(mutex_);
        if (failure_ != 0) {
            return std::exchange(failure_, 0);
        }
        return syncUnlocking(lock);
    }

private:
    // What is written from now on waits for the next sync.
    int syncUnlocking(std::unique_lock<std::mutex>& lock) {
        pending_ = 0;
        lock.unlock();
        return syncData(fd_);
    }

    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (pending_ == 0) {
                wake_.wait(lock);
            } else if (Clock::now() < due_) {
                wake_.wait_until(lock, due_);
            } else {
                const int error = syncUnlocking(lock);
                lock.lock();
                failure_ = failure_ != 0 ? failure_ : error;
            }
        }
    }

    const int fd_;
    const std::size_t lines_;
    const std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t pending_ = 0;
    Clock::time_point due_;
    int failure_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

TextFileWriter::TextFileWriter(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND, 0666);
    if (fd_ < 0) {
        throw fileError(errno, path_, true);
    }
    // Room for a run's lines is reserved now, without growing the file: a full disk is then a log
    // that cannot be opened, met before anyone is changed, not a run cut short. Only a lack of
    // room counts; a file (or file system) that cannot reserve is no error.
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end >= 0 && ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, end, kReservedBytes) != 0 &&
        (errno == ENOSPC || errno == EDQUOT)) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        throw fileError(error, path_, true);
    }
}

TextFileWriter::~TextFileWriter() {
    if (group_) {
        group_->syncNow();
        group_.reset();  // before the descriptor its thread syncs is closed
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TextFileWriter::writeLine(std::string_view utf8Text) {
    writeAll(cp1252::fromUtf8Lossy(utf8Text) + "\r\n");
    if (group_) {
        raise(group_->lineWritten());
    }
}

void TextFileWriter::syncInGroups(std::size_t lines, std::chrono::milliseconds delay) {
    if (fd_ >= 0 && !group_) {
        group_ = std::make_unique<GroupSync>(fd_, lines, delay);
    }
}

void TextFileWriter::raise(int error) {
    if (error != 0) {
        throw fileError(error, path_);
    }
}

void TextFileWriter::writeAll(std::string_view bytes) {
    if (fd_ < 0) {
        throw RunTimeError(52, "Bad file name or number (" + path_ + " is closed)", kProgramSource);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError(errno, path_);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void TextFileWriter::flushToDisk() {
    if (fd_ >= 0) {
        raise(group_ ? group_->syncNow() : syncData(fd_));
    }
}

void TextFileWriter::close() {
    if (group_) {
        flushToDisk();
        group_.reset();
    }
    if (fd_ >= 0) {
        if (const int error = closeReportingError(fd_)) {
            throw fileError(error, path_);
        }
    }
}

// --- Reader -----------------------------------------------------------------------------------

TextFileReader::TextFileReader(const std::string& path, std::string displayName)
    : path_(displayName.empty() ? path : std::move(displayName)) {
    fd_ = openRegularFile(path);
    try {
        while (buffer_.size() < kByteOrderMark.size() && fill()) {
        }
    } catch (...) {
        ::close(fd_);
        throw;
    }
    if (std::string_view(buffer_).starts_with(kByteOrderMark)) {
        utf8_ = true;
        position_ = kByteOrderMark.size();
    }
}

TextFileReader::~TextFileReader() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// Appends the next chunk of the file to what is left in the buffer; false at the end of the file.
bool TextFileReader::fill() {
    if (fd_ < 0) {
        throw RunTimeError(52, "Bad file name or number (" + path_ + " is closed)", kProgramSource);
    }
    buffer_.erase(0, position_);
    position_ = 0;
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + kReadChunk);
    ssize_t got;
    do {
        got = ::read(fd_, buffer_.data() + kept, kReadChunk);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int error = errno;
        buffer_.resize(kept);
        throw fileError(error, path_);
    }
    buffer_.resize(kept + static_cast<std::size_t>(got));
    return got > 0;
}

bool TextFileReader::atEndOfFile() {
    return position_ == buffer_.size() && !fill();
}

bool TextFileReader::readLine(std::string& line) {
    if (atEndOfFile()) {
        return false;
    }
    ++lineNumber_;
    std::string bytes;
    for (;;) {
        const std::size_t end = buffer_.find_first_of("\r\n", position_);
        const std::size_t stop = end == std::string::npos ? buffer_.size() : end;
        bytes.append(buffer_, position_, stop - position_);
        position_ = stop;
        if (bytes.size() > kMaxLineBytes) {
            throw RunTimeError(75,
                               "Path/File access error (line " + std::to_string(lineNumber_) +
                                   " of " + path_ + " is longer than 4 MB)",
                               kProgramSource);
        }
        if (end != std::string::npos) {
            break;
        }
        if (!fill()) {
            break;
        }
    }
    if (position_ < buffer_.size()) {
        const char lineEnd = buffer_[position_++];
        if (lineEnd == '\r' && !atEndOfFile() && buffer_[position_] == '\n') {
            ++position_;
        }
    }
    // LibreOffice saves CSV as UTF-8 without a mark. Accented Windows-1252 text is almost never
    // valid UTF-8, so a line that is valid UTF-8 is taken as such.
    if (utf8::isValid(bytes)) {
        line = std::move(bytes);
    } else if (utf8_) {
        line = utf8::repaired(bytes);
    } else {
        line = cp1252::toUtf8(bytes);
    }
    return true;
}

void TextFileReader::close() {
    if (fd_ >= 0) {
        if (const int error = closeReportingError(fd_)) {
            throw fileError(error, path_);
        }
    }
    buffer_.clear();
    position_ = 0;
}

}  // namespace qm

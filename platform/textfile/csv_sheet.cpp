#include "platform/textfile/csv_sheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "logonhours/sheet_layout.h"
#include "platform/core/code_page.h"
#include "platform/core/utf8.h"
#include "platform/textfile/file_calls.h"
#include "platform/textfile/file_snapshot.h"
#include "platform/textfile/text_file.h"

namespace qm {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kBlockBytes = 64 * 1024;

}  // namespace

CsvSheetWriter::CsvSheetWriter(std::string path) : path_(std::move(path)) {
    // A name that opening for output would refuse (none, a folder, a pipe) is refused here.
    const int probe = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (path_.empty() || (probe < 0 && errno != ENOENT)) {
        throw fileError(path_.empty() ? ENOENT : errno, path_, true);
    }
    if (probe >= 0) {
        struct stat status {};
        const bool regular = fstat(probe, &status) == 0 && S_ISREG(status.st_mode);
        ::close(probe);
        if (!regular) {
            throw fileError(EINVAL, path_, true);
        }
    }
    const SiblingFile sibling = createTemporarySibling(path_);
    fd_ = sibling.fd;
    temporary_ = sibling.path;
}

CsvSheetWriter::~CsvSheetWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
}

void CsvSheetWriter::writeHeader() {
    writeRecord({sheet::kHeaderFields.begin(), sheet::kHeaderFields.end()});
}

void CsvSheetWriter::writeUser(const std::string& name, const std::string& container,
                               const std::string& domain, const DayStrings& days) {
    std::vector<std::string> fields = {name, container, domain};
    fields.insert(fields.end(), days.begin(), days.end());
    writeRecord(fields);
}

void CsvSheetWriter::writeRecord(const std::vector<std::string>& fields) {
    const std::string record = sheet::formatCsvRecord(fields) + sheet::kLineEnd;
    std::optional<std::string> encoded;
    if (!utf8_) {
        try {
            encoded = cp1252::fromUtf8(record);
        } catch (const RunTimeError&) {
            if (!utf8::isValid(record)) {
                throw;
            }
            switchToUtf8();
        }
    } else if (!utf8::isValid(record)) {
        cp1252::fromUtf8(record);  // the error that names the text
    }
    pending_ += encoded ? *encoded : record;
    lineEnds_.push_back(pending_.size());
    if (pending_.size() >= kBlockBytes) {
        writePending();
    }
}

// A block the disk could not take is cut back to its last whole line, so that an abandoned sheet
// kept under its name never ends in a cut line that could name another account or other hours.
void CsvSheetWriter::writePending() {
    if (pending_.empty()) {
        return;
    }
    const off_t blockStart = written_;
    try {
        writeBytes(pending_);
    } catch (const RunTimeError&) {
        const std::size_t done = std::size_t(written_ - blockStart);
        const auto whole = std::upper_bound(lineEnds_.begin(), lineEnds_.end(), done);
        const off_t keep = blockStart + off_t(whole == lineEnds_.begin() ? 0 : whole[-1]);
        if (::ftruncate(fd_, keep) == 0 && ::lseek(fd_, keep, SEEK_SET) == keep) {
            written_ = keep;
        }
        pending_.clear();
        lineEnds_.clear();
        throw;
    }
    pending_.clear();
    lineEnds_.clear();
    startWriteBack(fd_, blockStart, written_ - blockStart);
}

void CsvSheetWriter::writeBytes(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            throw fileError(errno, path_);
        }
        bytes.remove_prefix(written < 0 ? 0 : std::size_t(written));
        written_ += written < 0 ? 0 : written;
    }
}

// Rewrites what is written so far, character for character, into a new temporary file in UTF-8:
// every Windows-1252 byte has its character, so nothing is lost.
void CsvSheetWriter::switchToUtf8() {
    writePending();
    const SiblingFile sibling = createTemporarySibling(path_);
    struct Dropped {
        int fd;
        std::string path;
        ~Dropped() {
            ::close(fd);
            ::unlink(path.c_str());
        }
    } const old{std::exchange(fd_, sibling.fd), std::exchange(temporary_, sibling.path)};
    written_ = 0;
    writeBytes(kByteOrderMark);
    std::string bytes(64 * 1024, '\0');
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(old.fd, bytes.data(), bytes.size(), at);
        if (got < 0) {
            throw fileError(errno, path_);
        }
        if (got == 0) {
            break;
        }
        writeBytes(cp1252::toUtf8(std::string_view(bytes.data(), std::size_t(got))));
        at += got;
    }
    utf8_ = true;
}

void CsvSheetWriter::close() {
    if (fd_ < 0) {
        return;
    }
    writePending();
    const int fd = fd_;
    fd_ = -1;
    if (!temporary_.empty()) {
        try {
            replaceWith(fd, temporary_, path_);
        } catch (...) {
            ::close(fd);
            throw;
        }
        temporary_.clear();
    }
    if (::close(fd) != 0) {
        throw fileError(errno, path_);
    }
}

namespace {

class CsvSheetSink : public SheetSink {
public:
    explicit CsvSheetSink(const std::string& fileName) : file_(fileName) {}

    void begin(int) override { file_.writeHeader(); }
    void writeNames(const UserEntryNames& names) override { names_ = names; }
    void writeDays(const DayStrings& days) override {
        file_.writeUser(names_.commonName, names_.container, names_.domain, days);
    }
    void finish() override { file_.close(); }
    void abandon() noexcept override {
        try {
            file_.close();
        } catch (const RunTimeError&) {
            // The run is ending over an error already shown.
        }
    }

private:
    CsvSheetWriter file_;
    UserEntryNames names_;
};

}  // namespace

std::unique_ptr<SheetSink> createCsvSheet(const std::string& fileName) {
    return std::make_unique<CsvSheetSink>(fileName);
}

namespace {

class CsvSheetSource : public CsvSource {
public:
    explicit CsvSheetSource(const std::string& fileName)
        : fileName_(fileName), snapshot_(fileName) {}

    void rewind() override {
        reader_.reset();  // one open file at a time
        reader_.emplace(snapshot_.path(), fileName_);
    }
    bool readLine(std::string& line) override { return reader_->readLine(line); }

private:
    std::string fileName_;
    FileSnapshot snapshot_;
    std::optional<TextFileReader> reader_;
};

}  // namespace

std::unique_ptr<CsvSource> openCsvSheet(const std::string& fileName) {
    return std::make_unique<CsvSheetSource>(fileName);
}

}  // namespace qm

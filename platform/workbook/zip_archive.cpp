#include "platform/workbook/zip_archive.h"

#include <zip.h>

#include <utility>

#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

constexpr zip_int64_t kMaxEntries = 10000;

std::string megabytes(std::uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

[[noreturn]] void throwOpenError(const std::string& name, int code) {
    if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS) {
        throwDamaged(name, "its zip structure is not readable");
    }
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw spreadsheetError("The workbook " + name + " cannot be opened (" + text + ")");
}

zip* checkedArchive(zip* archive, const std::string& name) {
    if (zip_get_num_entries(archive, 0) > kMaxEntries) {
        zip_discard(archive);
        throwDamaged(name, "it holds more than " + std::to_string(kMaxEntries) + " parts");
    }
    return archive;
}

}  // namespace

ZipArchive::ZipArchive(zip* archive, std::string displayName)
    : archive_(archive), displayName_(std::move(displayName)) {}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : archive_(std::exchange(other.archive_, nullptr)),
      displayName_(std::move(other.displayName_)) {}

ZipArchive::~ZipArchive() {
    if (archive_) {
        zip_discard(archive_);
    }
}

ZipArchive ZipArchive::openFile(const std::string& path, const std::string& displayName) {
    const std::string& name = displayName.empty() ? path : displayName;
    int code = 0;
    zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!archive) {
        throwOpenError(name, code);
    }
    return ZipArchive(checkedArchive(archive, name), name);
}

ZipArchive ZipArchive::openBuffer(const void* data, std::size_t size,
                                  const std::string& displayName) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    zip* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        if (source) {
            zip_source_free(source);
        }
        throwOpenError(displayName, code);
    }
    zip_error_fini(&error);
    return ZipArchive(checkedArchive(archive, displayName), displayName);
}

bool ZipArchive::has(const std::string& partName) const {
    return zip_name_locate(archive_, partName.c_str(), ZIP_FL_NOCASE) >= 0;
}

ZipPartStream::ZipPartStream(ZipArchive& archive, const std::string& partName, std::uint64_t cap,
                             DecompressionBudget& budget)
    : archive_(archive), partName_(partName), cap_(cap), budget_(budget) {
    const zip_int64_t index = zip_name_locate(archive_.archive_, partName.c_str(), ZIP_FL_NOCASE);
    if (index < 0) {
        throwDamaged(archive_.displayName(), "its part " + partName + " is missing");
    }
    file_ = zip_fopen_index(archive_.archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file_) {
        const int code = zip_error_code_zip(zip_get_error(archive_.archive_));
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP) {
            throw spreadsheetError("The workbook " + archive_.displayName() +
                                   " is encrypted; save it without a password and try again");
        }
        throwDamaged(archive_.displayName(), "its part " + partName + " cannot be read: " +
                                                 zip_strerror(archive_.archive_));
    }
}

ZipPartStream::~ZipPartStream() {
    if (file_) {
        zip_fclose(file_);
    }
}

std::size_t ZipPartStream::read(char* buffer, std::size_t size) {
    const zip_int64_t got = zip_fread(file_, buffer, size);
    if (got < 0) {
        throwDamaged(archive_.displayName(),
                     "its part " + partName_ + " cannot be read: " + zip_file_strerror(file_));
    }
    const auto count = static_cast<std::uint64_t>(got);
    bytesRead_ += count;
    budget_.used += count;
    if (bytesRead_ > cap_) {
        throwDamaged(archive_.displayName(),
                     "its part " + partName_ + " is larger than " + megabytes(cap_));
    }
    if (budget_.used > budget_.total) {
        throwDamaged(archive_.displayName(),
                     "its parts together are larger than " + megabytes(budget_.total));
    }
    return static_cast<std::size_t>(count);
}

}  // namespace qm

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct zip;
struct zip_file;

namespace qm {

// How many decompressed bytes the reader accepts, so a small hostile file cannot cost gigabytes.
// Every part read charges its bytes to its own cap and to the budget shared by the whole file.
struct DecompressionBudget {
    std::uint64_t total;
    std::uint64_t used = 0;
};

// A zip file opened for reading, from a path or from bytes in memory. Failures are the spreadsheet
// component's RunTimeErrors naming the file as displayName.
class ZipArchive {
public:
    static ZipArchive openFile(const std::string& path, const std::string& displayName = {});
    static ZipArchive openBuffer(const void* data, std::size_t size,
                                 const std::string& displayName);
    ~ZipArchive();
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&&) = delete;
    ZipArchive(const ZipArchive&) = delete;

    bool has(const std::string& partName) const;
    const std::string& displayName() const { return displayName_; }

private:
    friend class ZipPartStream;
    ZipArchive(zip* archive, std::string displayName);

    zip* archive_;
    std::string displayName_;
};

// The decompressed bytes of one part, read in pieces.
class ZipPartStream {
public:
    ZipPartStream(ZipArchive& archive, const std::string& partName, std::uint64_t cap,
                  DecompressionBudget& budget);
    ~ZipPartStream();
    ZipPartStream(const ZipPartStream&) = delete;
    ZipPartStream& operator=(const ZipPartStream&) = delete;

    // Up to size bytes; 0 at the end of the part.
    std::size_t read(char* buffer, std::size_t size);
    std::uint64_t bytesRead() const { return bytesRead_; }

private:
    ZipArchive& archive_;
    std::string partName_;
    zip_file* file_ = nullptr;
    std::uint64_t cap_;
    DecompressionBudget& budget_;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace qm

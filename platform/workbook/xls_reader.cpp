#include "platform/workbook/xls_reader.h"

#include <freexl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "platform/workbook/cell_reference.h"
#include "platform/workbook/cell_text.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

std::string describe(int code) {
    switch (code) {
        case FREEXL_FILE_NOT_FOUND:
            return "the file cannot be found or read";
        case FREEXL_INSUFFICIENT_MEMORY:
            return "there is not enough memory";
        case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
            return "it holds no workbook";
        case FREEXL_BIFF_ILLEGAL_SHEET_INDEX:
            return "it holds no worksheet";
        case FREEXL_CRAFTED_FILE:
            return "its structure is corrupt";
        default:
            return "it is no readable Excel 97-2003 workbook, freexl error " + std::to_string(code);
    }
}

// freexl wants a close even after a failed open.
class FreexlHandle {
public:
    FreexlHandle() = default;
    ~FreexlHandle() {
        if (handle_) {
            freexl_close(handle_);
        }
    }
    FreexlHandle(const FreexlHandle&) = delete;
    FreexlHandle& operator=(const FreexlHandle&) = delete;
    const void** out() { return &handle_; }
    const void* get() const { return handle_; }

private:
    const void* handle_ = nullptr;
};

void check(int code, const std::string& path) {
    if (code != FREEXL_OK) {
        throwDamaged(path, describe(code));
    }
}

// What the child writes, each record a kind byte, two numbers and a text: the sheet's name, a
// cell (row, column), an error (its number) or the end.
enum class Record : char { Name = 'N', Cell = 'C', Error = 'E', End = 'D' };
constexpr unsigned kChildSeconds = 60;

std::uint64_t cellKey(std::uint32_t row, std::uint32_t column) {
    return std::uint64_t{row} << 32 | column;
}

class RecordWriter {
public:
    explicit RecordWriter(int fd) : fd_(fd) {}
    void write(Record kind, std::int32_t a, std::int32_t b, const std::string& text) {
        written_ += text.size();
        if (written_ > XlsCellReader::kMaxSheetTextBytes) {
            throw spreadsheetError("The workbook's first worksheet holds more than 64 MB of text");
        }
        const std::uint32_t length = static_cast<std::uint32_t>(text.size());
        std::string record(1, static_cast<char>(kind));
        record.append(reinterpret_cast<const char*>(&a), sizeof a);
        record.append(reinterpret_cast<const char*>(&b), sizeof b);
        record.append(reinterpret_cast<const char*>(&length), sizeof length);
        record += text;
        for (std::size_t done = 0; done < record.size();) {
            const ssize_t got = ::write(fd_, record.data() + done, record.size() - done);
            if (got <= 0) {
                _exit(1);
            }
            done += static_cast<std::size_t>(got);
        }
    }

private:
    int fd_;
    std::uint64_t written_ = 0;
};

std::string cellText(const FreeXL_CellValue& cell, const std::string& path, unsigned row,
                     unsigned short column) {
    switch (cell.type) {
        case FREEXL_CELL_INT:
            return std::to_string(cell.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return cell_text::formatNumber(cell.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            break;
        default:
            return {};
    }
    const std::string text = cell.value.text_value ? cell.value.text_value : "";
    if (cell_text::utf16Length(text) > cell_text::kMaxCharacters) {
        throwDamaged(path, "cell " + cellName(int(row + 1), int(column + 1)) +
                               " is longer than a cell can hold (" + cell_text::kMaxCharactersText +
                               " characters)");
    }
    return text;
}

// freexl keeps a cell for every row and column of every sheet's dimensions: look at them (and at
// a password) before letting it allocate, so a crafted file cannot ask for gigabytes.
void checkSize(const std::string& path, const ReaderLimits& limits) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (!error && bytes > limits.legacyFileBytes) {
        throwDamaged(path, "it is larger than an Excel 97-2003 workbook can be");
    }
    FreexlHandle info;
    check(freexl_open_info(path.c_str(), info.out()), path);
    unsigned int obfuscation = 0;
    if (freexl_get_info(info.get(), FREEXL_BIFF_PASSWORD, &obfuscation) == FREEXL_OK &&
        obfuscation == FREEXL_BIFF_OBFUSCATED) {
        throw spreadsheetError("The workbook " + path +
                               " is protected by a password; save it without one and try again");
    }
    unsigned int sheets = 0;
    check(freexl_get_info(info.get(), FREEXL_BIFF_SHEET_COUNT, &sheets), path);
    std::uint64_t cells = 0;
    for (unsigned int sheet = 0; sheet < sheets; ++sheet) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(info.get(), static_cast<unsigned short>(sheet)) ==
                FREEXL_OK &&
            freexl_worksheet_dimensions(info.get(), &rows, &columns) == FREEXL_OK) {
            cells += std::uint64_t{rows} * columns;
        }
    }
    if (cells > limits.legacyCells) {
        throwDamaged(path,
                     "its sheets claim more than " + std::to_string(limits.legacyCells) + " cells");
    }
}

// In the child: the first worksheet's name and every cell that holds something.
void sendFirstWorksheet(const std::string& path, RecordWriter& out) {
    FreexlHandle handle;
    check(freexl_open(path.c_str(), handle.out()), path);
    check(freexl_select_active_worksheet(handle.get(), 0), path);
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle.get(), 0, &name) == FREEXL_OK && name) {
        out.write(Record::Name, 0, 0, name);
    }
    unsigned rows = 0;
    unsigned short columns = 0;
    check(freexl_worksheet_dimensions(handle.get(), &rows, &columns), path);
    for (unsigned row = 0; row < rows; ++row) {
        for (unsigned short column = 0; column < columns; ++column) {
            FreeXL_CellValue cell{};
            check(freexl_get_cell_value(handle.get(), row, column, &cell), path);
            const std::string text = cellText(cell, path, row, column);
            if (!text.empty()) {
                out.write(Record::Cell, int(row + 1), int(column + 1), text);
            }
        }
    }
}

[[noreturn]] void readInChild(const std::string& path, const ReaderLimits& limits, int fd) {
    alarm(kChildSeconds);
    RecordWriter out(fd);
    try {
        checkSize(path, limits);
        sendFirstWorksheet(path, out);
    } catch (const RunTimeError& error) {
        out.write(Record::Error, error.number(), 0, error.description());
    } catch (const std::exception&) {
        out.write(Record::Error, kSpreadsheetErrorNumber, 0, "there is not enough memory");
    }
    out.write(Record::End, 0, 0, {});
    _exit(0);
}

bool readFully(std::FILE* in, void* data, std::size_t size) {
    return std::fread(data, 1, size, in) == size;
}

}  // namespace

XlsCellReader::XlsCellReader(const std::string& path, const ReaderLimits& limits) : path_(path) {
    int ends[2];
    if (pipe(ends) != 0) {
        throw spreadsheetError("The workbook " + path +
                               " cannot be read (no pipe: " + std::strerror(errno) + ")");
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        readInChild(path, limits, ends[1]);
    }
    close(ends[1]);
    if (child < 0) {
        close(ends[0]);
        throw spreadsheetError("The workbook " + path +
                               " cannot be read (no process: " + std::strerror(errno) + ")");
    }
    try {
        receive(ends[0]);
    } catch (...) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        throw;
    }
    waitpid(child, nullptr, 0);
}

// The child's records up to its end; a child that ended without one met a fault in freexl.
void XlsCellReader::receive(int fd) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(fdopen(fd, "rb"), std::fclose);
    if (!in) {
        close(fd);
        throwDamaged(path_, describe(FREEXL_CRAFTED_FILE));
    }
    for (;;) {
        char kind = 0;
        std::int32_t a = 0;
        std::int32_t b = 0;
        std::uint32_t length = 0;
        if (!readFully(in.get(), &kind, 1) || !readFully(in.get(), &a, sizeof a) ||
            !readFully(in.get(), &b, sizeof b) || !readFully(in.get(), &length, sizeof length) ||
            length > kMaxSheetTextBytes) {
            throwDamaged(path_, describe(FREEXL_CRAFTED_FILE));
        }
        std::string text(length, '\0');
        if (!readFully(in.get(), text.data(), length)) {
            throwDamaged(path_, describe(FREEXL_CRAFTED_FILE));
        }
        switch (static_cast<Record>(kind)) {
            case Record::Name:
                sheetName_ = std::move(text);
                break;
            case Record::Cell:
                cells_[cellKey(std::uint32_t(a), std::uint32_t(b))] = std::move(text);
                break;
            case Record::Error:
                throw RunTimeError(a, std::move(text), kSpreadsheetSource);
            case Record::End:
                return;
            default:
                throwDamaged(path_, describe(FREEXL_CRAFTED_FILE));
        }
    }
}

Variant XlsCellReader::cellValue(std::int32_t row, std::int32_t column) {
    if (!isInsideWorksheet(row, column)) {
        throw spreadsheetError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                               ") is outside the worksheet");
    }
    const auto found = cells_.find(cellKey(std::uint32_t(row), std::uint32_t(column)));
    return found == cells_.end() ? Variant() : Variant(found->second);
}

bool isEncryptedOoxml(const std::string& path) {
    // The stream name as the compound file's directory stores it, in UTF-16LE.
    static const std::string kName = [] {
        std::string name;
        for (char ch : std::string("EncryptionInfo")) {
            name += ch;
            name += '\0';
        }
        return name;
    }();
    std::ifstream file(path, std::ios::binary);
    std::string window;
    std::string chunk(1 << 16, '\0');
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           file.gcount() > 0) {
        window.erase(0, window.size() > kName.size() ? window.size() - kName.size() : 0);
        window.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (window.find(kName) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace qm

#include "platform/workbook/cell_store.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/workbook/cell_reference.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

struct RecordHead {
    std::int32_t row;
    std::int32_t column;
    std::uint32_t length;
};

RunTimeError storageError(const char* what) {
    return spreadsheetError(std::string("The workbook's cells cannot be kept (") + what + ": " +
                            std::strerror(errno) + ")");
}

std::FILE* openUnnamedTemporaryFile() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) {
        throw spreadsheetError(
            "The workbook's cells cannot be kept (there is no folder for "
            "temporary files: " +
            error.message() + ")");
    }
    std::string path = folder / "quillmark-cells-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        throw storageError("creating a temporary file");
    }
    unlink(path.c_str());
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        close(fd);
        throw storageError("opening a temporary file");
    }
    return file;
}

}  // namespace

CellStore::CellStore(std::int32_t windowRows) : windowRows_(windowRows) {}

CellStore::~CellStore() {
    if (movedOut_) {
        std::fclose(movedOut_);
    }
}

void CellStore::set(std::int32_t row, std::int32_t column, std::string text) {
    if (row < firstOpenRow_) {
        throw spreadsheetError(
            "Cell " + cellName(row, column) + " can no longer be set: rows above " +
            std::to_string(firstOpenRow_) + " have been written out (a cell may be set at most " +
            std::to_string(windowRows_ - 1) + " rows above the lowest one set)");
    }
    if (text.empty()) {
        if (auto found = window_.find(row); found != window_.end()) {
            found->second.erase(column);
        }
        return;
    }
    window_[row][column] = std::move(text);
    if (row - firstOpenRow_ >= windowRows_) {
        moveOutRowsAbove(row - windowRows_ + 1);
    }
}

void CellStore::moveOutRowsAbove(std::int32_t row) {
    if (!movedOut_) {
        movedOut_ = openUnnamedTemporaryFile();
    }
    while (!window_.empty() && window_.begin()->first < row) {
        const auto& [rowNumber, cells] = *window_.begin();
        for (const auto& [column, text] : cells) {
            writeRecord(rowNumber, column, text);
        }
        window_.erase(window_.begin());
    }
    firstOpenRow_ = row;
}

void CellStore::writeRecord(std::int32_t row, std::int32_t column, const std::string& text) {
    // A read that ended in an error may have left the file elsewhere.
    if (!atEnd_) {
        if (fseeko(movedOut_, 0, SEEK_END) != 0) {
            throw storageError("writing a temporary file");
        }
        atEnd_ = true;
    }
    const RecordHead head{row, column, static_cast<std::uint32_t>(text.size())};
    if (std::fwrite(&head, sizeof head, 1, movedOut_) != 1 ||
        std::fwrite(text.data(), 1, text.size(), movedOut_) != text.size()) {
        throw storageError("writing a temporary file");
    }
    movedOutBytes_ += static_cast<long long>(sizeof head + text.size());
}

void CellStore::readMovedOut(const Visitor& visit) {
    if (!movedOut_) {
        return;
    }
    atEnd_ = false;
    if (std::fflush(movedOut_) != 0 || fseeko(movedOut_, 0, SEEK_SET) != 0) {
        throw storageError("reading a temporary file");
    }
    std::string text;
    for (long long offset = 0; offset < movedOutBytes_;) {
        RecordHead head{};
        if (std::fread(&head, sizeof head, 1, movedOut_) != 1) {
            throw storageError("reading a temporary file");
        }
        text.resize(head.length);
        if (std::fread(text.data(), 1, text.size(), movedOut_) != text.size()) {
            throw storageError("reading a temporary file");
        }
        offset += static_cast<long long>(sizeof head + head.length);
        visit(head.row, head.column, text);
    }
}

void CellStore::forEach(const Visitor& visit) {
    readMovedOut(visit);
    for (const auto& [row, cells] : window_) {
        for (const auto& [column, text] : cells) {
            visit(row, column, text);
        }
    }
}

std::optional<std::string> CellStore::get(std::int32_t row, std::int32_t column) {
    std::optional<std::string> value;
    if (row >= firstOpenRow_) {
        if (auto found = window_.find(row); found != window_.end()) {
            if (auto cell = found->second.find(column); cell != found->second.end()) {
                value = cell->second;
            }
        }
        return value;
    }
    readMovedOut([&](std::int32_t r, std::int32_t c, const std::string& text) {
        if (r == row && c == column) {
            value = text;
        }
    });
    return value;
}

}  // namespace qm

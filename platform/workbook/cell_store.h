#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace qm {

// The cells of a worksheet being built. The most recent rows stay in memory; rows further up are
// moved, strictly downward, to an unnamed temporary file, so a sheet of 300,000 rows takes the
// memory of a few. A cell may therefore be set only within the window below the lowest row moved
// out; a write above it is a run-time error, never a cell silently lost.
class CellStore {
public:
    static constexpr std::int32_t kDefaultWindowRows = 32;

    explicit CellStore(std::int32_t windowRows = kDefaultWindowRows);
    ~CellStore();
    CellStore(const CellStore&) = delete;
    CellStore& operator=(const CellStore&) = delete;

    // An empty text clears the cell.
    void set(std::int32_t row, std::int32_t column, std::string text);
    std::optional<std::string> get(std::int32_t row, std::int32_t column);

    using Visitor = std::function<void(std::int32_t row, std::int32_t column, const std::string&)>;
    // Every cell, row by row and left to right within a row.
    void forEach(const Visitor& visit);

    // The first row that can still be set.
    std::int32_t firstOpenRow() const { return firstOpenRow_; }

private:
    using Row = std::map<std::int32_t, std::string>;

    void moveOutRowsAbove(std::int32_t row);
    void writeRecord(std::int32_t row, std::int32_t column, const std::string& text);
    void readMovedOut(const Visitor& visit);

    std::int32_t windowRows_;
    std::int32_t firstOpenRow_ = 1;
    std::map<std::int32_t, Row> window_;
    std::FILE* movedOut_ = nullptr;
    long long movedOutBytes_ = 0;
    bool atEnd_ = true;
};

}  // namespace qm

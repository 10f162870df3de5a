#include "platform/workbook/cell_reference.h"

#include <algorithm>

namespace qm {

namespace {

bool isUpper(char ch) {
    return ch >= 'A' && ch <= 'Z';
}
bool isLower(char ch) {
    return ch >= 'a' && ch <= 'z';
}
bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// Reads the letters at the front of text as a column number and removes them.
std::optional<std::int32_t> takeColumn(std::string_view& text) {
    std::int32_t column = 0;
    std::size_t letters = 0;
    while (letters < text.size() && (isUpper(text[letters]) || isLower(text[letters]))) {
        if (letters == 3) {
            return std::nullopt;
        }
        const char upper =
            isLower(text[letters]) ? static_cast<char>(text[letters] - 32) : text[letters];
        column = column * 26 + (upper - 'A' + 1);
        ++letters;
    }
    if (letters == 0 || column > kMaxColumns) {
        return std::nullopt;
    }
    text.remove_prefix(letters);
    return column;
}

}  // namespace

bool isInsideWorksheet(std::int32_t row, std::int32_t column) {
    return row >= 1 && row <= kMaxRows && column >= 1 && column <= kMaxColumns;
}

std::optional<CellPosition> parseCellReference(std::string_view reference) {
    const auto column = takeColumn(reference);
    if (!column || reference.empty() || reference.size() > 7 || reference[0] == '0') {
        return std::nullopt;
    }
    std::int32_t row = 0;
    for (char ch : reference) {
        if (!isDigit(ch)) {
            return std::nullopt;
        }
        row = row * 10 + (ch - '0');
    }
    if (row > kMaxRows) {
        return std::nullopt;
    }
    return CellPosition{row, *column};
}

std::string columnName(std::int32_t column) {
    std::string name;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + digit));
        column = (column - 1) / 26;
    }
    return name;
}

std::string cellName(std::int32_t row, std::int32_t column) {
    return columnName(column) + std::to_string(row);
}

}  // namespace qm

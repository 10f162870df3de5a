#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::sheet {

// The logon-hours sheet, the one file format both tasks share: a comma-delimited file or a
// workbook. What the writer lays down here is what the reader relies on.

// --- Comma-delimited form ---------------------------------------------------------------------
inline constexpr std::array<const char*, 10> kHeaderFields = {
    "Name",    "Container", "Domain",   "Sunday", "Monday",
    "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
inline constexpr std::size_t kUserLineFields = 10;
inline constexpr const char* kLineEnd = "\r\n";

// One record: every field between double quotes, separated by commas, without the line end. A
// quote inside a field is doubled; nothing else is escaped.
std::string formatCsvRecord(const std::vector<std::string>& fields);

// A row whose every day reads this stands for an account without a value: a restore sheet writes
// it for an account that had none, and Set then removes the value instead of writing one.
inline constexpr const char* kNoValueDay = "none";
bool holdsNoValue(const std::array<std::string, 7>& days);

// --- Workbook form ----------------------------------------------------------------------------
inline constexpr const char* kWorksheetName = "Logon Hours";
inline constexpr std::int32_t kVersionRow = 1;
inline constexpr std::int32_t kFirstBlockRow = 3;
inline constexpr std::int32_t kBlockRows = 8;
inline constexpr std::int32_t kBlockStride = 9;  // one empty row between blocks

inline constexpr int kColumnLabel = 1;     // A
inline constexpr int kColumnValue = 2;     // B
inline constexpr int kColumnDayLabel = 3;  // C
inline constexpr int kColumnDay = 4;       // D

// Row 1 also records the standard offset the day strings were written in, beside the version
// label, so a workbook set in another time zone can be noticed: "Hours in UTC-05:00 (standard
// time)" for a bias of 5 hours.
inline constexpr int kColumnOffset = kColumnDay;
std::string offsetText(int biasHours);  // "UTC-05:00"
std::string offsetNote(int biasHours);
// The bias a note records; none when the text records none.
std::optional<int> biasOfNote(const std::string& note);

inline constexpr const char* kCommonNameLabel = "Common Name";
inline constexpr const char* kLogonNameLabel = "Pre-Windows 2000 Logon Name";
inline constexpr const char* kContainerLabel = "Organizational Unit or Container";
inline constexpr const char* kDomainLabel = "Domain";
inline constexpr const char* kLogonHoursLabel = "Logon Hours";
// Eight groups of three, so each group stands above the three digits it names in a fixed font.
inline constexpr const char* kHoursHeading = "M-3 3-6 6-9 9-N N-3 3-6 6-9 9-M";
inline constexpr std::array<const char*, 7> kDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

inline constexpr const char* kColumnsRange = "A:D";
inline constexpr const char* kFontName = "Courier New";
inline constexpr double kFontSize = 8;
inline constexpr std::array<double, 4> kColumnWidths = {33, 20, 12, 32};

// The reader ends its scan after this many consecutive empty cells in column A.
inline constexpr int kMaxBlankRunBetweenBlocks = 7;

// The first row of block k, counted from 0.
constexpr std::int32_t blockFirstRow(std::int32_t k) {
    return kFirstBlockRow + kBlockStride * k;
}

}  // namespace qm::sheet

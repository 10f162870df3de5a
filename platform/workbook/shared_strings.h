#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/workbook/cell_reader.h"
#include "platform/workbook/zip_archive.h"

namespace qm {

class XmlPart;

// The text of an <is> or <si> element: its <t> texts and those of its rich-text runs, without
// the phonetic guides (<rPh>) that the spreadsheet applications do not show as the cell's value.
// A text longer than a cell can hold makes the part damaged.
std::string richText(XmlPart& xml);

// A workbook's shared strings table, its texts end to end in one buffer. The buffer is reserved
// at the part's cap at once: only the pages used become memory, and it never moves while it
// grows, which would hold the old and the new copy at the same time.
class SharedStrings {
public:
    SharedStrings(ZipArchive& archive, const std::string& partName, const ReaderLimits& limits,
                  DecompressionBudget& budget);

    // The entry a cell's value names, or none when the value names no entry.
    std::optional<std::uint32_t> indexOf(std::string_view indexText) const;
    std::string text(std::uint32_t index) const;

private:
    std::string text_;
    std::vector<std::size_t> ends_;
};

}  // namespace qm

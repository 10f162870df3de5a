#include "platform/workbook/shared_strings.h"

#include <charconv>

#include "platform/workbook/cell_text.h"
#include "platform/workbook/xml_part.h"

namespace qm {

std::string richText(XmlPart& xml) {
    QString text;
    for (int depth = 1; depth > 0;) {
        if (!xml.next()) {
            xml.damaged("a text ends early");
        }
        if (xml.isStart(QLatin1StringView("rPh")) || xml.isStart(QLatin1StringView("phoneticPr"))) {
            xml.skipElement();
        } else if (xml.isStart(QLatin1StringView("t"))) {
            text += xml.elementText(qsizetype{cell_text::kMaxCharacters} - text.size());
        } else if (xml.isStart()) {
            ++depth;
        } else if (xml.isEnd()) {
            --depth;
        }
    }
    return cell_text::decodeOoxml(text.toStdString());
}

SharedStrings::SharedStrings(ZipArchive& archive, const std::string& partName,
                             const ReaderLimits& limits, DecompressionBudget& budget) {
    // A text is never longer than the XML it was read from.
    text_.reserve(limits.sharedStringsBytes);
    ends_.reserve(limits.sharedStrings);
    XmlPart xml(archive, partName, limits.sharedStringsBytes, budget);
    while (xml.next()) {
        if (xml.isStart(QLatin1StringView("si"))) {
            if (ends_.size() == limits.sharedStrings) {
                xml.damaged("it holds more than " + std::to_string(limits.sharedStrings) +
                            " shared strings");
            }
            text_ += richText(xml);
            ends_.push_back(text_.size());
        }
    }
}

std::optional<std::uint32_t> SharedStrings::indexOf(std::string_view indexText) const {
    std::uint32_t index = 0;
    const auto [end, error] =
        std::from_chars(indexText.data(), indexText.data() + indexText.size(), index);
    if (error != std::errc() || end != indexText.data() + indexText.size() ||
        index >= ends_.size()) {
        return std::nullopt;
    }
    return index;
}

std::string SharedStrings::text(std::uint32_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return text_.substr(begin, ends_[index] - begin);
}

}  // namespace qm

#include "platform/workbook/xml_part.h"

#include <QByteArray>

#include "platform/workbook/cell_text.h"
#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// QXmlStreamReader holds a token (a text, a tag, a comment) whole before it reports it, in UTF-16
// beside the bytes it came from. The longest cell text, 32,767 characters written as character
// references of ten bytes each, is a third of this, so only a hostile part gets here.
constexpr std::uint64_t kMaxTokenBytes = 1 << 20;

}  // namespace

XmlPart::XmlPart(ZipArchive& archive, const std::string& partName, std::uint64_t cap,
                 DecompressionBudget& budget)
    : stream_(archive, partName, cap, budget),
      partName_(partName),
      displayName_(archive.displayName()) {
    xml_.setNamespaceProcessing(true);
}

bool XmlPart::feed() {
    if (exhausted_) {
        return false;
    }
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    const std::size_t got = stream_.read(chunk.data(), kChunkBytes);
    if (got == 0) {
        exhausted_ = true;
        return false;
    }
    bytesSinceToken_ += got;
    if (bytesSinceToken_ > kMaxTokenBytes) {
        damaged("its part " + partName_ + " holds a text or tag longer than 1 MB");
    }
    chunk.truncate(static_cast<qsizetype>(got));
    xml_.addData(chunk);
    return true;
}

bool XmlPart::next() {
    for (;;) {
        const QXmlStreamReader::TokenType token = xml_.readNext();
        if (token != QXmlStreamReader::Invalid) {
            bytesSinceToken_ = 0;
        }
        switch (token) {
            case QXmlStreamReader::StartElement:
            case QXmlStreamReader::EndElement:
            case QXmlStreamReader::Characters:
                return true;
            case QXmlStreamReader::EndDocument:
                return false;
            case QXmlStreamReader::DTD:
                damaged("its part " + partName_ + " holds a document type definition");
            case QXmlStreamReader::EntityReference:
                damaged("its part " + partName_ + " refers to an undeclared entity");
            case QXmlStreamReader::Invalid:
                if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed()) {
                    continue;
                }
                damaged("its part " + partName_ +
                        " is not well-formed XML: " + xml_.errorString().toStdString());
            default:
                continue;
        }
    }
}

QString XmlPart::attribute(QLatin1StringView name) const {
    // A const copy: iterating a temporary would detach it and copy every attribute.
    const QXmlStreamAttributes attributes = xml_.attributes();
    for (const auto& attribute : attributes) {
        if (attribute.namespaceUri().isEmpty() && attribute.name() == name) {
            return attribute.value().toString();
        }
    }
    return {};
}

QString XmlPart::namespacedAttribute(QLatin1StringView name) const {
    const QXmlStreamAttributes attributes = xml_.attributes();
    for (const auto& attribute : attributes) {
        if (!attribute.namespaceUri().isEmpty() && attribute.name() == name) {
            return attribute.value().toString();
        }
    }
    return {};
}

QString XmlPart::elementText(qsizetype maxLength) {
    QString text;
    walkElement([&](QStringView piece) {
        if (piece.size() > maxLength - text.size()) {
            tooLongForACell();
        }
        text += piece;
    });
    return text;
}

void XmlPart::skipElement() {
    walkElement([](QStringView) {});
}

void XmlPart::walkElement(const std::function<void(QStringView)>& onText) {
    for (int depth = 1; depth > 0;) {
        if (!next()) {
            damaged("its part " + partName_ + " ends inside an element");
        }
        if (isStart()) {
            ++depth;
        } else if (isEnd()) {
            --depth;
        } else {
            onText(xml_.text());
        }
    }
}

void XmlPart::damaged(const std::string& detail) const {
    throwDamaged(displayName_, detail);
}

void XmlPart::tooLongForACell() const {
    damaged("a text in its part " + partName_ + " is longer than a cell can hold (" +
            cell_text::kMaxCharactersText + " characters)");
}

}  // namespace qm

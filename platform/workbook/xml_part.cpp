#include "platform/workbook/xml_part.h"

#include <QByteArray>

#include "platform/workbook/spreadsheet_error.h"

namespace qm {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

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
    chunk.truncate(static_cast<qsizetype>(got));
    xml_.addData(chunk);
    return true;
}

bool XmlPart::next() {
    for (;;) {
        switch (xml_.readNext()) {
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

QString XmlPart::elementText() {
    QString text;
    for (int depth = 1; depth > 0;) {
        if (!next()) {
            damaged("its part " + partName_ + " ends inside an element");
        }
        if (isStart()) {
            ++depth;
        } else if (isEnd()) {
            --depth;
        } else {
            text += xml_.text();
        }
    }
    return text;
}

void XmlPart::skipElement() {
    for (int depth = 1; depth > 0;) {
        if (!next()) {
            damaged("its part " + partName_ + " ends inside an element");
        }
        if (isStart()) {
            ++depth;
        } else if (isEnd()) {
            --depth;
        }
    }
}

void XmlPart::damaged(const std::string& detail) const {
    throwDamaged(displayName_, detail);
}

}  // namespace qm
